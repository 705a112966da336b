// Pin create and close, and the dispatch routines that reach the CapturePin.
#include "driver/pin.h"

#include "capture/capture_pin.h"
#include "driver/format_negotiation.h"
#include "driver/pin_state.h"
#include "platform/atomics.h"
#include "platform/device.h"
#include "platform/pool.h"
#include "platform/streaming.h"

namespace {

constexpr ULONG FramesPerPin = 2;

void NTAPI FreeCapturePin(void* pin) {
    PoolFree(pin, PoolTagContext);
}

CapturePin* AllocateCapturePin(KSPIN* pin, CameraDevice* camera) {
    void* memory = PoolAllocateZeroed(sizeof(CapturePin), PoolTagContext);
    if (memory == nullptr) {
        return nullptr;
    }
    auto* capturePin = new (memory) CapturePin();
    capturePin->pin = pin;
    capturePin->device = camera;
    InitializeDeliveryCounts(&capturePin->counts);
    return capturePin;
}

// The window stays as it is while any pin of the device exists: a device
// can have a pin on each of several filters, and the one that streams must
// not see its geometry change when another closes. FormatLock counts them.
// The count goes up under PipelineLock, which SetReadoutWindow holds from
// its check of the count to its last write, so a window set on another
// filter is either whole before the pin exists or refused; the pin takes
// the window it locked.
void LockWindow(CameraDevice* camera, CapturePin* capturePin) {
    AcquirePassiveLock(&camera->PipelineLock);
    AtomicIncrement(&camera->FormatLock);
    capturePin->outputWidth = RelaxedRead(&camera->OutputWidth);
    capturePin->outputHeight = RelaxedRead(&camera->OutputHeight);
    capturePin->windowWidth = RelaxedRead(&camera->WindowWidth);
    ReleasePassiveLock(&camera->PipelineLock);
}

void UnlockWindow(CameraDevice* camera) {
    ULONG held = AtomicRead(&camera->FormatLock);
    while (held != 0) {
        const ULONG seen = AtomicCompareExchange(&camera->FormatLock, held - 1, held);
        if (seen == held) {
            return;
        }
        held = seen;
    }
}

// Two frames of exactly the image size, in the pin's own copies of its
// descriptor and framing.
NTSTATUS EditFraming(KSPIN* pin, ULONG imageSize) {
    void* descriptor = const_cast<KSPIN_DESCRIPTOR_EX*>(pin->Descriptor);
    NTSTATUS status = EditCopy(pin->Bag, &descriptor, sizeof(KSPIN_DESCRIPTOR_EX),
                               sizeof(KSPIN_DESCRIPTOR_EX), PoolTagBuffer);
    if (!NT_SUCCESS(status)) {
        return status;
    }
    auto* editable = static_cast<KSPIN_DESCRIPTOR_EX*>(descriptor);
    pin->Descriptor = editable;
    void* framing = const_cast<KSALLOCATOR_FRAMING_EX*>(editable->AllocatorFraming);
    status = EditCopy(pin->Bag, &framing, sizeof(KSALLOCATOR_FRAMING_EX),
                      sizeof(KSALLOCATOR_FRAMING_EX), PoolTagBuffer);
    if (!NT_SUCCESS(status)) {
        return status;
    }
    auto* editableFraming = static_cast<KSALLOCATOR_FRAMING_EX*>(framing);
    editable->AllocatorFraming = editableFraming;
    KS_FRAMING_ITEM& item = editableFraming->FramingItem[0];
    item.Frames = FramesPerPin;
    item.PhysicalRange = {imageSize, imageSize, 0};
    item.FramingRange.Range = {imageSize, imageSize, 0};
    return STATUS_SUCCESS;
}

CapturePin* CapturePinOf(KSPIN* pin) {
    return static_cast<CapturePin*>(pin->Context);
}

}  // namespace

NTSTATUS NTAPI PinCreate(PKSPIN pin, PIRP) {
    KSDEVICE* device = DeviceOf(pin);
    auto* camera = static_cast<CameraDevice*>(device->Context);
    if (camera == nullptr) {
        return STATUS_INVALID_DEVICE_STATE;
    }
    CapturePin* capturePin = AllocateCapturePin(pin, camera);
    if (capturePin == nullptr) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    LockWindow(camera, capturePin);
    NTSTATUS status = AddToObjectBag(pin->Bag, capturePin, FreeCapturePin);
    if (!NT_SUCCESS(status)) {
        FreeCapturePin(capturePin);
        UnlockWindow(camera);
        return status;
    }
    pin->Context = capturePin;
    // Clients then send stream headers with room for the frame information.
    pin->StreamHeaderSize = CaptureStreamHeaderSize;
    KeepConnectionFormat(capturePin, pin->ConnectionFormat);
    // On failure the pin's bag frees the CapturePin with the pin.
    status = EditFraming(pin, capturePin->videoInfo.bmiHeader.biSizeImage);
    if (!NT_SUCCESS(status)) {
        UnlockWindow(camera);
    }
    return status;
}

NTSTATUS NTAPI PinClose(PKSPIN pin, PIRP) {
    CapturePin* capturePin = CapturePinOf(pin);
    if (capturePin != nullptr) {
        RelaxedWrite(&capturePin->destStride, 0);
        UnlockWindow(capturePin->device);
    }
    return STATUS_SUCCESS;
}

NTSTATUS NTAPI PinSetDeviceState(PKSPIN pin, KSSTATE to, KSSTATE from) {
    CapturePin* capturePin = CapturePinOf(pin);
    if (capturePin == nullptr) {
        return STATUS_INVALID_DEVICE_STATE;
    }
    return ChangePinState(capturePin, to, from);
}

NTSTATUS NTAPI PinProcess(PKSPIN pin) {
    CapturePin* capturePin = CapturePinOf(pin);
    if (capturePin == nullptr) {
        return STATUS_PENDING;
    }
    return ProcessCapturePin(capturePin);
}
