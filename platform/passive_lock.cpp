// The passive lock over a synchronization event: a wait takes it and resets
// the event; setting the event releases exactly one waiter.
#include "platform/passive_lock.h"

void InitializePassiveLock(PassiveLock* lock) {
    KeInitializeEvent(&lock->event, SynchronizationEvent, TRUE);
}

void AcquirePassiveLock(PassiveLock* lock) {
    KeWaitForSingleObject(&lock->event, Executive, KernelMode, FALSE, nullptr);
}

void ReleasePassiveLock(PassiveLock* lock) {
    KeSetEvent(&lock->event, IO_NO_INCREMENT, FALSE);
}
