// The dropped-frames property: the class driver has checked the set, the id,
// the operation and both buffers' minimum sizes; the reply is the pin's
// delivery counts as they stood at its last delivery.
#include "driver/dropped_frames.h"

#include "capture/capture_pin.h"
#include "platform/streaming.h"

namespace {

NTSTATUS NTAPI GetDroppedFrames(PIRP irp, PKSIDENTIFIER, PVOID data) {
    KSPIN* pin = irp != nullptr ? PinFromRequest(irp) : nullptr;
    auto* capturePin = pin != nullptr ? static_cast<CapturePin*>(pin->Context) : nullptr;
    if (capturePin == nullptr || data == nullptr) {
        return STATUS_UNSUCCESSFUL;
    }
    const DeliverySummary summary = ReadDeliveryCounts(&capturePin->counts);
    auto* reply = static_cast<KSPROPERTY_DROPPEDFRAMES_CURRENT_S*>(data);
    reply->PictureNumber = summary.pictureNumber;
    reply->DropCount = summary.dropCount;
    reply->AverageFrameSize = summary.averageFrameSize;
    SetRequestInformation(irp, sizeof(KSPROPERTY_DROPPEDFRAMES_CURRENT_S));
    return STATUS_SUCCESS;
}

}  // namespace

const KSPROPERTY_ITEM DroppedFramesItems[DroppedFramesItemCount] = {
    {
        KSPROPERTY_DROPPEDFRAMES_CURRENT,            // PropertyId
        {GetDroppedFrames},                          // GetPropertyHandler
        sizeof(KSPROPERTY_DROPPEDFRAMES_CURRENT_S),  // MinProperty
        sizeof(KSPROPERTY_DROPPEDFRAMES_CURRENT_S),  // MinData
        {nullptr},                                   // SetPropertyHandler: get only
        nullptr,                                     // Values
        0,                                           // RelationsCount
        nullptr,                                     // Relations
        nullptr,                                     // SupportHandler
        0,                                           // SerializedSize
    },
};
