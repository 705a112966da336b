// The class driver's object tree: every live device, filter factory, filter
// and pin, keyed by the public record the driver sees, with its parent. The
// accessors the driver calls (KsGetParent, KsGetDevice, ...) look up here; a
// pointer that is no live object stops with a bug check, as a stray pointer
// would crash Windows.
#pragma once

#include <ks.h>

namespace host::ks {

struct ObjectNode {
    KSOBJECTTYPE type;
    PVOID parent;      // the parent's public record; null for a device
    PKSDEVICE device;  // the device the object belongs to
    void* owner;       // the host object that holds the record
};

void RegisterObject(PVOID object, const ObjectNode& node);
void UnregisterObject(PVOID object);
ObjectNode LookUpObject(PVOID object);

}  // namespace host::ks
