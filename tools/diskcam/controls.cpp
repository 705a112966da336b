#include "tools/diskcam/controls.h"

#include "tools/diskcam/capture.h"

namespace tool {

controls::Reply HostTransport::Send(controls::Target target, controls::PropertyRequest& request) {
    if (target == controls::Target::Pin && pin_ == nullptr) {
        std::vector<UCHAR> format = NegotiateFormat(filter_);
        NTSTATUS status =
            filter_.CreatePin(CapturePinId, format.data(), ULONG(format.size()), &pin_);
        if (!NT_SUCCESS(status)) {
            throw RequestRefused("the capture pin was refused with " +
                                 controls::StatusText(status));
        }
    }
    const ULONG propertyBytes = ULONG(request.property.size());
    const ULONG dataBytes = ULONG(request.data.size());
    void* data = request.data.empty() ? nullptr : request.data.data();
    client::RequestResult result =
        target == controls::Target::Pin
            ? pin_->Property(request.property.data(), propertyBytes, data, dataBytes)
            : filter_.Property(request.property.data(), propertyBytes, data, dataBytes);
    return {result.status, result.bytesReturned};
}

}  // namespace tool
