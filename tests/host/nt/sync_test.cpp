// Spin locks, IRQL and critical regions.
#include <thread>
#include <vector>

#include "kernel_test.h"

namespace {

using SyncTest = KernelTest;
using SyncDeathTest = KernelDeathTest;

TEST_F(SyncTest, SpinLockExcludesOtherThreads) {
    KSPIN_LOCK lock;
    KeInitializeSpinLock(&lock);
    long counter = 0;  // plain on purpose: the lock alone orders the increments
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 10000; ++i) {
                KIRQL irql;
                KeAcquireSpinLock(&lock, &irql);
                ++counter;
                KeReleaseSpinLock(&lock, irql);
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(counter, 40000);
}

TEST_F(SyncTest, AcquiringRaisesToDispatchLevelAndReleasingRestores) {
    KSPIN_LOCK lock;
    KeInitializeSpinLock(&lock);
    KIRQL previous;
    KeAcquireSpinLock(&lock, &previous);
    EXPECT_EQ(previous, PASSIVE_LEVEL);
    EXPECT_EQ(KeGetCurrentIrql(), DISPATCH_LEVEL);
    KeReleaseSpinLock(&lock, previous);
    EXPECT_EQ(KeGetCurrentIrql(), PASSIVE_LEVEL);
}

TEST_F(SyncTest, LeakCheckReportsAnUnbalancedCriticalRegion) {
    KeEnterCriticalRegion();
    KeEnterCriticalRegion();
    KeLeaveCriticalRegion();
    EXPECT_EQ(host::CheckNoLeaks(), "the calling thread is inside 1 critical region(s)\n");
    KeLeaveCriticalRegion();
}

TEST_F(SyncDeathTest, LeavingACriticalRegionNeverEnteredStops) {
    EXPECT_DEATH(KeLeaveCriticalRegion(), "KeLeaveCriticalRegion without a matching");
}

TEST_F(SyncDeathTest, AcquiringASpinLockTwiceStops) {
    KSPIN_LOCK lock;
    KeInitializeSpinLock(&lock);
    EXPECT_DEATH(
        {
            KIRQL first;
            KIRQL second;
            KeAcquireSpinLock(&lock, &first);
            KeAcquireSpinLock(&lock, &second);
        },
        "acquired again by the thread that holds it");
}

TEST_F(SyncDeathTest, ReleasingASpinLockNotHeldStops) {
    KSPIN_LOCK lock;
    KeInitializeSpinLock(&lock);
    EXPECT_DEATH(KeReleaseSpinLock(&lock, PASSIVE_LEVEL), "released by a thread that does not");
}

}  // namespace
