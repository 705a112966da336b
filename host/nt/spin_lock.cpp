// Spin locks: a real lock built on atomic compare-and-swap, which
// ThreadSanitizer understands. The lock word holds a token of its holder so
// that a recursive acquisition (a deadlock on Windows) and a release by a
// thread that does not hold it stop with a message. Acquiring raises the
// thread's IRQL to DISPATCH_LEVEL; waits and passive-level routines check it.
#include <sched.h>

#include "host/nt/bug_check.h"
#include "host/nt/current_thread.h"

namespace {

ULONG_PTR HolderToken() {
    return reinterpret_cast<ULONG_PTR>(&host::nt::CurrentThread());
}

void SpinUntilTaken(PKSPIN_LOCK SpinLock, ULONG_PTR token) {
    for (int attempt = 0;; ++attempt) {
        ULONG_PTR expected = 0;
        if (__atomic_compare_exchange_n(SpinLock, &expected, token, false, __ATOMIC_ACQUIRE,
                                        __ATOMIC_RELAXED)) {
            return;
        }
        // The holder may be preempted on a host with few processors.
        if (attempt > 100) {
            sched_yield();
        } else {
            __builtin_ia32_pause();
        }
    }
}

}  // namespace

VOID NTAPI KeInitializeSpinLock(PKSPIN_LOCK SpinLock) {
    __atomic_store_n(SpinLock, 0, __ATOMIC_RELAXED);
}

KIRQL NTAPI KeAcquireSpinLockRaiseToDpc(PKSPIN_LOCK SpinLock) {
    host::nt::CurrentThreadState& thread = host::nt::CurrentThread();
    ULONG_PTR token = HolderToken();
    if (__atomic_load_n(SpinLock, __ATOMIC_RELAXED) == token) {
        host::BugCheck("spin lock " + host::Hex(reinterpret_cast<ULONG_PTR>(SpinLock)) +
                       " acquired again by the thread that holds it");
    }
    KIRQL previous = thread.irql;
    SpinUntilTaken(SpinLock, token);
    thread.irql = DISPATCH_LEVEL;
    ++thread.spinLocksHeld;
    return previous;
}

VOID NTAPI KeReleaseSpinLock(PKSPIN_LOCK SpinLock, KIRQL NewIrql) {
    host::nt::CurrentThreadState& thread = host::nt::CurrentThread();
    if (__atomic_load_n(SpinLock, __ATOMIC_RELAXED) != HolderToken()) {
        host::BugCheck("spin lock " + host::Hex(reinterpret_cast<ULONG_PTR>(SpinLock)) +
                       " released by a thread that does not hold it");
    }
    __atomic_store_n(SpinLock, 0, __ATOMIC_RELEASE);
    --thread.spinLocksHeld;
    thread.irql = NewIrql;
}
