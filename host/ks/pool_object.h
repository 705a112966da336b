// Class-driver objects live in the pool, as on Windows: pool fault injection
// makes their creation fail, and the leak check sees any left behind.
#pragma once

#include <ntddk.h>

#include <new>
#include <utility>

namespace host::ks {

// Pool tags of the class driver's own records.
constexpr ULONG FactoryTag = 0x6361464B;  // 'KFac'
constexpr ULONG FilterTag = 0x746C464B;   // 'KFlt'
constexpr ULONG PinTag = 0x6E69504B;      // 'KPin'
constexpr ULONG FormatTag = 0x746D464B;   // 'KFmt'
constexpr ULONG FrameTag = 0x6D72464B;    // 'KFrm'
constexpr ULONG ClockTag = 0x6B6C434B;    // 'KClk'
constexpr ULONG RequestTag = 0x7165524B;  // 'KReq'

// Null when the pool refuses.
template <typename T, typename... Args>
T* NewInPool(ULONG tag, Args&&... args) {
    void* memory = ExAllocatePoolWithTag(NonPagedPool, sizeof(T), tag);
    return memory == nullptr ? nullptr : new (memory) T(std::forward<Args>(args)...);
}

template <typename T>
void DeleteInPool(T* object, ULONG tag) {
    object->~T();
    ExFreePoolWithTag(object, tag);
}

}  // namespace host::ks
