// The colour and grey kernels on frames whose result is known by hand:
// uniform frames under gains and matrices, flat colour planes, sharp edges,
// the separate rounding of the two accumulators and the grey ladder. Each
// case runs the reference and the SSE2 kernel.
#include <gtest/gtest.h>

#include <array>

#include "pipeline/kernels.h"
#include "tests/pipeline/pipeline_harness.h"

namespace {

using pipeline_test::IdentityMatrix;
using pipeline_test::Matrix;
using pipeline_test::Window;
using Pixel = std::array<uint8_t, 4>;
using Kernel = void (*)(const KernelFrame*, LONG);

const LONG kPhases[] = {0, 1, 2, 3, 7};
void ColourSse2(const KernelFrame* frame, LONG bayerPhase) {
    DemosaicColourSse2(frame, bayerPhase);
}

const Kernel kColour[] = {DemosaicColourReference, ColourSse2};
const Kernel kMono[] = {DemosaicMonoReference, DemosaicMonoSse2};

::testing::AssertionResult EveryPixelIs(const Window& window, Pixel expected) {
    if (!window.GuardIntact()) {
        return ::testing::AssertionFailure() << "wrote beyond the frame";
    }
    for (ULONG y = 0; y < window.height(); ++y) {
        for (ULONG x = 0; x < window.width(); ++x) {
            const Pixel actual = window.PixelAt(x, y);
            if (actual != expected) {
                return ::testing::AssertionFailure()
                       << "pixel (" << x << ", " << y << ") is " << int(actual[0]) << ", "
                       << int(actual[1]) << ", " << int(actual[2]) << ", " << int(actual[3]);
            }
        }
    }
    return ::testing::AssertionSuccess();
}

// A window of red, green and blue planes, converted by both implementations
// of `kernels` in every phase, must give `expected` everywhere.
void ExpectPlanes(const Kernel (&kernels)[2], Pixel planes, ULONG gain, const Matrix& matrix,
                  Pixel expected) {
    Window window(37, 12);
    for (Kernel kernel : kernels) {
        for (LONG phase : kPhases) {
            window.FillPlanes(phase, planes[2], planes[1], planes[0]);
            window.Load();
            window.SetFrameParameters(gain, gain, gain, matrix);
            window.ClearOutput();
            kernel(window.frame(), phase);
            EXPECT_TRUE(EveryPixelIs(window, expected))
                << "planes " << int(planes[2]) << ", " << int(planes[1]) << ", " << int(planes[0])
                << ", gain " << gain << ", phase " << phase;
        }
    }
}

Pixel Uniform(int value) {
    const auto v = static_cast<uint8_t>(value);
    return {v, v, v, 255};
}

TEST(PipelineColourKernel, UniformFramesUnderGainsAndMatrices) {
    for (int value : {0, 1, 77, 254, 255}) {
        ExpectPlanes(kColour, Uniform(value), 128, IdentityMatrix(), Uniform(value));
    }
    // The low 16 bits of the gain, 128 = 1.0, limited to 255 before the matrix.
    ExpectPlanes(kColour, Uniform(100), 0, IdentityMatrix(), Uniform(0));
    ExpectPlanes(kColour, Uniform(100), 256, IdentityMatrix(), Uniform(200));
    ExpectPlanes(kColour, Uniform(200), 256, IdentityMatrix(), Uniform(255));
    ExpectPlanes(kColour, Uniform(100), 65536, IdentityMatrix(), Uniform(0));
    ExpectPlanes(kColour, Uniform(100), 65536 + 256, IdentityMatrix(), Uniform(200));
    ExpectPlanes(kColour, Uniform(1), 32639, IdentityMatrix(), Uniform(254));
    ExpectPlanes(kColour, Uniform(1), 32640, IdentityMatrix(), Uniform(255));
    // Offsets alone: in levels, rounded down, limited to 0..255.
    Matrix offsets{};
    ExpectPlanes(kColour, Uniform(90), 128, offsets, Uniform(0));
    offsets[12] = 64 * 300;
    offsets[13] = -640;
    offsets[14] = 127;
    ExpectPlanes(kColour, Uniform(90), 128, offsets, {1, 0, 255, 255});
}

TEST(PipelineColourKernel, AccumulatorsAreRoundedSeparately) {
    Matrix matrix{};
    matrix[0] = 128;   // red to red: a positive sum of 128 for an input of 1
    matrix[4] = -127;  // green to red: a negative sum of 127
    ExpectPlanes(kColour, Uniform(1), 128, matrix, {0, 0, 1, 255});
}

TEST(PipelineColourKernel, FlatColourPlanesInterpolateExactly) {
    ExpectPlanes(kColour, {20, 60, 100, 255}, 128, IdentityMatrix(), {20, 60, 100, 255});
    Matrix matrix{};
    matrix[0] = 64;    // red to red
    matrix[4] = -32;   // green to red
    matrix[5] = 64;    // green to green
    matrix[10] = 64;   // blue to blue
    matrix[12] = 640;  // ten levels on red
    ExpectPlanes(kColour, {20, 60, 100, 255}, 128, matrix, {20, 60, 80, 255});
}

TEST(PipelineColourKernel, WhiteStaysWhiteUnderTheLargestPropertySetMatrix) {
    auto pipeline = pipeline_test::MakePipeline();
    SetBrightness(pipeline.get(), 510);
    SetContrast(pipeline.get(), 20);
    SetSaturation(pipeline.get(), 20);
    ExpectPlanes(kColour, Uniform(255), 128, pipeline_test::FixedMatrix(pipeline.get()),
                 Uniform(255));
}

TEST(PipelineColourKernel, FilterSumsAreLimitedToZeroAnd255) {
    // Phase 0 (G R / B G); a lone bright red site at (9, 4).
    for (Kernel kernel : kColour) {
        for (uint8_t green : {uint8_t{0}, uint8_t{255}}) {
            Window window(32, 12);
            window.FillPlanes(0, 0, green, 0);
            window.RawAt(9, 4) = 255;
            window.Load();
            window.SetFrameParameters(128, 128, 128, IdentityMatrix());
            kernel(window.frame(), 0);
            if (green == 255) {
                // Filter A sums to 3060 there, 383 once scaled; blue is 12 x 255 / 16.
                EXPECT_EQ(window.PixelAt(9, 4), (Pixel{191, 255, 255, 255}));
            } else {
                // Two columns to the right filter A sums to -255.
                EXPECT_EQ(window.PixelAt(11, 4)[1], 0);
            }
        }
    }
}

TEST(PipelineMonoKernel, UniformFramesFollowTheGreyLadder) {
    const std::pair<int, int> ladder[] = {{0, 0},     {1, 0},     {2, 1},    {100, 99},
                                          {128, 127}, {254, 252}, {255, 253}};
    for (auto [value, grey] : ladder) {
        ExpectPlanes(kMono, Uniform(value), 128, IdentityMatrix(), Uniform(grey));
    }
    ExpectPlanes(kMono, Uniform(100), 0, IdentityMatrix(), Uniform(0));
    ExpectPlanes(kMono, Uniform(100), 256, IdentityMatrix(), Uniform(199));  // 60 + 117 + 22
}

TEST(PipelineMonoKernel, FlatPlanesGiveTheirLumaWhateverTheMatrix) {
    Matrix scrambled{};
    scrambled[3] = -5;
    scrambled[12] = 99999;
    ExpectPlanes(kMono, {20, 60, 100, 255}, 128, scrambled, Uniform(67));  // 30 + 35 + 2
}

}  // namespace
