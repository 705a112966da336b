// Streaming services over the kernel streaming class driver.
#include "platform/streaming.h"

NTSTATUS CreateFilterFactory(KSDEVICE* device, const KSFILTER_DESCRIPTOR* descriptor,
                             PWSTR referenceString) {
    return KsCreateFilterFactory(device->FunctionalDeviceObject, descriptor, referenceString,
                                 nullptr, KSCREATE_ITEM_FREEONSTOP, nullptr, nullptr, nullptr);
}

KSDEVICE* DeviceOf(void* object) {
    return KsGetDevice(object);
}

KSFILTER* FilterFromRequest(PIRP request) {
    return KsGetFilterFromIrp(request);
}

KSPIN* PinFromRequest(PIRP request) {
    return KsGetPinFromIrp(request);
}

void SetRequestInformation(PIRP request, ULONG_PTR bytes) {
    request->IoStatus.Information = bytes;
}

NTSTATUS EditCopy(KSOBJECT_BAG bag, void** item, ULONG newSize, ULONG oldSize, ULONG tag) {
    return _KsEdit(bag, item, newSize, oldSize, tag);
}

void AttemptPinProcessing(KSPIN* pin) {
    KsPinAttemptProcessing(pin, TRUE);
}

void AcquireProcessingMutex(KSPIN* pin) {
    KsPinAcquireProcessingMutex(pin);
}

void ReleaseProcessingMutex(KSPIN* pin) {
    KsPinReleaseProcessingMutex(pin);
}

KSSTREAM_POINTER* LockLeadingEdge(KSPIN* pin) {
    return KsPinGetLeadingEdgeStreamPointer(pin, KSSTREAM_POINTER_STATE_LOCKED);
}

void CompleteStreamPointer(KSSTREAM_POINTER* pointer) {
    KsStreamPointerUnlock(pointer, TRUE);
}

void FailStreamPointer(KSSTREAM_POINTER* pointer, NTSTATUS status) {
    KsStreamPointerSetStatusCode(pointer, status);
    KsStreamPointerUnlock(pointer, TRUE);
}

void UnlockStreamPointer(KSSTREAM_POINTER* pointer) {
    KsStreamPointerUnlock(pointer, FALSE);
}

IKsReferenceClock* GetPinClock(KSPIN* pin) {
    IKsReferenceClock* clock = nullptr;
    if (!NT_SUCCESS(KsPinGetReferenceClockInterface(pin, &clock))) {
        return nullptr;
    }
    return clock;
}

LONGLONG ClockTime(IKsReferenceClock* clock) {
    return clock->GetTime();
}

void ReleaseClock(IKsReferenceClock* clock) {
    clock->Release();
}
