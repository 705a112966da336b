#include "tools/windows/ks_device.h"

#include <setupapi.h>

#include <cstring>
#include <memory>

namespace wintool {

namespace {

constexpr NTSTATUS BufferOverflow = static_cast<NTSTATUS>(0x80000005);
constexpr NTSTATUS Unsuccessful = static_cast<NTSTATUS>(0xC0000001);

std::vector<BYTE> PinRequest(ULONG id, ULONG pinId) {
    KSP_PIN request{};
    request.Property.Set = GUID{STATIC_KSPROPSETID_Pin};
    request.Property.Id = id;
    request.Property.Flags = KSPROPERTY_TYPE_GET;
    request.PinId = pinId;
    std::vector<BYTE> bytes(sizeof request);
    std::memcpy(bytes.data(), &request, sizeof request);
    return bytes;
}

// The first range of a KSMULTIPLE_ITEM list of data ranges.
bool FirstRange(const std::vector<BYTE>& list, std::vector<BYTE>* range) {
    KSMULTIPLE_ITEM header;
    KSDATARANGE first;
    if (list.size() < sizeof header + sizeof first) {
        return false;
    }
    std::memcpy(&header, list.data(), sizeof header);
    std::memcpy(&first, list.data() + sizeof header, sizeof first);
    if (header.Count == 0 || first.FormatSize < sizeof first ||
        first.FormatSize > list.size() - sizeof header) {
        return false;
    }
    range->assign(list.begin() + sizeof header, list.begin() + sizeof header + first.FormatSize);
    return true;
}

DWORD Win32Error(NTSTATUS status) {
    return RtlNtStatusToDosError(status);
}

}  // namespace

std::vector<std::wstring> FindFilterPaths(const GUID& category) {
    std::vector<std::wstring> paths;
    HDEVINFO set =
        SetupDiGetClassDevsW(&category, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE) {
        return paths;
    }
    SP_DEVICE_INTERFACE_DATA entry{};
    entry.cbSize = sizeof entry;
    for (DWORD index = 0; SetupDiEnumDeviceInterfaces(set, nullptr, &category, index, &entry);
         ++index) {
        DWORD bytes = 0;
        SetupDiGetDeviceInterfaceDetailW(set, &entry, nullptr, 0, &bytes, nullptr);
        if (bytes < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)) {
            continue;
        }
        std::unique_ptr<BYTE[]> storage(new BYTE[bytes]);
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(storage.get());
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
        if (SetupDiGetDeviceInterfaceDetailW(set, &entry, detail, bytes, nullptr, nullptr)) {
            paths.emplace_back(detail->DevicePath);
        }
    }
    SetupDiDestroyDeviceInfoList(set);
    return paths;
}

KsObject::~KsObject() {
    if (file_ != INVALID_HANDLE_VALUE) {
        CloseHandle(file_);
    }
    if (event_ != nullptr) {
        CloseHandle(event_);
    }
}

// Kernel streaming objects complete requests asynchronously: the filter is
// opened for overlapped I/O and each request waits on an event.
bool KsObject::OpenFilter(const std::wstring& path) {
    return Adopt(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr));
}

bool KsObject::Adopt(HANDLE file) {
    if (file == INVALID_HANDLE_VALUE || file == nullptr) {
        return false;
    }
    file_ = file;
    event_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    return event_ != nullptr;
}

// The pin's data ranges, its proposal for the first, then the connection:
// standard streaming interface and medium, followed by that format.
DWORD KsObject::CreatePin(KsObject& filter, ULONG pinId) {
    std::vector<BYTE> ranges, range, format;
    NTSTATUS status = filter.GetSized(PinRequest(KSPROPERTY_PIN_DATARANGES, pinId), &ranges);
    if (!NT_SUCCESS(status)) {
        return Win32Error(status);
    }
    if (!FirstRange(ranges, &range)) {
        return ERROR_INVALID_DATA;
    }
    std::vector<BYTE> intersection = PinRequest(KSPROPERTY_PIN_DATAINTERSECTION, pinId);
    KSMULTIPLE_ITEM list{static_cast<ULONG>(sizeof list + range.size()), 1};
    intersection.insert(intersection.end(), reinterpret_cast<BYTE*>(&list),
                        reinterpret_cast<BYTE*>(&list + 1));
    intersection.insert(intersection.end(), range.begin(), range.end());
    status = filter.GetSized(intersection, &format);
    if (!NT_SUCCESS(status)) {
        return Win32Error(status);
    }
    KSPIN_CONNECT connect{};
    connect.Interface.Set = GUID{STATIC_KSINTERFACESETID_Standard};
    connect.Interface.Id = KSINTERFACE_STANDARD_STREAMING;
    connect.Medium.Set = GUID{STATIC_KSMEDIUMSETID_Standard};
    connect.Medium.Id = KSMEDIUM_TYPE_ANYINSTANCE;
    connect.PinId = pinId;
    connect.Priority.PriorityClass = KSPRIORITY_NORMAL;
    connect.Priority.PrioritySubClass = 1;
    std::vector<BYTE> request(sizeof connect + format.size());
    std::memcpy(request.data(), &connect, sizeof connect);
    std::memcpy(request.data() + sizeof connect, format.data(), format.size());
    HANDLE pin = nullptr;
    DWORD error = KsCreatePin(filter.file_, reinterpret_cast<KSPIN_CONNECT*>(request.data()),
                              GENERIC_READ | GENERIC_WRITE, &pin);
    if (error != ERROR_SUCCESS) {
        return error;
    }
    return Adopt(pin) ? ERROR_SUCCESS : GetLastError();
}

NTSTATUS KsObject::GetSized(const std::vector<BYTE>& property, std::vector<BYTE>* reply) {
    PropertyReply size = Property(property.data(), static_cast<ULONG>(property.size()), nullptr, 0);
    if (size.status != BufferOverflow || size.bytesReturned == 0) {
        return NT_SUCCESS(size.status) ? Unsuccessful : size.status;
    }
    reply->assign(size.bytesReturned, 0);
    PropertyReply full = Property(property.data(), static_cast<ULONG>(property.size()),
                                  reply->data(), static_cast<ULONG>(reply->size()));
    reply->resize(full.bytesReturned);
    return full.status;
}

// NtDeviceIoControlFile, not DeviceIoControl, so that the reply carries the
// driver's NTSTATUS rather than a Win32 error translated from it.
PropertyReply KsObject::Property(const void* property, ULONG propertyLength, void* data,
                                 ULONG dataLength) {
    IO_STATUS_BLOCK io{};
    ResetEvent(event_);
    NTSTATUS status =
        NtDeviceIoControlFile(file_, event_, nullptr, nullptr, &io, IOCTL_KS_PROPERTY,
                              const_cast<void*>(property), propertyLength, data, dataLength);
    if (status == STATUS_PENDING) {
        WaitForSingleObject(event_, INFINITE);
        status = io.Status;
    }
    return {status, static_cast<ULONG>(io.Information)};
}

}  // namespace wintool
