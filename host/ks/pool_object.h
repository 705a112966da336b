// Class-driver objects live in the pool, as on Windows: pool fault injection
// makes their creation fail, and the leak check sees any left behind. All
// of them are non-executable (NonPagedPoolNx), as the pool requires.
#pragma once

#include <ntddk.h>

#include <initializer_list>
#include <new>
#include <utility>

namespace host::ks {

// Pool tags of the class driver's own records.
constexpr ULONG FactoryTag = 0x6361464B;   // 'KFac'
constexpr ULONG FilterTag = 0x746C464B;    // 'KFlt'
constexpr ULONG PinTag = 0x6E69504B;       // 'KPin'
constexpr ULONG FormatTag = 0x746D464B;    // 'KFmt'
constexpr ULONG FrameTag = 0x6D72464B;     // 'KFrm'
constexpr ULONG ClockTag = 0x6B6C434B;     // 'KClk'
constexpr ULONG RequestTag = 0x7165524B;   // 'KReq'
constexpr ULONG BagEntryTag = 0x6761424B;  // 'KBag'

// True for the tags above: the class driver's own records, which the pool
// check at driver unload does not count against the driver.
constexpr bool IsClassDriverTag(ULONG tag) {
    for (ULONG own :
         {FactoryTag, FilterTag, PinTag, FormatTag, FrameTag, ClockTag, RequestTag, BagEntryTag}) {
        if (tag == own) {
            return true;
        }
    }
    return false;
}

// Null when the pool refuses.
template <typename T, typename... Args>
T* NewInPool(ULONG tag, Args&&... args) {
    void* memory = ExAllocatePoolWithTag(NonPagedPoolNx, sizeof(T), tag);
    return memory == nullptr ? nullptr : new (memory) T(std::forward<Args>(args)...);
}

template <typename T>
void DeleteInPool(T* object, ULONG tag) {
    object->~T();
    ExFreePoolWithTag(object, tag);
}

}  // namespace host::ks
