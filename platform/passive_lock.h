// A lock for passive-level sections that may wait, allocate or call the
// registry: a synchronization event used as a mutex. It serialises attach and
// detach of the device's ImagePipeline with every path that reaches it from
// outside the stream, since a control application on its own filter can
// change settings while a capture application's pin stops.
#pragma once

#include "platform/kernel.h"

struct PassiveLock {
    KEVENT event;  // signalled while free
};

void InitializePassiveLock(PassiveLock* lock);
void AcquirePassiveLock(PassiveLock* lock);
void ReleasePassiveLock(PassiveLock* lock);
