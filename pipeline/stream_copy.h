// Copies that bypass the caches: for images far larger than the caches,
// written once and read next by another processor or a device, streaming
// (non-temporal) stores skip the read of every destination line that
// ordinary stores make first.
#pragma once

#include "platform/kernel.h"

// Copies `bytes` from source to destination, the destination's aligned
// 16-byte blocks with streaming stores. The stores are weakly ordered: call
// StreamFence before anything else may read the destination.
void CopyStreaming(UCHAR* destination, const UCHAR* source, SIZE_T bytes);
// Orders every streaming store before it ahead of every store after it.
void StreamFence();
