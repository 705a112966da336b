// The SSE2 kernels store exactly the bytes of their scalar references: random
// raw frames, every width from 1 to 72 and a few large ones, odd and even
// heights, every Bayer phase and an out-of-range one, gains from 0 to far
// beyond 16 bits, and matrices from neutral to extreme on both accumulator paths.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "pipeline/kernels.h"
#include "tests/pipeline/pipeline_harness.h"

namespace {

using pipeline_test::Matrix;
using pipeline_test::Window;

const LONG kPhases[] = {0, 1, 2, 3, 7, -1};

const ULONG kGainChoices[] = {0,     1,     64,          127,        128,        129,       255,
                              256,   300,   1000,        32639,      32640,      32641,     40000,
                              65535, 65536, 65536 + 128, 0x12345678, 0x7FFFFFFF, 0xFFFFFFFF};

ULONG RandomGain(std::mt19937& random) {
    if (random() % 4 == 0) {
        return random();
    }
    return kGainChoices[random() % (sizeof(kGainChoices) / sizeof(kGainChoices[0]))];
}

LONG RandomEntry(std::mt19937& random, LONG limit) {
    return static_cast<LONG>(random() % (2 * static_cast<uint32_t>(limit) + 1)) - limit;
}

// Matrices whose accumulators stay within 16 bits: magnitudes up to 85 per
// entry and offsets up to 255.
Matrix NarrowMatrix(std::mt19937& random) {
    Matrix matrix{};
    for (int i = 0; i < 12; ++i) {
        matrix[i] = RandomEntry(random, 85);
    }
    for (int j = 0; j < 4; ++j) {
        matrix[12 + j] = RandomEntry(random, 255);
    }
    return matrix;
}

const LONG kExtremeEntries[] = {
    0,      1,     -1,     64,    -64,    257,   -257,   4096,       -4096,           32767,
    -32768, 65535, -65535, 65536, -65536, 70000, -70000, 0x7FFFFFFF, -0x7FFFFFFF - 1, 16320,
    -16320};

Matrix ExtremeMatrix(std::mt19937& random) {
    Matrix matrix{};
    for (auto& entry : matrix) {
        entry = random() % 3 == 0
                    ? kExtremeEntries[random() % (sizeof(kExtremeEntries) / sizeof(LONG))]
                    : static_cast<LONG>(random());
    }
    return matrix;
}

Matrix AllNegativeMatrix(std::mt19937& random) {
    Matrix matrix{};
    for (auto& entry : matrix) {
        entry = -1 - static_cast<LONG>(random() % 70000);
    }
    return matrix;
}

// The matrix of the property set's extremes: colour correction on, contrast
// and saturation 20, brightness 510 and a hue.
Matrix PropertySetMatrix(LONG hue) {
    auto pipeline = pipeline_test::MakePipeline();
    SetContrast(pipeline.get(), 20);
    SetSaturation(pipeline.get(), 20);
    SetBrightness(pipeline.get(), 510);
    SetHue(pipeline.get(), hue);
    return pipeline_test::FixedMatrix(pipeline.get());
}

enum class Kernel { kColour, kMono };

// Runs reference then SSE2 on the same window; returns whether both wrote
// the same bytes and nothing beyond the frame.
::testing::AssertionResult SameOutput(Window& window, Kernel kernel, LONG phase) {
    window.ClearOutput();
    if (kernel == Kernel::kColour) {
        DemosaicColourReference(window.pipeline(), phase);
    } else {
        DemosaicMonoReference(window.pipeline(), phase);
    }
    const std::vector<uint8_t> expected = window.output();
    window.ClearOutput();
    if (kernel == Kernel::kColour) {
        DemosaicColourSse2(window.pipeline(), phase);
    } else {
        DemosaicMonoSse2(window.pipeline(), phase);
    }
    if (!window.GuardIntact()) {
        return ::testing::AssertionFailure() << "wrote beyond width x height x 4";
    }
    for (size_t i = 0; i < expected.size(); ++i) {
        if (window.output()[i] != expected[i]) {
            const size_t pixel = i / 4;
            return ::testing::AssertionFailure()
                   << "byte " << i % 4 << " of pixel (" << pixel % window.width() << ", "
                   << pixel / window.width() << "): sse2 " << int(window.output()[i])
                   << ", reference " << int(expected[i]);
        }
    }
    return ::testing::AssertionSuccess();
}

void FillWithEdges(Window& window, std::mt19937& random) {
    for (auto& byte : window.raw()) {
        byte = (random() & 1) ? 255 : 0;
    }
}

TEST(PipelineKernelEquivalence, ColourMatchesReferenceForEveryWidthAndPhase) {
    std::mt19937 random(1);
    for (ULONG width = 1; width <= 72; ++width) {
        for (ULONG height : {3u, 10u, 11u}) {
            Window window(width, height);
            window.FillRaw(random);
            window.Load();
            for (LONG phase : kPhases) {
                const bool narrow = random() % 2 == 0;
                window.SetFrameParameters(RandomGain(random), RandomGain(random),
                                          RandomGain(random),
                                          narrow ? NarrowMatrix(random) : ExtremeMatrix(random));
                ASSERT_EQ(MatrixFitsSixteenBits(window.pipeline()), narrow);
                ASSERT_TRUE(SameOutput(window, Kernel::kColour, phase))
                    << width << " x " << height << ", phase " << phase;
            }
        }
    }
}

TEST(PipelineKernelEquivalence, MonoMatchesReferenceForEveryWidthAndPhase) {
    std::mt19937 random(2);
    for (ULONG width = 1; width <= 72; ++width) {
        for (ULONG height : {2u, 9u, 12u}) {
            Window window(width, height);
            window.FillRaw(random);
            window.Load();
            for (LONG phase : kPhases) {
                window.SetFrameParameters(RandomGain(random), RandomGain(random),
                                          RandomGain(random), ExtremeMatrix(random));
                ASSERT_TRUE(SameOutput(window, Kernel::kMono, phase))
                    << width << " x " << height << ", phase " << phase;
            }
        }
    }
}

TEST(PipelineKernelEquivalence, SharpEdgesClampTheSameWay) {
    std::mt19937 random(3);
    for (ULONG width : {5u, 16u, 17u, 40u, 67u}) {
        Window window(width, 13);
        FillWithEdges(window, random);
        window.Load();
        for (LONG phase : kPhases) {
            window.SetFrameParameters(128, 128, 128, pipeline_test::IdentityMatrix());
            ASSERT_TRUE(SameOutput(window, Kernel::kColour, phase)) << width << ", " << phase;
            ASSERT_TRUE(SameOutput(window, Kernel::kMono, phase)) << width << ", " << phase;
        }
    }
}

TEST(PipelineKernelEquivalence, AllNegativeAndPropertySetExtremesTakeTheExactPath) {
    std::mt19937 random(4);
    Window window(53, 10);
    window.FillRaw(random);
    window.Load();
    const Matrix matrices[] = {AllNegativeMatrix(random), PropertySetMatrix(0),
                               PropertySetMatrix(45), PropertySetMatrix(200)};
    for (const Matrix& matrix : matrices) {
        for (LONG phase : kPhases) {
            window.SetFrameParameters(RandomGain(random), 128, RandomGain(random), matrix);
            ASSERT_FALSE(MatrixFitsSixteenBits(window.pipeline()));
            ASSERT_TRUE(SameOutput(window, Kernel::kColour, phase)) << phase;
        }
    }
}

// Column magnitudes of one sign summing to `total`, split at random over the
// three inputs, with that column's offset of the same sign.
Matrix BoundaryMatrix(std::mt19937& random, LONG sign, LONG total, LONG offset) {
    Matrix matrix{};
    for (int column = 0; column < 3; ++column) {
        const LONG first = static_cast<LONG>(random() % (total + 1));
        const LONG second = static_cast<LONG>(random() % (total - first + 1));
        matrix[column] = sign * first;
        matrix[4 + column] = sign * second;
        matrix[8 + column] = sign * (total - first - second);
        matrix[12 + column] = sign * offset;
    }
    return matrix;
}

TEST(PipelineKernelEquivalence, SixteenBitPathRunsUpToTheLastExactMatrix) {
    std::mt19937 random(9);
    Window window(45, 10);
    window.FillRaw(random);
    window.Load();
    for (LONG sign : {1, -1}) {
        for (LONG total : {256, 257, 258}) {
            for (LONG offset : {0, 1, 255, 256}) {
                const Matrix matrix = BoundaryMatrix(random, sign, total, offset);
                // Gains of 65535 take every non-zero channel to 255.
                window.SetFrameParameters(65535, 65535, 65535, matrix);
                EXPECT_EQ(MatrixFitsSixteenBits(window.pipeline()), 255 * total + offset <= 65535)
                    << total << " + " << offset;
                ASSERT_TRUE(SameOutput(window, Kernel::kColour, random() % 4))
                    << total << " + " << offset;
            }
        }
    }
}

TEST(PipelineKernelEquivalence, DefaultMatrixTakesTheSixteenBitPath) {
    auto pipeline = pipeline_test::MakePipeline();
    const Matrix matrix = pipeline_test::FixedMatrix(pipeline.get());
    std::mt19937 random(5);
    Window window(37, 9);
    window.FillRaw(random);
    window.Load();
    window.SetFrameParameters(128, 128, 128, matrix);
    EXPECT_TRUE(MatrixFitsSixteenBits(window.pipeline()));
    EXPECT_TRUE(SameOutput(window, Kernel::kColour, 0));
}

TEST(PipelineKernelEquivalence, LargeWindowsMatch) {
    std::mt19937 random(6);
    for (ULONG width : {1096u, 2192u, 4384u, 1001u}) {
        Window window(width, 9);
        window.FillRaw(random);
        window.Load();
        window.SetFrameParameters(RandomGain(random), RandomGain(random), RandomGain(random),
                                  random() % 2 ? NarrowMatrix(random) : ExtremeMatrix(random));
        const LONG phase = kPhases[random() % 6];
        ASSERT_TRUE(SameOutput(window, Kernel::kColour, phase)) << width;
        ASSERT_TRUE(SameOutput(window, Kernel::kMono, phase)) << width;
    }
}

TEST(PipelineKernelEquivalence, WhiteBalanceEstimateMatchesReference) {
    std::mt19937 random(7);
    for (ULONG width = 1; width <= 72; ++width) {
        for (ULONG height : {1u, 8u, 11u}) {
            Window window(width, height);
            window.FillRaw(random);
            window.Load();
            for (LONG phase : kPhases) {
                LONG expected[3] = {-5, -5, -5};
                LONG actual[3] = {-5, -5, -5};
                const bool expectedFound = EstimateWhiteBalanceReference(
                    window.pipeline(), phase, &expected[0], &expected[1], &expected[2]);
                const bool actualFound = EstimateWhiteBalanceSse2(
                    window.pipeline(), phase, &actual[0], &actual[1], &actual[2]);
                ASSERT_EQ(actualFound, expectedFound) << width << " x " << height;
                for (int c = 0; c < 3; ++c) {
                    ASSERT_EQ(actual[c], expected[c])
                        << width << " x " << height << ", phase " << phase << ", channel " << c;
                }
            }
        }
    }
}

TEST(PipelineKernelEquivalence, FullSensorFrameMatches) {
    std::mt19937 random(8);
    Window window(4384, 3288);
    window.FillRaw(random);
    window.Load();
    auto defaults = pipeline_test::MakePipeline();
    window.SetFrameParameters(150, 128, 210, pipeline_test::FixedMatrix(defaults.get()));
    EXPECT_TRUE(SameOutput(window, Kernel::kColour, 1));
    LONG expected[3];
    LONG actual[3];
    ASSERT_TRUE(EstimateWhiteBalanceReference(window.pipeline(), 2, &expected[0], &expected[1],
                                              &expected[2]));
    ASSERT_TRUE(EstimateWhiteBalanceSse2(window.pipeline(), 2, &actual[0], &actual[1], &actual[2]));
    EXPECT_EQ(std::vector<LONG>(actual, actual + 3), std::vector<LONG>(expected, expected + 3));
}

}  // namespace
