// ControlPropertySet: the private property set on the capture filter through
// which a control application reads and changes every camera setting at run
// time. Its records and the items for the filter's automation table; the
// item table lives in control_items.h, the handlers in
// control_property_set.cpp.
#pragma once

#include "platform/kernel.h"

// {caa3f35d-d36c-48bc-9fe6-fcbdb1472c9c}
extern const GUID ControlPropertySetId;

// Items 0 to 65, each id its index.
constexpr ULONG ControlItemCount = 66;

// Request and reply of every item but 44: the property header, then the value.
struct ControlValue {
    KSPROPERTY Property;
    LONG Value;
    ULONG Reserved;
};

// Request of item 44 (ReadoutWindow).
struct WindowRequest {
    KSPROPERTY Property;
    LONG Mode;
    LONG X;
    LONG Y;
    LONG Width;
    LONG Height;
    ULONG Reserved;
};

static_assert(sizeof(ControlValue) == 32, "ControlValue is 32 bytes");
static_assert(__builtin_offsetof(ControlValue, Value) == 24, "ControlValue value at 24");
static_assert(sizeof(WindowRequest) == 48, "WindowRequest is 48 bytes");
static_assert(__builtin_offsetof(WindowRequest, Mode) == 24, "WindowRequest mode at 24");
static_assert(__builtin_offsetof(WindowRequest, Height) == 40, "WindowRequest height at 40");

struct CameraDevice;

// A set's property items. Sets export their items and counts as constants,
// so that the automation tables built from them (driver/descriptors.cpp)
// stay constant aggregates (no static constructor).
template <ULONG Count>
struct PropertyItemList {
    KSPROPERTY_ITEM items[Count];
};

extern const PropertyItemList<ControlItemCount> ControlPropertyItems;

// The CameraDevice of the filter a request arrived on (the parent filter for
// a request to a pin); null when the request, its filter, the filter's
// device or the device's context is missing.
CameraDevice* CameraOfRequest(PIRP irp);
