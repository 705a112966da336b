#include "tools/windows/windows_transport.h"

#include <stdexcept>

namespace wintool {

namespace {

constexpr ULONG CapturePinId = 0;

}  // namespace

std::string Narrow(const std::wstring& text) {
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()),
                                    nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), narrow.data(),
                        bytes, nullptr, nullptr);
    return narrow;
}

std::string ErrorText(DWORD error) {
    char text[256] = {};
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, error, 0, text, sizeof text, nullptr);
    while (length > 0 &&
           (text[length - 1] == '\n' || text[length - 1] == '\r' || text[length - 1] == '.')) {
        text[--length] = '\0';
    }
    return (length > 0 ? std::string(text) + " " : std::string()) + "(error " +
           std::to_string(error) + ")";
}

WindowsTransport::WindowsTransport(const std::wstring& path) {
    if (!filter_.OpenFilter(path)) {
        throw std::runtime_error("the filter cannot be opened: " + ErrorText(GetLastError()));
    }
}

controls::Reply WindowsTransport::Send(controls::Target target,
                                       controls::PropertyRequest& request) {
    if (target == controls::Target::Pin && !pinCreated_) {
        DWORD error = pin_.CreatePin(filter_, CapturePinId);
        if (error != ERROR_SUCCESS) {
            throw controls::RequestRefused("the capture pin was refused: " + ErrorText(error));
        }
        pinCreated_ = true;
    }
    KsObject& object = target == controls::Target::Pin ? pin_ : filter_;
    PropertyReply reply =
        object.Property(request.property.data(), static_cast<ULONG>(request.property.size()),
                        request.data.empty() ? nullptr : request.data.data(),
                        static_cast<ULONG>(request.data.size()));
    return {reply.status, reply.bytesReturned};
}

}  // namespace wintool
