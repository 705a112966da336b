// Non-paged, non-executable pool (NonPagedPoolNx) with four-character tags.
// Every allocation of the driver goes through here, so the host stand-in can
// account for it per tag.
#pragma once

#include "platform/kernel.h"

// Tags are multi-character literals, as the pool shows them reversed.
constexpr ULONG PoolTagContext = 'wNCK';   // CameraDevice, CaptureEngine, filter, pin
constexpr ULONG PoolTagPipeline = 'RysI';  // ImagePipeline
constexpr ULONG PoolTagBuffer = 'hQUE';    // frame slots, frames, descriptor copies

// Returns null when the pool cannot satisfy the request. Contents undefined.
void* PoolAllocate(SIZE_T bytes, ULONG tag);

// As PoolAllocate, with every byte zero.
void* PoolAllocateZeroed(SIZE_T bytes, ULONG tag);

// Frees memory from PoolAllocate with the tag it was allocated with; null is
// ignored.
void PoolFree(void* memory, ULONG tag);
