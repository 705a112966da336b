// Kernel streaming objects as a Windows application reaches them: the device
// interfaces registered under a category, a filter opened by its path, its
// capture pin created with the format the pin itself proposes, and property
// requests sent to either with IOCTL_KS_PROPERTY.
#pragma once

#include <windows.h>
#include <winternl.h>

#include <ks.h>

#include <string>
#include <vector>

namespace wintool {

// The device paths of the present interfaces under the category.
std::vector<std::wstring> FindFilterPaths(const GUID& category);

struct PropertyReply {
    NTSTATUS status;
    ULONG bytesReturned;
};

// An open filter or pin.
class KsObject {
public:
    KsObject() = default;
    ~KsObject();
    KsObject(const KsObject&) = delete;
    KsObject& operator=(const KsObject&) = delete;

    // False, with GetLastError() set, when the filter cannot be opened.
    bool OpenFilter(const std::wstring& path);
    // Creates pin `pinId` of the open `filter` in the format the pin proposes
    // for its first data range. 0, or the Win32 error of the refusal.
    DWORD CreatePin(KsObject& filter, ULONG pinId);

    // One IOCTL_KS_PROPERTY request, waited for; the status is the NTSTATUS
    // the driver completed it with.
    PropertyReply Property(const void* property, ULONG propertyLength, void* data,
                           ULONG dataLength);

private:
    bool Adopt(HANDLE file);
    // A get whose reply size is asked for first.
    NTSTATUS GetSized(const std::vector<BYTE>& property, std::vector<BYTE>* reply);

    HANDLE file_ = INVALID_HANDLE_VALUE;
    HANDLE event_ = nullptr;
};

}  // namespace wintool
