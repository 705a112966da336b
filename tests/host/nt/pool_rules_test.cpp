// The pool as Driver Verifier watches it: the pool types a driver may ask
// for, the IRQL of paged allocations and frees, and special pool's guard
// page after every block.
#include <cstring>

#include "host/nt/bug_check.h"
#include "host/nt/pool_control.h"
#include "kernel_test.h"

namespace {

constexpr ULONG Tag = 'wNCK';

using PoolTypeTest = KernelTest;
using PoolTypeDeathTest = KernelDeathTest;

TEST_F(PoolTypeTest, NonExecutableAndPagedTypesAreServed) {
    for (POOL_TYPE type :
         {NonPagedPoolNx, static_cast<POOL_TYPE>(NonPagedPoolNx + 4),
          static_cast<POOL_TYPE>(NonPagedPoolNx + 32), PagedPool, PagedPoolCacheAligned}) {
        void* memory = ExAllocatePoolWithTag(type, 64, Tag);
        EXPECT_NE(memory, nullptr) << "pool type " << type;
        ExFreePoolWithTag(memory, Tag);
    }
}

TEST_F(PoolTypeDeathTest, EveryExecutableTypeStops) {
    // NonPagedPool and its must-succeed, cache-aligned and session variants.
    for (int type : {0, 2, 4, 6, 32, 34, 36, 38}) {
        EXPECT_DEATH(ExAllocatePoolWithTag(static_cast<POOL_TYPE>(type), 64, Tag),
                     "DRIVER_VERIFIER_DETECTED_VIOLATION \\(0xC4\\): 0x2000, 0x0, " +
                         host::Hex(type) + ", 0x774E434B, in ExAllocatePoolWithTag")
            << "pool type " << type;
    }
}

TEST_F(PoolTypeDeathTest, PagedPoolAtDispatchLevelStops) {
    KSPIN_LOCK lock;
    KeInitializeSpinLock(&lock);
    EXPECT_DEATH(
        {
            KIRQL irql;
            KeAcquireSpinLock(&lock, &irql);
            ExAllocatePoolWithTag(PagedPool, 64, Tag);
        },
        "\\(0xC4\\): 0x1, 0x2, 0x1, 0x40, in ExAllocatePoolWithTag");
    void* memory = ExAllocatePoolWithTag(PagedPool, 64, Tag);
    EXPECT_DEATH(
        {
            KIRQL irql;
            KeAcquireSpinLock(&lock, &irql);
            ExFreePoolWithTag(memory, Tag);
        },
        "\\(0xC4\\): 0x11, 0x2, 0x1, 0x[0-9A-F]+, in ExFreePoolWithTag");
    ExFreePoolWithTag(memory, Tag);
}

TEST_F(PoolTypeTest, NonPagedPoolIsServedAtDispatchLevel) {
    KSPIN_LOCK lock;
    KeInitializeSpinLock(&lock);
    KIRQL irql;
    KeAcquireSpinLock(&lock, &irql);
    void* memory = ExAllocatePoolWithTag(NonPagedPoolNx, 64, Tag);
    ExFreePoolWithTag(memory, Tag);
    KeReleaseSpinLock(&lock, irql);
    EXPECT_NE(memory, nullptr);
}

class SpecialPoolTest : public KernelDeathTest {
protected:
    void SetUp() override {
        KernelDeathTest::SetUp();
        host::UseSpecialPool(true);
    }
    void TearDown() override {
        host::UseSpecialPool(false);
        KernelDeathTest::TearDown();
    }
};

TEST_F(SpecialPoolTest, TheFirstByteAfterTheRoundedEndFaults) {
    auto* block =
        static_cast<volatile unsigned char*>(ExAllocatePoolWithTag(NonPagedPoolNx, 100, Tag));
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(block) % 16, 0u);
    EXPECT_EQ(block[0], 0xA5);
    block[99] = 1;
    block[111] = 1;  // the rounding to 16 bytes, as pool blocks have
    EXPECT_DEATH(block[112] = 1, "");
    ExFreePoolWithTag(const_cast<unsigned char*>(block), Tag);
}

TEST_F(SpecialPoolTest, AFreedBlockIsUnmapped) {
    auto* block =
        static_cast<volatile unsigned char*>(ExAllocatePoolWithTag(NonPagedPoolNx, 32, Tag));
    ExFreePoolWithTag(const_cast<unsigned char*>(block), Tag);
    EXPECT_DEATH(block[0] = 1, "");
}

TEST_F(SpecialPoolTest, AccountingAndTheFreeChecksStay) {
    void* first = ExAllocatePoolWithTag(NonPagedPoolNx, 4096, Tag);
    void* second = ExAllocatePoolWithTag(NonPagedPoolNx, 1, Tag);
    EXPECT_EQ(host::PoolStatsForTag(Tag).liveAllocations, 2u);
    EXPECT_EQ(host::PoolStatsForTag(Tag).liveBytes, 4097u);
    std::memset(first, 0, 4096);
    ExFreePoolWithTag(first, Tag);
    EXPECT_DEATH(ExFreePoolWithTag(first, Tag), "which was already freed");
    EXPECT_DEATH(ExFreePoolWithTag(second, 'EUQh'), "allocated with tag 'KCNw'");
    ExFreePoolWithTag(second, Tag);
}

}  // namespace
