// Frames converted in row bands over the workers, window by window: the same
// bytes as the references over the whole padded frame for any number of
// bands, any height (bands and windows ending on odd rows, bands without a
// row), white balance on or off, colour or grey; the same with workers that
// could not start; and the band count chosen from the setting and the
// processors.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <tuple>
#include <vector>

#include "host/nt/fault_plan.h"
#include "pipeline/kernels.h"
#include "platform/cpu_features.h"
#include "tests/pipeline/pipeline_harness.h"

namespace {

using pipeline_test::Window;

// The frame as the references make it from the whole padded frame: the
// estimate first when white balance is on, then the colour or grey kernel.
std::vector<uint8_t> ReferenceFrame(Window& window, LONG phase, bool balance, bool colour) {
    ImagePipeline* p = window.pipeline();
    LONG gains[3] = {p->redGainSetting, p->greenGainSetting, p->blueGainSetting};
    window.Load();
    if (balance) {
        LONG estimate[3];
        if (EstimateWhiteBalanceReference(window.frame(), phase, &estimate[0], &estimate[1],
                                          &estimate[2])) {
            std::copy(estimate, estimate + 3, gains);
        }
    }
    window.SetFrameParameters(gains[0], gains[1], gains[2], pipeline_test::FixedMatrix(p));
    window.ClearOutput();
    (colour ? DemosaicColourReference : DemosaicMonoReference)(window.frame(), phase);
    return window.output();
}

// Converts with ConvertFrame and with the references, from the same gains.
::testing::AssertionResult ConvertsAsTheReference(Window& window, LONG phase, bool balance,
                                                  bool colour) {
    ImagePipeline* p = window.pipeline();
    SetBayerPhase(p, phase);
    SetWhiteBalanceEnabled(p, balance ? 1 : 0);
    SetColourEnabled(p, colour ? 1 : 0);
    SetRedGain(p, 150);
    SetGreenGain(p, 128);
    SetBlueGain(p, 90);
    const std::vector<uint8_t> expected = ReferenceFrame(window, phase, balance, colour);
    SetRedGain(p, 150);
    SetGreenGain(p, 128);
    SetBlueGain(p, 90);
    window.ClearOutput();
    window.Convert();
    if (!window.GuardIntact()) {
        return ::testing::AssertionFailure() << "wrote beyond the frame";
    }
    if (window.output() != expected) {
        return ::testing::AssertionFailure() << "bytes differ from the reference";
    }
    return ::testing::AssertionSuccess();
}

class PipelineRowBands : public ::testing::Test {
protected:
    void TearDown() override { host::ClearPlannedFault(); }
};

TEST_F(PipelineRowBands, EveryBandCountConvertsAsTheReference) {
    std::mt19937 random(21);
    const std::pair<ULONG, ULONG> sizes[] = {{1, 1},   {7, 3},  {16, 17}, {33, 34},
                                             {70, 50}, {9, 65}, {40, 5}};
    for (LONG bands = 1; bands <= MaxConversionThreads; ++bands) {
        for (const auto& [width, height] : sizes) {
            Window window(width, height);
            window.UseBands(bands);
            ASSERT_EQ(window.pipeline()->bandCount, bands);
            for (LONG phase : {0, 1, 2, 3}) {
                window.FillRaw(random);
                const bool balance = random() % 2 == 0;
                const bool colour = random() % 4 != 0;
                EXPECT_TRUE(ConvertsAsTheReference(window, phase, balance, colour))
                    << bands << " bands, " << width << "x" << height << ", phase " << phase
                    << (balance ? ", balanced" : "") << (colour ? "" : ", grey");
            }
        }
    }
}

// Only the first worker starts: the frame is converted whole in two bands.
TEST_F(PipelineRowBands, AWorkerThatCannotStartLeavesItsRowsToTheOthers) {
    std::mt19937 random(22);
    Window window(45, 61);
    host::FailNthCall(host::FaultSite::ThreadCreation, 2);
    window.UseBands(4);
    EXPECT_EQ(window.pipeline()->bandCount, 2);
    window.FillRaw(random);
    EXPECT_TRUE(ConvertsAsTheReference(window, 1, true, true));
    host::FailNthCall(host::FaultSite::ThreadCreation, 1);
    window.UseBands(3);
    EXPECT_EQ(window.pipeline()->bandCount, 1);
    EXPECT_TRUE(ConvertsAsTheReference(window, 2, false, true));
}

// A 64-byte aligned output (a pool block of a page or more) of 16 MB or more
// is written past the cache, in bands at the best level, with the same
// bytes; a smaller or a misaligned one is not.
TEST_F(PipelineRowBands, OnlyALargeAlignedOutputIsStreamed) {
    std::mt19937 random(23);
    for (const auto& [width, height, streams] :
         {std::tuple{4384u, 3288u, true}, std::tuple{2048u, 2048u, true},
          std::tuple{2048u, 2047u, false}, std::tuple{1008u, 600u, false}}) {
        Window window(width, height);
        window.pipeline()->simdLevel = SupportedSimdLevel();
        window.UseBands(2);
        window.FillRaw(random);
        window.Convert();
        const size_t bytes = size_t{width} * height * 4;
        pipeline_test::AlignedOutput output(bytes + 16);
        UCHAR* aligned = output.data();
        SetOutputBuffer(window.pipeline(), aligned + 16);
        window.Convert();
        EXPECT_EQ(window.pipeline()->frame.streamOutput, 0) << "a 16-byte aligned output";
        EXPECT_EQ(std::memcmp(aligned + 16, window.output().data(), bytes), 0);
        SetOutputBuffer(window.pipeline(), aligned);
        window.Convert();
        EXPECT_EQ(window.pipeline()->frame.streamOutput, streams ? 1 : 0)
            << width << " x " << height;
        EXPECT_EQ(std::memcmp(aligned, window.output().data(), bytes), 0)
            << width << " x " << height;
    }
}

TEST(PipelineConversionThreads, FollowTheSettingOrTheProcessorsUpToFour) {
    const ULONG cases[][3] = {{0, 1, 1}, {0, 2, 2}, {0, 64, 4}, {0, 0, 1},
                              {1, 8, 1}, {3, 2, 3}, {9, 2, 4},  {0xFFFFFFFF, 2, 4}};
    for (const auto& [requested, processors, bands] : cases) {
        EXPECT_EQ(ChooseConversionThreads(requested, processors), static_cast<LONG>(bands))
            << requested << " on " << processors;
    }
}

}  // namespace
