// The statuses with which the class driver refuses a request itself, before
// any routine of the minidriver runs. One table, as Windows uses them: an
// application sees each through the kernel streaming proxy as the Win32 error
// the status maps to (noted after each), which is how these were chosen.
#pragma once

#include <ks.h>

namespace host::ks::Refusal {

// A property request shorter than KSPROPERTY, or than the item's
// MinProperty; a data range or format shorter than KSDATAFORMAT or than its
// own FormatSize; a stream header whose Size is not the pin's header size.
// ERROR_INVALID_USER_BUFFER.
constexpr NTSTATUS RequestTooShort = static_cast<NTSTATUS>(0xC0000206);  // INVALID_BUFFER_SIZE

// A property set the object's automation table does not have.
// ERROR_SET_NOT_FOUND: the proxy's E_PROP_SET_UNSUPPORTED (0x80070492).
constexpr NTSTATUS UnknownPropertySet = STATUS_PROPSET_NOT_FOUND;

// An id the set does not have. ERROR_NOT_FOUND: the proxy's
// E_PROP_ID_UNSUPPORTED (0x80070490).
constexpr NTSTATUS UnknownPropertyId = STATUS_NOT_FOUND;

// A get or set of an item without a handler for it, or a request that is
// neither get, set nor a support query. ERROR_INVALID_FUNCTION.
constexpr NTSTATUS OperationNotSupported = STATUS_INVALID_DEVICE_REQUEST;

// A data buffer of zero bytes where the item needs MinData: the size query;
// the bytes returned are MinData. ERROR_MORE_DATA.
constexpr NTSTATUS DataSizeQuery = STATUS_BUFFER_OVERFLOW;

// A data buffer shorter than the item's MinData. ERROR_INSUFFICIENT_BUFFER.
constexpr NTSTATUS DataTooShort = STATUS_BUFFER_TOO_SMALL;

// A pin id the filter does not have. ERROR_INVALID_PARAMETER.
constexpr NTSTATUS UnknownPinId = STATUS_INVALID_PARAMETER;

// A pin beyond its descriptor's InstancesPossible. ERROR_BUSY: "the
// requested resource is in use", what a capture application sees when the
// capture pin is already taken.
constexpr NTSTATUS PinInstancesExhausted = static_cast<NTSTATUS>(0x80000011);  // DEVICE_BUSY

// A connection format or intersection range whose major format, subformat
// and specifier match none of the pin's data ranges. ERROR_NO_MATCH.
constexpr NTSTATUS NoMatchingDataRange = STATUS_NO_MATCH;

// A stream buffer sent to a pin in the stop state.
// ERROR_BAD_COMMAND.
constexpr NTSTATUS StreamingWhileStopped = STATUS_INVALID_DEVICE_STATE;

// KsPinGetReferenceClockInterface on a pin to which no clock was assigned.
constexpr NTSTATUS NoReferenceClock = STATUS_UNSUCCESSFUL;

}  // namespace host::ks::Refusal
