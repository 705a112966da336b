// The short lock: a spin lock for sections of a few dozen instructions (the
// raw-slot section, the colour-matrix publish and snapshot). Never held across
// a transfer, a wait or an allocation.
#pragma once

#include "platform/kernel.h"

struct ShortLock {
    KSPIN_LOCK spinLock;
    KIRQL previousIrql;  // written only by the holder
};

void InitializeShortLock(ShortLock* lock);
void AcquireShortLock(ShortLock* lock);
void ReleaseShortLock(ShortLock* lock);

// Holds off asynchronous procedure calls to the running thread, as the
// kernel's critical region does; not a lock.
void EnterCriticalRegion();
void LeaveCriticalRegion();
