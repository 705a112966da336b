// The vector kernels of every level the processor has (SSE2, AVX2, AVX-512;
// a level it lacks is skipped) store exactly the bytes of their scalar
// references: random
// raw frames, every width from 1 to 72 and a few large ones, heights from 1
// (windows narrower than a vector in both directions) to odd and even ones
// above it, every Bayer phase and out-of-range ones, gains from 0 to far
// beyond 16 bits, and matrices from neutral to extreme on both accumulator
// paths.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "pipeline/kernel_parts.h"
#include "pipeline/kernel_set.h"
#include "tests/pipeline/pipeline_harness.h"

namespace {

using pipeline_test::Matrix;
using pipeline_test::Window;
using Kernel = void (*)(const KernelFrame*, LONG);

const LONG kPhases[] = {0, 1, 2, 3, 7, -1};

// The kernel set under test, and its colour kernel as a Kernel, keeping the
// accumulator path it ran.
const KernelSet* kernels = nullptr;
AccumulatorPath lastPath;
void ColourVector(const KernelFrame* frame, LONG bayerPhase) {
    lastPath = kernels->colour(frame, bayerPhase);
}
void MonoVector(const KernelFrame* frame, LONG bayerPhase) {
    kernels->mono(frame, bayerPhase);
}

class PipelineKernelEquivalence : public ::testing::TestWithParam<LONG> {
protected:
    void SetUp() override {
        if (SupportedSimdLevel() < GetParam()) {
            GTEST_SKIP() << "the processor lacks level " << GetParam();
        }
        kernels = &KernelsFor(GetParam());
    }
};

std::string LevelName(const ::testing::TestParamInfo<LONG>& info) {
    const char* names[] = {"Sse2", "Avx2", "Avx512"};
    return names[info.param - SimdLevelSse2];
}

INSTANTIATE_TEST_SUITE_P(EveryLevel, PipelineKernelEquivalence,
                         ::testing::Values(SimdLevelSse2, SimdLevelAvx2, SimdLevelAvx512),
                         LevelName);

AccumulatorPath PathFor(bool narrow) {
    return narrow ? AccumulatorPath::SixteenBit : AccumulatorPath::Exact;
}

ULONG RandomGain(std::mt19937& random) {
    const ULONG choices[] = {0,     1,     128,   255,   256,         300,        32639,
                             32640, 32641, 65535, 65536, 65536 + 128, 0xFFFFFFFF, 0x12345678};
    return random() % 4 == 0 ? random() : choices[random() % (sizeof(choices) / sizeof(ULONG))];
}

LONG RandomEntry(std::mt19937& random, LONG limit) {
    return static_cast<LONG>(random() % (2 * static_cast<uint32_t>(limit) + 1)) - limit;
}

// Accumulators within 16 bits: magnitudes up to 85 per entry, offsets up to
// 255. With `usualSigns`, a colour correction's signs: no entry on the
// diagonal negative and none off it positive.
Matrix NarrowMatrix(std::mt19937& random, bool usualSigns) {
    Matrix matrix{};
    for (int i = 0; i < 16; ++i) {
        matrix[i] = RandomEntry(random, i < 12 ? 85 : 255);
        if (usualSigns && i < 12 && i % 4 != 3) {
            const bool diagonal = i % 4 == i / 4;
            matrix[i] = diagonal == (matrix[i] > 0) ? matrix[i] : -matrix[i];
        }
    }
    return matrix;
}

Matrix ExtremeMatrix(std::mt19937& random) {
    const LONG extremes[] = {0,     1,      -1,    257,    -257,       32767,          -32768,
                             65535, -65535, 65536, -70000, 0x7FFFFFFF, -0x7FFFFFFF - 1};
    Matrix matrix{};
    for (auto& entry : matrix) {
        entry = random() % 3 == 0 ? extremes[random() % (sizeof(extremes) / sizeof(LONG))]
                                  : static_cast<LONG>(random());
    }
    return matrix;
}

// Runs `reference` then `vector` on the window; both must write the same bytes
// and nothing beyond the frame.
::testing::AssertionResult SameOutput(Window& window, Kernel reference, Kernel vector, LONG phase) {
    window.ClearOutput();
    reference(window.frame(), phase);
    const std::vector<uint8_t> expected = window.output();
    window.ClearOutput();
    vector(window.frame(), phase);
    if (!window.GuardIntact()) {
        return ::testing::AssertionFailure() << "wrote beyond width x height x 4";
    }
    for (size_t i = 0; i < expected.size(); ++i) {
        if (window.output()[i] != expected[i]) {
            const size_t pixel = i / 4;
            return ::testing::AssertionFailure()
                   << "byte " << i % 4 << " of pixel (" << pixel % window.width() << ", "
                   << pixel / window.width() << "): " << int(window.output()[i]) << ", not "
                   << int(expected[i]);
        }
    }
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult SameEstimate(Window& window, LONG phase) {
    LONG expected[3] = {-5, -5, -5};
    LONG actual[3] = {-5, -5, -5};
    const bool found = EstimateWhiteBalanceReference(window.frame(), phase, &expected[0],
                                                     &expected[1], &expected[2]);
    ChannelTotals totals;
    kernels->sumChannels(window.frame(), phase, &totals);
    if (GainsFromTotals(totals, &actual[0], &actual[1], &actual[2]) != found ||
        std::vector<LONG>(actual, actual + 3) != std::vector<LONG>(expected, expected + 3)) {
        return ::testing::AssertionFailure() << "estimates differ";
    }
    return ::testing::AssertionSuccess();
}

TEST_P(PipelineKernelEquivalence, EveryKernelMatchesItsReference) {
    std::mt19937 random(1);
    std::vector<ULONG> widths = {1001, 2192, 4384};
    for (ULONG width = 1; width <= 72; ++width) {
        widths.push_back(width);
    }
    for (ULONG width : widths) {
        for (ULONG height : {1u, 2u, 3u, 7u, 10u, 11u}) {
            Window window(width, height);
            window.FillRaw(random);
            window.Load();
            for (LONG phase : kPhases) {
                const int kind = random() % 3;
                const bool narrow = kind != 0;
                window.SetFrameParameters(
                    RandomGain(random), RandomGain(random), RandomGain(random),
                    narrow ? NarrowMatrix(random, kind == 2) : ExtremeMatrix(random));
                ASSERT_TRUE(SameOutput(window, DemosaicColourReference, ColourVector, phase))
                    << "colour, " << width << " x " << height << ", phase " << phase;
                ASSERT_EQ(lastPath, PathFor(narrow));
                ASSERT_TRUE(SameOutput(window, DemosaicMonoReference, MonoVector, phase))
                    << "grey, " << width << " x " << height << ", phase " << phase;
                ASSERT_TRUE(SameEstimate(window, phase)) << width << " x " << height;
            }
        }
    }
}

// Streaming stores write the same bytes as the reference, into 64-byte
// aligned rows (widths in whole 16-pixel blocks), as ConvertFrame streams
// a large output.
TEST_P(PipelineKernelEquivalence, StreamedOutputIsTheReferencesBytes) {
    std::mt19937 random(12);
    for (ULONG width : {16u, 48u, 64u, 80u, 144u, 1008u}) {
        for (ULONG height : {1u, 3u, 10u}) {
            Window window(width, height);
            window.FillRaw(random);
            window.Load();
            const size_t bytes = size_t{width} * height * 4;
            pipeline_test::AlignedOutput output(bytes);
            UCHAR* aligned = output.data();
            for (LONG phase : kPhases) {
                const int kind = random() % 3;
                window.SetFrameParameters(
                    RandomGain(random), RandomGain(random), RandomGain(random),
                    kind != 0 ? NarrowMatrix(random, kind == 2) : ExtremeMatrix(random));
                KernelFrame streamed = *window.frame();
                streamed.output = aligned;
                streamed.streamOutput = 1;
                const std::pair<Kernel, Kernel> pairs[] = {{DemosaicColourReference, ColourVector},
                                                           {DemosaicMonoReference, MonoVector}};
                for (const auto& [reference, vector] : pairs) {
                    reference(window.frame(), phase);
                    vector(&streamed, phase);
                    ASSERT_EQ(std::memcmp(aligned, window.output().data(), bytes), 0)
                        << width << " x " << height << ", phase " << phase;
                }
            }
        }
    }
}

TEST_P(PipelineKernelEquivalence, SharpEdgesClampTheSameWay) {
    std::mt19937 random(3);
    Window window(67, 13);
    for (auto& byte : window.raw()) {
        byte = (random() & 1) ? 255 : 0;
    }
    window.Load();
    window.SetFrameParameters(128, 128, 128, pipeline_test::IdentityMatrix());
    for (LONG phase : kPhases) {
        ASSERT_TRUE(SameOutput(window, DemosaicColourReference, ColourVector, phase));
        ASSERT_TRUE(SameOutput(window, DemosaicMonoReference, MonoVector, phase));
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

// A colour correction's signs with both accumulators of each column at
// `total`: the diagonal entry alone on the positive side, the other two
// split at random on the negative side; the offset adds to the side `sign`
// names.
Matrix UsualSignsBoundaryMatrix(std::mt19937& random, LONG sign, LONG total, LONG offset) {
    Matrix matrix{};
    for (int column = 0; column < 3; ++column) {
        const LONG first = static_cast<LONG>(random() % (total + 1));
        matrix[4 * column + column] = total;
        matrix[4 * ((column + 1) % 3) + column] = -first;
        matrix[4 * ((column + 2) % 3) + column] = first - total;
        matrix[12 + column] = sign * offset;
    }
    return matrix;
}

TEST_P(PipelineKernelEquivalence, SixteenBitPathRunsUpToTheLastExactMatrix) {
    std::mt19937 random(9);
    Window window(45, 10);
    window.FillRaw(random);
    window.Load();
    for (auto* matrixFor : {BoundaryMatrix, UsualSignsBoundaryMatrix}) {
        for (LONG sign : {1, -1}) {
            for (LONG total : {256, 257, 258}) {
                for (LONG offset : {0, 1, 255, 256}) {
                    // Gains of 65535 take every non-zero channel to 255.
                    window.SetFrameParameters(65535, 65535, 65535,
                                              matrixFor(random, sign, total, offset));
                    ASSERT_TRUE(
                        SameOutput(window, DemosaicColourReference, ColourVector, random() % 4))
                        << total << " + " << offset;
                    EXPECT_EQ(lastPath, PathFor(255 * total + offset <= 65535));
                    EXPECT_EQ(SplitMatrix(window.frame()).usualSigns,
                              matrixFor == UsualSignsBoundaryMatrix);
                }
            }
        }
    }
}

// The property set's extremes (colour correction on, contrast and saturation
// 20, brightness 510) and all-negative matrices need the exact path; the
// defaults do not, and have the usual signs.
TEST_P(PipelineKernelEquivalence, PathChoiceFollowsTheMatrix) {
    std::mt19937 random(4);
    Window window(53, 10);
    window.FillRaw(random);
    window.Load();
    std::vector<Matrix> exact;
    for (LONG hue : {0, 45, 200}) {
        auto pipeline = pipeline_test::MakePipeline();
        SetContrast(pipeline.get(), 20);
        SetSaturation(pipeline.get(), 20);
        SetBrightness(pipeline.get(), 510);
        SetHue(pipeline.get(), hue);
        exact.push_back(pipeline_test::FixedMatrix(pipeline.get()));
    }
    Matrix allNegative;
    for (auto& entry : allNegative) {
        entry = -1 - static_cast<LONG>(random() % 70000);
    }
    exact.push_back(allNegative);
    for (const Matrix& matrix : exact) {
        window.SetFrameParameters(RandomGain(random), 128, RandomGain(random), matrix);
        ASSERT_TRUE(SameOutput(window, DemosaicColourReference, ColourVector, 2));
        EXPECT_EQ(lastPath, AccumulatorPath::Exact);
    }
    auto defaults = pipeline_test::MakePipeline();
    window.SetFrameParameters(128, 128, 128, pipeline_test::FixedMatrix(defaults.get()));
    ASSERT_TRUE(SameOutput(window, DemosaicColourReference, ColourVector, 0));
    EXPECT_EQ(lastPath, AccumulatorPath::SixteenBit);
    EXPECT_TRUE(SplitMatrix(window.frame()).usualSigns);
}

TEST_P(PipelineKernelEquivalence, FullSensorFrameMatches) {
    std::mt19937 random(8);
    Window window(4384, 3288);
    window.FillRaw(random);
    window.Load();
    auto defaults = pipeline_test::MakePipeline();
    window.SetFrameParameters(150, 128, 210, pipeline_test::FixedMatrix(defaults.get()));
    EXPECT_TRUE(SameOutput(window, DemosaicColourReference, ColourVector, 1));
    EXPECT_TRUE(SameEstimate(window, 2));
}

}  // namespace
