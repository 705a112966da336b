// Automatic white balance and ConvertFrame: the estimate from a frame's own
// totals and its limits, its use on the same frame and its publication as the
// gain settings, the phase and the colour setting choosing the kernel.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "pipeline/kernels.h"
#include "tests/pipeline/pipeline_harness.h"

namespace {

using pipeline_test::Window;
using Gains = std::array<LONG, 3>;
using Pixel = std::array<uint8_t, 4>;

const LONG kPhases[] = {0, 1, 2, 3, 7};

// The estimate of both implementations, which must agree; -1s when there is none.
Gains Estimate(Window& window, LONG phase) {
    Gains reference = {-1, -1, -1};
    Gains vector = {-1, -1, -1};
    EstimateWhiteBalanceReference(window.frame(), phase, &reference[0], &reference[1],
                                  &reference[2]);
    ChannelTotals totals;
    SumChannelsSse2(window.frame(), phase, &totals);
    GainsFromTotals(totals, &vector[0], &vector[1], &vector[2]);
    EXPECT_EQ(reference, vector);
    return vector;
}

Gains Settings(const ImagePipeline* pipeline) {
    Gains gains;
    ReadGainSettings(pipeline, &gains[0], &gains[1], &gains[2]);
    return gains;
}

TEST(PipelineWhiteBalance, EstimatesBringRedAndBlueToGreen) {
    for (ULONG width : {17u, 1096u}) {
        Window window(width, 10);
        for (LONG phase : kPhases) {
            window.FillPlanes(phase, 90, 90, 90);
            window.Load();
            EXPECT_EQ(Estimate(window, phase), (Gains{128, 128, 128})) << width << phase;
            window.FillPlanes(phase, 100, 60, 20);
            window.Load();
            EXPECT_EQ(Estimate(window, phase), (Gains{76, 128, 384})) << width << phase;
        }
    }
}

TEST(PipelineWhiteBalance, ColumnsBeyondTheWindowDoNotCount) {
    Window window(17, 10);
    window.FillPlanes(0, 100, 60, 20);
    window.Load();
    const LONG stride = window.frame()->stride;
    for (LONG y = -2; y < 12; ++y) {
        for (LONG x = 19; x < stride - 5; ++x) {
            window.PaddedAt(x, y) = 255;
        }
    }
    EXPECT_EQ(Estimate(window, 0), (Gains{76, 128, 384}));
}

TEST(PipelineWhiteBalance, AChannelSummingToZeroGivesNoEstimate) {
    Window window(24, 10);
    window.FillPlanes(0, 0, 80, 80);
    window.Load();
    EXPECT_EQ(Estimate(window, 0), (Gains{-1, -1, -1}));
}

TEST(PipelineWhiteBalance, GainsAreLimitedTo16Bits) {
    // One faint red site: red sums to a few units against a bright green.
    Window window(64, 64);
    window.FillPlanes(0, 0, 255, 255);
    window.RawAt(21, 30) = 1;
    window.Load();
    EXPECT_EQ(Estimate(window, 0), (Gains{65535, 128, 128}));
}

class PipelineConvertFrame : public ::testing::Test {
protected:
    Window window{40, 12};
    ImagePipeline* p = window.pipeline();

    void SetUp() override {
        window.FillPlanes(2, 100, 60, 20);
        SetBayerPhase(p, 2);
        SetColourCorrection(p, 0);
    }
};

TEST_F(PipelineConvertFrame, EstimateBalancesItsOwnFrameAndStaysAfterSwitchingOff) {
    SetWhiteBalanceEnabled(p, 1);
    window.Convert();
    EXPECT_EQ(Settings(p), (Gains{76, 128, 384}));
    EXPECT_EQ(window.PixelAt(7, 3), (Pixel{60, 60, 59, 255}));  // 100 x 76 / 128 = 59
    SetWhiteBalanceEnabled(p, 0);
    window.FillPlanes(2, 50, 50, 50);
    window.Convert();
    EXPECT_EQ(Settings(p), (Gains{76, 128, 384}));
    EXPECT_EQ(window.PixelAt(0, 0), (Pixel{150, 50, 29, 255}));
}

TEST_F(PipelineConvertFrame, FrameWithoutAnEstimateKeepsItsGainsAndTheSettings) {
    SetRedGain(p, 200);
    SetGreenGain(p, 256);
    SetBlueGain(p, 300);
    SetWhiteBalanceEnabled(p, 1);
    window.FillPlanes(2, 0, 50, 40);  // no red anywhere
    window.Convert();
    EXPECT_EQ(Settings(p), (Gains{200, 256, 300}));
    EXPECT_EQ(window.PixelAt(3, 3), (Pixel{93, 100, 0, 255}));
}

TEST_F(PipelineConvertFrame, PhasesBeyondThreeActAsThree) {
    std::mt19937 random(11);
    window.FillRaw(random);
    SetBayerPhase(p, 3);
    window.Convert();
    const std::vector<uint8_t> phase3 = window.output();
    SetBayerPhase(p, 7);
    window.ClearOutput();
    window.Convert();
    EXPECT_EQ(window.output(), phase3);
}

TEST_F(PipelineConvertFrame, GreyOutputIgnoresTheMatrix) {
    std::mt19937 random(12);
    window.FillRaw(random);
    SetColourEnabled(p, 0);
    window.Convert();
    const std::vector<uint8_t> grey = window.output();
    SetHue(p, 120);
    SetBrightness(p, 400);
    window.Convert();
    EXPECT_EQ(window.output(), grey);
    SetColourEnabled(p, 1);
    window.Convert();
    EXPECT_NE(window.output(), grey);
}

// With white balance on, ConvertFrame stores what the references give when
// fed the reference estimate, in colour and in grey.
TEST(PipelineConvertFrameChain, BalancedFramesMatchTheReferences) {
    std::mt19937 random(13);
    for (ULONG width : {1u, 9u, 16u, 31u, 70u}) {
        Window window(width, 11);
        ImagePipeline* p = window.pipeline();
        SetWhiteBalanceEnabled(p, 1);
        for (LONG phase : kPhases) {
            window.FillRaw(random);
            SetBayerPhase(p, phase);
            SetColourEnabled(p, phase % 2);
            window.Convert();
            const std::vector<uint8_t> converted = window.output();

            Gains gains;
            window.Load();
            ASSERT_TRUE(EstimateWhiteBalanceReference(window.frame(), phase, &gains[0], &gains[1],
                                                      &gains[2]));
            EXPECT_EQ(Settings(p), gains);
            window.SetFrameParameters(gains[0], gains[1], gains[2], pipeline_test::FixedMatrix(p));
            window.ClearOutput();
            (phase % 2 ? DemosaicColourReference : DemosaicMonoReference)(window.frame(), phase);
            EXPECT_EQ(converted, window.output()) << width << ", phase " << phase;
        }
    }
}

}  // namespace
