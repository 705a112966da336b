// _KsEdit: private, editable copies of descriptors owned by an object bag.
#include <cstring>

#include "host/ks/object_bag.h"

NTSTATUS NTAPI _KsEdit(KSOBJECT_BAG ObjectBag, PVOID* PointerToPointerToItem, ULONG NewSize,
                       ULONG OldSize, ULONG Tag) {
    auto* bag = static_cast<host::ObjectBag*>(ObjectBag);
    PVOID old = *PointerToPointerToItem;
    const bool owned = old != nullptr && host::ObjectBagContains(bag, old);
    if (owned && NewSize <= OldSize) {
        return STATUS_SUCCESS;
    }
    auto* copy = static_cast<UCHAR*>(ExAllocatePoolWithTag(NonPagedPoolNx, NewSize, Tag));
    if (copy == nullptr) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    const ULONG copied = old == nullptr ? 0 : (OldSize < NewSize ? OldSize : NewSize);
    if (copied != 0) {
        std::memcpy(copy, old, copied);
    }
    std::memset(copy + copied, 0, NewSize - copied);
    NTSTATUS status = KsAddItemToObjectBag(ObjectBag, copy, nullptr);
    if (!NT_SUCCESS(status)) {
        ExFreePoolWithTag(copy, Tag);
        return status;
    }
    *PointerToPointerToItem = copy;
    if (owned) {
        KsRemoveItemFromObjectBag(ObjectBag, old, TRUE);
    }
    return STATUS_SUCCESS;
}
