// Pool allocation over the kernel executive.
#include "platform/pool.h"

void* PoolAllocate(SIZE_T bytes, ULONG tag) {
    return ExAllocatePoolWithTag(NonPagedPoolNx, bytes, tag);
}

void* PoolAllocateZeroed(SIZE_T bytes, ULONG tag) {
    void* memory = ExAllocatePoolWithTag(NonPagedPoolNx, bytes, tag);
    if (memory != nullptr) {
        __builtin_memset(memory, 0, bytes);
    }
    return memory;
}

void PoolFree(void* memory, ULONG tag) {
    if (memory != nullptr) {
        ExFreePoolWithTag(memory, tag);
    }
}
