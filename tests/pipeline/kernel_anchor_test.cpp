// The colour and grey kernels on frames whose result is known by hand:
// uniform frames, flat colour planes, sharp edges, gains at their edges,
// offset-only matrices, the separate rounding of the two accumulators and the
// grey ladder. Each case runs the reference and the SSE2 kernel.
#include <gtest/gtest.h>

#include <array>
#include <functional>

#include "pipeline/kernels.h"
#include "tests/pipeline/pipeline_harness.h"

namespace {

using pipeline_test::IdentityMatrix;
using pipeline_test::Matrix;
using pipeline_test::Window;
using Pixel = std::array<uint8_t, 4>;
using Kernel = void (*)(const ImagePipeline*, LONG);

const LONG kPhases[] = {0, 1, 2, 3, 7};

struct NamedKernel {
    const char* name;
    Kernel run;
};

const NamedKernel kColourKernels[] = {{"reference", DemosaicColourReference},
                                      {"sse2", DemosaicColourSse2}};
const NamedKernel kMonoKernels[] = {{"reference", DemosaicMonoReference},
                                    {"sse2", DemosaicMonoSse2}};

// Every pixel of the frame equals `expected`, and nothing beyond it is written.
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

// Runs each kernel of `kernels` on a uniform-valued window for every phase.
void ExpectUniform(const NamedKernel (&kernels)[2], uint8_t value, ULONG gain, const Matrix& matrix,
                   Pixel expected) {
    Window window(37, 12);
    window.FillPlanes(0, value, value, value);
    window.Load();
    window.SetFrameParameters(gain, gain, gain, matrix);
    for (const NamedKernel& kernel : kernels) {
        for (LONG phase : kPhases) {
            window.ClearOutput();
            kernel.run(window.pipeline(), phase);
            EXPECT_TRUE(EveryPixelIs(window, expected))
                << kernel.name << ", value " << int(value) << ", phase " << phase;
        }
    }
}

TEST(PipelineColourKernel, UniformFrameWithIdentityKeepsItsValue) {
    for (int value : {0, 1, 77, 128, 254, 255}) {
        const auto v = static_cast<uint8_t>(value);
        ExpectUniform(kColourKernels, v, 128, IdentityMatrix(), {v, v, v, 255});
    }
}

TEST(PipelineColourKernel, FlatColourPlanesInterpolateExactly) {
    Window window(45, 11);
    for (const NamedKernel& kernel : kColourKernels) {
        for (LONG phase : kPhases) {
            window.FillPlanes(phase, 100, 60, 20);
            window.Load();
            window.SetFrameParameters(128, 128, 128, IdentityMatrix());
            window.ClearOutput();
            kernel.run(window.pipeline(), phase);
            EXPECT_TRUE(EveryPixelIs(window, {20, 60, 100, 255})) << kernel.name << phase;

            Matrix matrix{};
            matrix[0] = 64;    // red to red
            matrix[4] = -32;   // green to red
            matrix[5] = 64;    // green to green
            matrix[10] = 64;   // blue to blue
            matrix[12] = 640;  // red offset, ten levels
            window.SetFrameParameters(128, 128, 128, matrix);
            window.ClearOutput();
            kernel.run(window.pipeline(), phase);
            EXPECT_TRUE(EveryPixelIs(window, {20, 60, 80, 255})) << kernel.name << phase;
        }
    }
}

// A window of green sites at `green` and red and blue sites at 0, with red
// sites changed by `paint`; phase 0 (G R / B G), identity, unit gains.
Window EdgeWindow(uint8_t green, const std::function<void(Window&)>& paint) {
    Window window(32, 12);
    window.FillPlanes(0, 0, green, 0);
    paint(window);
    window.Load();
    window.SetFrameParameters(128, 128, 128, IdentityMatrix());
    return window;
}

TEST(PipelineColourKernel, FilterOvershootIsLimitedTo255) {
    // At a lone bright red site among bright greens filter A sums to 3060,
    // 383 once scaled: stored as 255. Blue there is filter D, 12 x 255 / 16.
    Window window = EdgeWindow(255, [](Window& w) { w.RawAt(9, 4) = 255; });
    for (const NamedKernel& kernel : kColourKernels) {
        window.ClearOutput();
        kernel.run(window.pipeline(), 0);
        EXPECT_EQ(window.PixelAt(9, 4), (Pixel{191, 255, 255, 255})) << kernel.name;
    }
}

TEST(PipelineColourKernel, NegativeFilterSumsGiveZero) {
    // Two columns right of a lone bright red site in a dark frame, filter A
    // sums to -255.
    Window window = EdgeWindow(0, [](Window& w) { w.RawAt(9, 4) = 255; });
    for (const NamedKernel& kernel : kColourKernels) {
        window.ClearOutput();
        kernel.run(window.pipeline(), 0);
        EXPECT_EQ(window.PixelAt(11, 4)[1], 0) << kernel.name;
    }
}

TEST(PipelineColourKernel, GainsScaleBeforeTheMatrixUsingTheirLow16Bits) {
    ExpectUniform(kColourKernels, 100, 0, IdentityMatrix(), {0, 0, 0, 255});
    ExpectUniform(kColourKernels, 100, 256, IdentityMatrix(), {200, 200, 200, 255});
    ExpectUniform(kColourKernels, 200, 256, IdentityMatrix(), {255, 255, 255, 255});
    ExpectUniform(kColourKernels, 100, 65536, IdentityMatrix(), {0, 0, 0, 255});
    ExpectUniform(kColourKernels, 100, 65536 + 256, IdentityMatrix(), {200, 200, 200, 255});
    ExpectUniform(kColourKernels, 1, 32640, IdentityMatrix(), {255, 255, 255, 255});
    ExpectUniform(kColourKernels, 1, 32639, IdentityMatrix(), {254, 254, 254, 255});
}

TEST(PipelineColourKernel, OffsetOnlyMatricesGiveTheOffsetInLevels) {
    ExpectUniform(kColourKernels, 90, 128, Matrix{}, {0, 0, 0, 255});
    Matrix offsets{};
    offsets[12] = 64 * 300;  // red: beyond 255
    offsets[13] = -640;      // green: negative
    offsets[14] = 127;       // blue: rounds down to 1
    ExpectUniform(kColourKernels, 90, 128, offsets, {1, 0, 255, 255});
}

TEST(PipelineColourKernel, AccumulatorsAreRoundedSeparately) {
    Matrix matrix{};
    matrix[0] = 128;   // red to red: positive sum 128 for an input of 1
    matrix[4] = -127;  // green to red: negative sum 127
    ExpectUniform(kColourKernels, 1, 128, matrix, {0, 0, 1, 255});
}

TEST(PipelineColourKernel, ExactForTheLargestPropertySetMatrix) {
    // Brightness 510 with contrast 20 and colour correction: accumulators pass
    // 65535, and a white frame stays white.
    auto pipeline = pipeline_test::MakePipeline();
    SetBrightness(pipeline.get(), 510);
    SetContrast(pipeline.get(), 20);
    SetSaturation(pipeline.get(), 20);
    ExpectUniform(kColourKernels, 255, 128, pipeline_test::FixedMatrix(pipeline.get()),
                  {255, 255, 255, 255});
    ExpectUniform(kColourKernels, 0, 128, pipeline_test::FixedMatrix(pipeline.get()),
                  {255, 255, 255, 255});
}

TEST(PipelineMonoKernel, UniformFramesFollowTheGreyLadder) {
    const std::pair<int, int> ladder[] = {{0, 0},     {1, 0},     {2, 1},    {100, 99},
                                          {128, 127}, {254, 252}, {255, 253}};
    for (auto [value, grey] : ladder) {
        const auto y = static_cast<uint8_t>(grey);
        ExpectUniform(kMonoKernels, static_cast<uint8_t>(value), 128, IdentityMatrix(),
                      {y, y, y, 255});
    }
}

TEST(PipelineMonoKernel, FlatPlanesGiveTheirLumaWhateverTheMatrix) {
    Window window(29, 10);
    for (const NamedKernel& kernel : kMonoKernels) {
        for (LONG phase : kPhases) {
            window.FillPlanes(phase, 100, 60, 20);
            window.Load();
            Matrix scrambled{};
            scrambled[3] = -5;
            scrambled[12] = 99999;
            window.SetFrameParameters(128, 128, 128, scrambled);
            window.ClearOutput();
            kernel.run(window.pipeline(), phase);
            EXPECT_TRUE(EveryPixelIs(window, {67, 67, 67, 255})) << kernel.name << phase;
        }
    }
}

TEST(PipelineMonoKernel, GainsChangeGrey) {
    ExpectUniform(kMonoKernels, 100, 0, IdentityMatrix(), {0, 0, 0, 255});
    // 200 in every channel: 60 + 117 + 22.
    ExpectUniform(kMonoKernels, 100, 256, IdentityMatrix(), {199, 199, 199, 255});
}

}  // namespace
