// The class driver's streaming services the driver uses: filter factories,
// the object tree, editable descriptor copies, pin processing, stream
// pointers and the graph's reference clock.
#pragma once

#include "platform/kernel.h"

// Registers the filter descriptor on the device under the reference string;
// the factory goes away when the device stops. Returns the class driver's
// status.
NTSTATUS CreateFilterFactory(KSDEVICE* device, const KSFILTER_DESCRIPTOR* descriptor,
                             PWSTR referenceString);

// The device a filter factory, filter or pin belongs to.
KSDEVICE* DeviceOf(void* object);
// The filter a request was sent to; for a request to a pin, the pin's
// parent filter.
KSFILTER* FilterFromRequest(PIRP request);
// The pin a request was sent to; null for a request to a filter.
KSPIN* PinFromRequest(PIRP request);
// The bytes a property handler's reply holds, which the class driver copies
// back: it presets 0, so a handler that returns data must say how much.
void SetRequestInformation(PIRP request, ULONG_PTR bytes);

// Replaces *item with a copy of newSize bytes (oldSize copied, the rest
// zeroed) owned by the bag; an item the bag already owns is kept when it is
// large enough. Returns the class driver's status; *item is unchanged on
// failure.
NTSTATUS EditCopy(KSOBJECT_BAG bag, void** item, ULONG newSize, ULONG oldSize, ULONG tag);

// Queues the pin's processing and returns at once.
void AttemptPinProcessing(KSPIN* pin);
// The pin's processing mutex, which the class driver holds around every
// Process call but not around a state change. A state change that swaps
// what processing reads takes it, briefly: at passive level, never holding
// a short lock, never across a wait for the capture thread.
void AcquireProcessingMutex(KSPIN* pin);
void ReleaseProcessingMutex(KSPIN* pin);
// The oldest buffer not yet completed, locked for writing; null when none is
// queued.
KSSTREAM_POINTER* LockLeadingEdge(KSPIN* pin);
// Unlocks the buffer and completes it back to the client.
void CompleteStreamPointer(KSSTREAM_POINTER* pointer);
// Completes the buffer back to the client with an error status: the
// client's request ends with that status.
void FailStreamPointer(KSSTREAM_POINTER* pointer, NTSTATUS status);
// Unlocks the buffer and leaves it queued.
void UnlockStreamPointer(KSSTREAM_POINTER* pointer);

// The graph's clock with a reference the caller drops with ReleaseClock;
// null when the pin has none.
IKsReferenceClock* GetPinClock(KSPIN* pin);
// The clock's current time in 100-ns units.
LONGLONG ClockTime(IKsReferenceClock* clock);
void ReleaseClock(IKsReferenceClock* clock);
