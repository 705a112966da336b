// Automatic white balance: the estimate from a frame's own totals, its limits
// (a channel summing to 0, gains beyond 16 bits), and ConvertFrame applying
// it to the same frame and publishing it as the gain settings.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "pipeline/kernels.h"
#include "tests/pipeline/pipeline_harness.h"

namespace {

using pipeline_test::Window;

const LONG kPhases[] = {0, 1, 2, 3, 7};

struct Gains {
    LONG red;
    LONG green;
    LONG blue;
    bool operator==(const Gains& other) const {
        return red == other.red && green == other.green && blue == other.blue;
    }
};

std::ostream& operator<<(std::ostream& out, const Gains& gains) {
    return out << gains.red << ", " << gains.green << ", " << gains.blue;
}

using Estimator = bool (*)(const ImagePipeline*, LONG, LONG*, LONG*, LONG*);
const Estimator kEstimators[] = {EstimateWhiteBalanceReference, EstimateWhiteBalanceSse2};

// The estimate of both implementations, which must agree; -1s when there is none.
Gains Estimate(const Window& window, LONG phase) {
    Gains results[2];
    for (int i = 0; i < 2; ++i) {
        Gains gains = {-1, -1, -1};
        kEstimators[i](window.pipeline(), phase, &gains.red, &gains.green, &gains.blue);
        results[i] = gains;
    }
    EXPECT_EQ(results[0], results[1]) << "reference against sse2";
    return results[1];
}

TEST(PipelineWhiteBalance, UniformFrameNeedsNoCorrection) {
    Window window(40, 12);
    window.FillPlanes(0, 90, 90, 90);
    window.Load();
    for (LONG phase : kPhases) {
        EXPECT_EQ(Estimate(window, phase), (Gains{128, 128, 128})) << phase;
    }
}

TEST(PipelineWhiteBalance, FlatPlanesBringRedAndBlueToGreen) {
    for (ULONG width : {17u, 1096u}) {
        Window window(width, 10);
        for (LONG phase : kPhases) {
            window.FillPlanes(phase, 100, 60, 20);
            window.Load();
            EXPECT_EQ(Estimate(window, phase), (Gains{76, 128, 384})) << width << ", " << phase;
        }
    }
}

TEST(PipelineWhiteBalance, ColumnsBeyondTheWindowDoNotCount) {
    Window window(17, 10);
    window.FillPlanes(0, 100, 60, 20);
    window.Load();
    ImagePipeline* p = window.pipeline();
    // Padding past the border columns feeds only pixels that are never used.
    for (LONG y = -2; y < 12; ++y) {
        UCHAR* row = p->firstPixel + y * p->stride;
        for (LONG x = 19; x < p->stride - 5; ++x) {
            row[x] = 255;
        }
    }
    EXPECT_EQ(Estimate(window, 0), (Gains{76, 128, 384}));
}

TEST(PipelineWhiteBalance, AChannelSummingToZeroGivesNoEstimate) {
    Window window(24, 10);
    window.FillPlanes(0, 0, 0, 0);
    window.Load();
    EXPECT_EQ(Estimate(window, 0), (Gains{-1, -1, -1}));
    window.FillPlanes(0, 0, 80, 80);
    window.Load();
    EXPECT_EQ(Estimate(window, 0), (Gains{-1, -1, -1}));
}

TEST(PipelineWhiteBalance, GainsAreLimitedTo16Bits) {
    // A single faint red site: red sums to a few units against a bright green.
    Window window(64, 64);
    window.FillPlanes(0, 0, 255, 255);
    window.RawAt(21, 30) = 1;
    window.Load();
    EXPECT_EQ(Estimate(window, 0), (Gains{65535, 128, 128}));
}

class PipelineAutomaticWhiteBalance : public ::testing::Test {
protected:
    Window window{40, 12};
    ImagePipeline* p = window.pipeline();

    void SetUp() override {
        window.FillPlanes(2, 100, 60, 20);
        SetBayerPhase(p, 2);
        SetColourCorrection(p, 0);
    }

