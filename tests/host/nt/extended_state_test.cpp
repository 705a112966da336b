// The extended-state routines hold a driver to Windows' rules: saves nest
// and are restored newest first on their own thread, and no thread ends with
// one outstanding; each balanced pair is logged with its mask.
#include "host/nt/extended_state_control.h"
#include "host/nt/threads_control.h"
#include "kernel_test.h"

namespace {

using ExtendedStateTest = KernelTest;
using ExtendedStateDeathTest = KernelDeathTest;

TEST_F(ExtendedStateTest, NestedPairsAreLoggedInTheOrderTheyClose) {
    XSTATE_SAVE outer;
    XSTATE_SAVE inner;
    ASSERT_EQ(KeSaveExtendedProcessorState(XSTATE_MASK_AVX, &outer), STATUS_SUCCESS);
    ASSERT_EQ(KeSaveExtendedProcessorState(XSTATE_MASK_AVX | XSTATE_MASK_AVX512, &inner),
              STATUS_SUCCESS);
    KeRestoreExtendedProcessorState(&inner);
    KeRestoreExtendedProcessorState(&outer);
    const std::vector<host::ExtendedStatePair> pairs = host::ExtendedStatePairs();
    ASSERT_EQ(pairs.size(), 2u);
    EXPECT_EQ(pairs[0].mask, XSTATE_MASK_AVX | XSTATE_MASK_AVX512);
    EXPECT_EQ(pairs[1].mask, XSTATE_MASK_AVX);
    EXPECT_EQ(pairs[0].thread, 0u);
}

TEST_F(ExtendedStateTest, AnInjectedFailureSavesNothing) {
    host::FailNextExtendedStateSaves(1);
    XSTATE_SAVE save;
    EXPECT_EQ(KeSaveExtendedProcessorState(XSTATE_MASK_AVX, &save), STATUS_INSUFFICIENT_RESOURCES);
    ASSERT_EQ(KeSaveExtendedProcessorState(XSTATE_MASK_AVX, &save), STATUS_SUCCESS);
    KeRestoreExtendedProcessorState(&save);
    EXPECT_EQ(host::ExtendedStatePairs().size(), 1u);
}

TEST_F(ExtendedStateDeathTest, RestoringOutOfOrderStops) {
    EXPECT_DEATH(
        {
            XSTATE_SAVE outer;
            XSTATE_SAVE inner;
            KeSaveExtendedProcessorState(XSTATE_MASK_AVX, &outer);
            KeSaveExtendedProcessorState(XSTATE_MASK_AVX, &inner);
            KeRestoreExtendedProcessorState(&outer);
        },
        "a save that is not the newest");
}

TEST_F(ExtendedStateDeathTest, AnUnknownMaskStops) {
    XSTATE_SAVE save;
    EXPECT_DEATH(KeSaveExtendedProcessorState(1ULL << 9, &save), "called with mask 0x200");
}

VOID NTAPI EndWithStateSaved(PVOID) {
    static XSTATE_SAVE save;
    KeSaveExtendedProcessorState(XSTATE_MASK_AVX, &save);
}

TEST_F(ExtendedStateDeathTest, EndingWithASaveOutstandingStops) {
    EXPECT_DEATH(
        {
            HANDLE handle;
            PsCreateSystemThread(&handle, 0, nullptr, nullptr, nullptr, EndWithStateSaved, nullptr);
            ZwClose(handle);
            host::ResetKernel();
        },
        "ended with an extended-state save outstanding");
}

}  // namespace
