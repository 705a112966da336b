// Object bags as a list of pool entries.
#include "host/ks/object_bag.h"

#include <mutex>

#include "host/ks/pool_object.h"
#include "host/nt/kernel_stack.h"

namespace host {

namespace {

using ks::BagEntryTag;

struct BagEntry {
    PVOID item;
    PFNKSFREE free;
    BagEntry* next;
};

void FreeItem(const BagEntry& entry) {
    if (entry.free != nullptr) {
        CallDriver([&entry] { entry.free(entry.item); });
    } else {
        ExFreePool(entry.item);
    }
}

}  // namespace

struct ObjectBag {
    std::mutex mutex;
    BagEntry* newest = nullptr;
    size_t size = 0;
};

ObjectBag* CreateObjectBag() {
    return new ObjectBag;
}

void FreeObjectBag(ObjectBag* bag) {
    BagEntry* entry;
    {
        std::lock_guard<std::mutex> lock(bag->mutex);
        entry = bag->newest;
        bag->newest = nullptr;
        bag->size = 0;
    }
    while (entry != nullptr) {
        BagEntry* next = entry->next;
        FreeItem(*entry);
        ExFreePoolWithTag(entry, BagEntryTag);
        entry = next;
    }
    delete bag;
}

size_t ObjectBagSize(const ObjectBag* bag) {
    std::lock_guard<std::mutex> lock(const_cast<ObjectBag*>(bag)->mutex);
    return bag->size;
}

bool ObjectBagContains(ObjectBag* bag, PVOID item) {
    std::lock_guard<std::mutex> lock(bag->mutex);
    for (BagEntry* entry = bag->newest; entry != nullptr; entry = entry->next) {
        if (entry->item == item) {
            return true;
        }
    }
    return false;
}

}  // namespace host

NTSTATUS NTAPI KsAddItemToObjectBag(KSOBJECT_BAG ObjectBag, PVOID Item, PFNKSFREE Free) {
    auto* bag = static_cast<host::ObjectBag*>(ObjectBag);
    auto* entry = static_cast<host::BagEntry*>(
        ExAllocatePoolWithTag(NonPagedPoolNx, sizeof(host::BagEntry), host::BagEntryTag));
    if (entry == nullptr) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    std::lock_guard<std::mutex> lock(bag->mutex);
    *entry = {Item, Free, bag->newest};
    bag->newest = entry;
    ++bag->size;
    return STATUS_SUCCESS;
}

// Returns the number of references the bag held to the item: one, or zero
// when it was not there.
ULONG NTAPI KsRemoveItemFromObjectBag(KSOBJECT_BAG ObjectBag, PVOID Item, BOOLEAN Free) {
    auto* bag = static_cast<host::ObjectBag*>(ObjectBag);
    host::BagEntry* removed = nullptr;
    {
        std::lock_guard<std::mutex> lock(bag->mutex);
        for (host::BagEntry** link = &bag->newest; *link != nullptr; link = &(*link)->next) {
            if ((*link)->item == Item) {
                removed = *link;
                *link = removed->next;
                --bag->size;
                break;
            }
        }
    }
    if (removed == nullptr) {
        return 0;
    }
    if (Free) {
        host::FreeItem(*removed);
    }
    ExFreePoolWithTag(removed, host::BagEntryTag);
    return 1;
}
