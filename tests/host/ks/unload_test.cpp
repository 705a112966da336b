// Driver unload as Driver Verifier checks it: after its devices are gone,
// every pool block other than the class driver's own records must be back.
#include "host/ks/pool_object.h"
#include "host/nt/pool_control.h"
#include "tests/host/ks/ks_test.h"

namespace {

constexpr ULONG LeakTag = 0x6B61654C;  // 'Leak'

using UnloadDeathTest = KsDeathTest;

TEST_F(UnloadDeathTest, PoolLeftAtUnloadStopsNamingEachTagAndCount) {
    void* first = ExAllocatePoolWithTag(NonPagedPoolNx, 8, LeakTag);
    void* second = ExAllocatePoolWithTag(NonPagedPoolNx, 8, LeakTag);
    EXPECT_DEATH(
        {
            device_.reset();
            driver_.reset();
        },
        "DRIVER_VERIFIER_DETECTED_VIOLATION \\(0xC4\\): 0x62, 0x0, 0x0, 0x2, in driver unload: "
        "pool still allocated: 'Leak' 2 allocation\\(s\\)");
    ExFreePoolWithTag(first, LeakTag);
    ExFreePoolWithTag(second, LeakTag);
}

TEST_F(UnloadDeathTest, ADriverGoesOnlyAfterItsDevices) {
    EXPECT_DEATH(driver_.reset(), "driver unloaded with 1 device\\(s\\) still present");
}

using UnloadTest = KsTest;

TEST_F(UnloadTest, TheClassDriversOwnRecordsDoNotCount) {
    client::MasterClock clock;  // a class-driver record, alive past the unload
    device_.reset();
    driver_.reset();
    EXPECT_EQ(host::PoolStatsForTag(host::ks::ClockTag).liveAllocations, 1u);
}

}  // namespace
