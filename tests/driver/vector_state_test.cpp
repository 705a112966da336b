// The wider kernels run only under the vector state they use: every band of
// every frame converted at AVX2 or AVX-512 inside one balanced save and
// restore on the thread that converts it (the stand-in stops on any other),
// with the mask of its level; none for SSE2, whether the Settings key forces
// it or a save fails. Neither diagnosis value is ever written back.
#include <gtest/gtest.h>

#include <map>

#include "host/nt/extended_state_control.h"
#include "host/nt/registry_store.h"
#include "platform/cpu_features.h"
#include "tests/support/capture_fixture.h"

namespace driver_test {
namespace {

constexpr int Frames = 4;

class VectorState : public CaptureTest {
protected:
    // Streams Frames frames from a device whose Settings key holds
    // SimdLevel = `level`, and returns the balanced pairs logged meanwhile.
    std::vector<host::ExtendedStatePair> Stream(uint32_t level, uint32_t threads = 1) {
        sim_ = AttachCamera();
        camera_ = AddDevice();
        host::RegistrySetDword(SettingsKey(), "SimdLevel", level);
        host::RegistrySetDword(SettingsKey(), "ConversionThreads", threads);
        host::RegistrySetDword(SettingsKey(), "RoiW", 100);
        host::RegistrySetDword(SettingsKey(), "RoiH", 32);
        EXPECT_EQ(LastDevice().Start(), STATUS_SUCCESS);
        EXPECT_EQ(CreatePin(), STATUS_SUCCESS);
        EXPECT_EQ(pin_->SetState(KSSTATE_RUN), STATUS_SUCCESS);
        for (int frame = 0; frame < Frames; ++frame) {
            std::unique_ptr<client::StreamBuffer> done = Capture();
            EXPECT_TRUE(done != nullptr && done->header.DataUsed != 0);
        }
        EXPECT_EQ(pin_->SetState(KSSTATE_STOP), STATUS_SUCCESS);
        return host::ExtendedStatePairs();
    }
};

TEST_F(VectorState, EachWideConversionRunsUnderItsLevelsSavedState) {
    const LONG best = SupportedSimdLevel();
    if (best < SimdLevelAvx2) {
        GTEST_SKIP() << "the processor has no AVX2";
    }
    const ULONG64 expected =
        best >= SimdLevelAvx512 ? XSTATE_MASK_AVX | XSTATE_MASK_AVX512 : XSTATE_MASK_AVX;
    const std::vector<host::ExtendedStatePair> pairs = Stream(0);
    ASSERT_FALSE(pairs.empty());
    for (const host::ExtendedStatePair& pair : pairs) {
        EXPECT_EQ(pair.mask, expected);
    }
}

// Two bands: each conversion saves once on the processing thread and once on
// the worker, so both threads log the same number of pairs.
TEST_F(VectorState, EachBandSavesTheStateOnItsOwnThread) {
    if (SupportedSimdLevel() < SimdLevelAvx2) {
        GTEST_SKIP() << "the processor has no AVX2";
    }
    std::map<unsigned long, int> pairsPerThread;
    for (const host::ExtendedStatePair& pair : Stream(SimdLevelAvx2, 2)) {
        EXPECT_EQ(pair.mask, XSTATE_MASK_AVX);
        ++pairsPerThread[pair.thread];
    }
    ASSERT_EQ(pairsPerThread.size(), 2u);
    EXPECT_GE(pairsPerThread.begin()->second, 1);
    EXPECT_EQ(pairsPerThread.begin()->second, pairsPerThread.rbegin()->second);
}

TEST_F(VectorState, AForcedLevelBelowTheBestSavesOnlyItsOwnState) {
    if (SupportedSimdLevel() < SimdLevelAvx512) {
        GTEST_SKIP() << "the processor has no AVX-512";
    }
    for (const host::ExtendedStatePair& pair : Stream(SimdLevelAvx2)) {
        EXPECT_EQ(pair.mask, XSTATE_MASK_AVX);
    }
}

TEST_F(VectorState, ForcedSse2SavesNothing) {
    EXPECT_TRUE(Stream(SimdLevelSse2).empty());
}

TEST_F(VectorState, FramesWhoseSaveFailsAreConvertedWithSse2) {
    host::FailNextExtendedStateSaves(1 << 30);
    EXPECT_TRUE(Stream(0).empty());
}

// The save at filter close writes every stored setting but these.
TEST_F(VectorState, TheDiagnosisValuesAreNeverWrittenBack) {
    ASSERT_NE(StartCamera(), nullptr);
    filter_ = OpenFilter();
    filter_.reset();
    EXPECT_TRUE(host::RegistryGetValue(SettingsKey(), "Exposure").has_value());
    EXPECT_FALSE(host::RegistryGetValue(SettingsKey(), "SimdLevel").has_value());
    EXPECT_FALSE(host::RegistryGetValue(SettingsKey(), "ConversionThreads").has_value());
}

}  // namespace
}  // namespace driver_test
