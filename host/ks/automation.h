// Requests a client sends to a filter or pin that the class driver serves
// through what the driver registered: property requests dispatched through an
// automation table, and data intersection through a pin's intersect handler.
// The class driver's own checks come first and refuse with the statuses of
// refusals.h. Handlers get kernel copies of the caller's buffers, as
// METHOD_NEITHER requests are captured on Windows.
#pragma once

#include <ks.h>

namespace host::ks {

class Filter;

struct RequestResult {
    NTSTATUS status;
    ULONG bytesReturned;
};

// A handler's reply is the Information it sets, which the class driver
// presets to 0 as Windows does; more than the data length is a bug check.
// Only a get copies data back.
RequestResult DispatchProperty(const KSAUTOMATION_TABLE* table, KSOBJECTTYPE type, PVOID object,
                               const void* property, ULONG propertyLength, void* data,
                               ULONG dataLength);

// Offers the caller's range to the handler with each pin range whose GUIDs
// match (GUID_NULL on either side matches any), in descriptor order, until one
// answers other than STATUS_NO_MATCH. A pin without a handler matches nothing.
RequestResult IntersectDataRange(Filter* filter, ULONG pinId, const void* range, ULONG rangeSize,
                                 void* data, ULONG dataLength);

}  // namespace host::ks
