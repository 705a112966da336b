// The short lock as a kernel spin lock, and critical regions.
#include "platform/lock.h"

void InitializeShortLock(ShortLock* lock) {
    KeInitializeSpinLock(&lock->spinLock);
    lock->previousIrql = PASSIVE_LEVEL;
}

void AcquireShortLock(ShortLock* lock) {
    KIRQL previous;
    KeAcquireSpinLock(&lock->spinLock, &previous);
    lock->previousIrql = previous;
}

void ReleaseShortLock(ShortLock* lock) {
    KeReleaseSpinLock(&lock->spinLock, lock->previousIrql);
}

void EnterCriticalRegion() {
    KeEnterCriticalRegion();
}

void LeaveCriticalRegion() {
    KeLeaveCriticalRegion();
}