    Gains Settings() const {
        Gains gains;
        ReadGainSettings(p, &gains.red, &gains.green, &gains.blue);
        return gains;
    }
};

TEST_F(PipelineAutomaticWhiteBalance, EstimateBalancesTheFrameItCameFromAndBecomesTheSettings) {
    SetWhiteBalanceEnabled(p, 1);
    window.Convert();
    EXPECT_EQ(Settings(), (Gains{76, 128, 384}));
    // 100 x 76 / 128 = 59, 60, and 20 x 384 / 128 = 60.
    EXPECT_EQ(window.PixelAt(7, 3), (std::array<uint8_t, 4>{60, 60, 59, 255}));
}

TEST_F(PipelineAutomaticWhiteBalance, SwitchingOffKeepsTheLastEstimate) {
    SetWhiteBalanceEnabled(p, 1);
    window.Convert();
    SetWhiteBalanceEnabled(p, 0);
    window.FillPlanes(2, 50, 50, 50);
    window.Convert();
    EXPECT_EQ(Settings(), (Gains{76, 128, 384}));
    EXPECT_EQ(window.PixelAt(0, 0), (std::array<uint8_t, 4>{150, 50, 29, 255}));
}

TEST_F(PipelineAutomaticWhiteBalance, ManualGainsApplyWhileOff) {
    SetRedGain(p, 256);
    SetBlueGain(p, 64);
    window.Convert();
    EXPECT_EQ(Settings(), (Gains{256, 128, 64}));
    EXPECT_EQ(window.PixelAt(5, 5), (std::array<uint8_t, 4>{10, 60, 200, 255}));
}

TEST_F(PipelineAutomaticWhiteBalance, FrameWithoutAnEstimateKeepsItsGainsAndTheSettings) {
    SetRedGain(p, 200);
    SetGreenGain(p, 256);
    SetBlueGain(p, 300);
    SetWhiteBalanceEnabled(p, 1);
    window.FillPlanes(2, 0, 50, 40);  // no red anywhere
    window.Convert();
    EXPECT_EQ(Settings(), (Gains{200, 256, 300}));
    EXPECT_EQ(window.PixelAt(3, 3), (std::array<uint8_t, 4>{93, 100, 0, 255}));
}

TEST_F(PipelineAutomaticWhiteBalance, GreyOutputIsBalancedToo) {
    SetColourEnabled(p, 0);
    SetWhiteBalanceEnabled(p, 1);
    window.Convert();
    EXPECT_EQ(Settings(), (Gains{76, 128, 384}));
    // Balanced 59, 60, 60: 17 + 35 + 6.
    EXPECT_EQ(window.PixelAt(2, 2), (std::array<uint8_t, 4>{58, 58, 58, 255}));
}

// ConvertFrame with white balance on stores what the references give when
// fed the reference estimate.
TEST(PipelineConvertFrame, BalancedFramesMatchTheReferenceChain) {
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
            ASSERT_TRUE(
                EstimateWhiteBalanceReference(p, phase, &gains.red, &gains.green, &gains.blue));
            window.SetFrameParameters(gains.red, gains.green, gains.blue,
                                      pipeline_test::FixedMatrix(p));
            window.ClearOutput();
            (phase % 2 ? DemosaicColourReference : DemosaicMonoReference)(p, phase);
            EXPECT_EQ(converted, window.output()) << width << ", phase " << phase;
        }
    }
}

TEST(PipelineConvertFrame, PhasesBeyondThreeActAsThree) {
    std::mt19937 random(11);
    Window window(33, 10);
    window.FillRaw(random);
    SetBayerPhase(window.pipeline(), 3);
    window.Convert();
    const std::vector<uint8_t> phase3 = window.output();
    SetBayerPhase(window.pipeline(), 7);
    window.ClearOutput();
    window.Convert();
    EXPECT_EQ(window.output(), phase3);
}

TEST(PipelineConvertFrame, ColourSettingChoosesTheKernel) {
    std::mt19937 random(12);
    Window window(33, 10);
    window.FillRaw(random);
    SetColourEnabled(window.pipeline(), 0);
    window.Convert();
    for (ULONG y = 0; y < 10; ++y) {
        for (ULONG x = 0; x < 33; ++x) {
            const auto pixel = window.PixelAt(x, y);
            ASSERT_EQ(pixel[0], pixel[1]);
            ASSERT_EQ(pixel[1], pixel[2]);
            ASSERT_EQ(pixel[3], 255);
        }
    }
    const std::vector<uint8_t> grey = window.output();
    SetHue(window.pipeline(), 120);
    SetBrightness(window.pipeline(), 400);
    window.Convert();
    EXPECT_EQ(window.output(), grey);
    SetColourEnabled(window.pipeline(), 1);
    window.Convert();
    EXPECT_NE(window.output(), grey);
}

TEST(PipelineConvertFrame, MatrixSnapshotCarriesTheSigns) {
    Window window(20, 10);
    window.FillPlanes(0, 10, 10, 10);
    window.Convert();
    const ImagePipeline* p = window.pipeline();
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(p->frameMatrix[i], p->fixedMatrix[i]);
        EXPECT_EQ(p->matrixPositive[i], p->fixedMatrix[i] > 0 ? 1 : 0);
    }
    EXPECT_EQ(p->output, window.outputData());
}

}  // namespace
