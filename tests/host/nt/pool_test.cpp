// The pool: per-tag accounting, fault injection and the stops on a wrong
// free.
#include <cstring>

#include "host/nt/pool_control.h"
#include "kernel_test.h"

namespace {

constexpr ULONG ContextTag = 'wNCK';
constexpr ULONG BufferTag = 'hQUE';

using PoolTest = KernelTest;
using PoolDeathTest = KernelDeathTest;

TEST_F(PoolTest, CountsLiveAllocationsAndBytesPerTag) {
    void* first = ExAllocatePoolWithTag(NonPagedPoolNx, 100, ContextTag);
    void* second = ExAllocatePoolWithTag(NonPagedPoolNx, 28, ContextTag);
    void* other = ExAllocatePoolWithTag(NonPagedPoolNx, 512, BufferTag);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    ASSERT_NE(other, nullptr);
    EXPECT_EQ(host::PoolStatsForTag(ContextTag).liveAllocations, 2u);
    EXPECT_EQ(host::PoolStatsForTag(ContextTag).liveBytes, 128u);
    EXPECT_EQ(host::PoolLiveBytes(), 640u);

    ExFreePoolWithTag(first, ContextTag);
    ExFreePool(second);
    ExFreePoolWithTag(other, BufferTag);
    EXPECT_EQ(host::PoolStatsForTag(ContextTag).liveAllocations, 0u);
    EXPECT_EQ(host::PoolStatsForTag(ContextTag).totalAllocations, 2u);
    EXPECT_EQ(host::PoolLiveAllocations(), 0u);
}

TEST_F(PoolTest, NewMemoryIsNotZeroed) {
    auto* memory =
        static_cast<unsigned char*>(ExAllocatePoolWithTag(NonPagedPoolNx, 64, BufferTag));
    ASSERT_NE(memory, nullptr);
    EXPECT_EQ(memory[0], 0xA5);
    EXPECT_EQ(memory[63], 0xA5);
    ExFreePoolWithTag(memory, BufferTag);
}

TEST_F(PoolTest, LeakCheckNamesTheTagAsThePoolShowsIt) {
    void* memory = ExAllocatePoolWithTag(NonPagedPoolNx, 10, ContextTag);
    EXPECT_NE(host::CheckNoLeaks().find("'KCNw'"), std::string::npos);
    EXPECT_NE(host::CheckNoLeaks().find("10 bytes"), std::string::npos);
    ExFreePoolWithTag(memory, ContextTag);
}

TEST_F(PoolTest, FailsTheNthAllocationFromNow) {
    host::FailPoolAllocation(2);
    void* first = ExAllocatePoolWithTag(NonPagedPoolNx, 8, ContextTag);
    void* second = ExAllocatePoolWithTag(NonPagedPoolNx, 8, BufferTag);
    void* third = ExAllocatePoolWithTag(NonPagedPoolNx, 8, BufferTag);
    EXPECT_NE(first, nullptr);
    EXPECT_EQ(second, nullptr);
    EXPECT_NE(third, nullptr);
    EXPECT_EQ(host::PoolStatsForTag(BufferTag).failedAllocations, 1u);
    ExFreePool(first);
    ExFreePool(third);
}

TEST_F(PoolTest, FailsEveryAllocationOfATagUntilCleared) {
    host::FailPoolAllocationsWithTag(BufferTag);
    EXPECT_EQ(ExAllocatePoolWithTag(NonPagedPoolNx, 8, BufferTag), nullptr);
    EXPECT_EQ(ExAllocatePoolWithTag(NonPagedPoolNx, 8, BufferTag), nullptr);
    void* context = ExAllocatePoolWithTag(NonPagedPoolNx, 8, ContextTag);
    EXPECT_NE(context, nullptr);
    host::ClearPoolFaults();
    void* buffer = ExAllocatePoolWithTag(NonPagedPoolNx, 8, BufferTag);
    EXPECT_NE(buffer, nullptr);
    ExFreePool(context);
    ExFreePool(buffer);
}

std::vector<bool> RandomOutcomes(uint32_t seed) {
    host::FailPoolAllocationsAtRandom(seed, 0.5);
    std::vector<bool> outcomes;
    for (int i = 0; i < 64; ++i) {
        void* memory = ExAllocatePoolWithTag(NonPagedPoolNx, 8, BufferTag);
        outcomes.push_back(memory != nullptr);
        if (memory != nullptr) {
            ExFreePool(memory);
        }
    }
    host::ClearPoolFaults();
    return outcomes;
}

TEST_F(PoolTest, RandomFailuresRepeatWithTheSameSeed) {
    std::vector<bool> first = RandomOutcomes(7);
    EXPECT_EQ(RandomOutcomes(7), first);
    EXPECT_NE(std::count(first.begin(), first.end(), false), 0);
    EXPECT_NE(std::count(first.begin(), first.end(), true), 0);
}

TEST_F(PoolDeathTest, FreeingWithAnotherTagStops) {
    void* memory = ExAllocatePoolWithTag(NonPagedPoolNx, 8, ContextTag);
    EXPECT_DEATH(ExFreePoolWithTag(memory, BufferTag),
                 "ExFreePoolWithTag of 0x[0-9A-F]+ with tag 'EUQh', allocated with tag 'KCNw'");
    ExFreePool(memory);
}

TEST_F(PoolDeathTest, FreeingTwiceStops) {
    void* memory = ExAllocatePoolWithTag(NonPagedPoolNx, 8, ContextTag);
    ExFreePool(memory);
    EXPECT_DEATH(ExFreePool(memory), "which was already freed");
}

TEST_F(PoolDeathTest, FreeingMemoryThePoolDidNotHandOutStops) {
    int local = 0;
    EXPECT_DEATH(ExFreePool(&local), "which is not a pool allocation");
}

}  // namespace
