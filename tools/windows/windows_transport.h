// The controls protocol over IOCTL_KS_PROPERTY: requests to an opened
// filter, and to its capture pin, created in the stop state for the first
// request to the pin and closed with the transport.
#pragma once

#include <string>

#include "tools/controls_protocol/client.h"
#include "tools/windows/ks_device.h"

namespace wintool {

class WindowsTransport : public controls::Transport {
public:
    // Throws std::runtime_error when the filter cannot be opened.
    explicit WindowsTransport(const std::wstring& path);
    controls::Reply Send(controls::Target target, controls::PropertyRequest& request) override;

private:
    KsObject filter_;
    KsObject pin_;
    bool pinCreated_ = false;
};

// A Win32 error as the system words it, with its number.
std::string ErrorText(DWORD error);
// A device path for printing.
std::string Narrow(const std::wstring& text);

}  // namespace wintool
