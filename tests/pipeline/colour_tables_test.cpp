// The combined colour matrix: fixed-point anchors for each adjustment, the
// setters' change-only-on-difference rule, the hue rotation's invariants and
// the driver's own sine and cosine against the C library's.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "pipeline/colour_tables.h"
#include "pipeline/single_precision_maths.h"
#include "tests/pipeline/pipeline_harness.h"

namespace {

using pipeline_test::FixedMatrix;
using pipeline_test::MakePipeline;
using pipeline_test::Matrix;

const SinglePrecisionMaths kLibraryMaths = {[](float x) { return std::sin(x); },
                                            [](float x) { return std::cos(x); },
                                            [](float x) { return std::sqrt(x); }};

Matrix Rows(std::initializer_list<LONG> entries) {
    Matrix matrix{};
    std::copy(entries.begin(), entries.end(), matrix.begin());
    return matrix;
}

Matrix ScaledIdentity() {
    return Rows({64, 0, 0, 0, 0, 64, 0, 0, 0, 0, 64, 0, 0, 0, 0, 64});
}

class PipelineTables : public ::testing::Test {
protected:
    pipeline_test::PipelinePtr pipeline = MakePipeline();
    ImagePipeline* p = pipeline.get();
};

TEST_F(PipelineTables, DefaultSettingsGiveTheColourCorrectionRows) {
    EXPECT_EQ(FixedMatrix(p), Rows({87, -16, -6, 0, -14, 90, -20, 0, -9, -10, 91, 0, 0, 0, 0, 64}));
}

TEST_F(PipelineTables, DefaultsMatchTheDocumentedSettings) {
    EXPECT_EQ(p->bayerPhase, 0);
    EXPECT_EQ(p->colourEnabled, 1);
    EXPECT_EQ(p->whiteBalanceEnabled, 0);
    EXPECT_EQ(p->redGainSetting, 128);
    EXPECT_EQ(p->greenGainSetting, 128);
    EXPECT_EQ(p->blueGainSetting, 128);
    EXPECT_EQ(p->colourCorrection, 1);
    EXPECT_EQ(p->brightness, 255);
    EXPECT_EQ(p->contrast, 10);
    EXPECT_EQ(p->saturation, 10);
    EXPECT_EQ(p->hue, 0);
    EXPECT_EQ(p->outputBuffer, nullptr);
    EXPECT_EQ(p->workBuffer, nullptr);
}

TEST_F(PipelineTables, ColourCorrectionOffIsTheIdentity) {
    SetColourCorrection(p, 0);
    EXPECT_EQ(FixedMatrix(p), ScaledIdentity());
}

TEST_F(PipelineTables, BrightnessOffsetsEveryChannel) {
    SetColourCorrection(p, 0);
    SetBrightness(p, 510);
    EXPECT_EQ(FixedMatrix(p),
              Rows({64, 0, 0, 0, 0, 64, 0, 0, 0, 0, 64, 0, 16320, 16320, 16320, 64}));
    SetBrightness(p, 0);
    EXPECT_EQ(FixedMatrix(p),
              Rows({64, 0, 0, 0, 0, 64, 0, 0, 0, 0, 64, 0, -16320, -16320, -16320, 64}));
}

TEST_F(PipelineTables, ContrastPivotsAboutLevel128) {
    SetColourCorrection(p, 0);
    SetContrast(p, 0);
    EXPECT_EQ(FixedMatrix(p), Rows({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 8192, 8192, 8192, 64}));
    SetContrast(p, 20);
    EXPECT_EQ(FixedMatrix(p),
              Rows({128, 0, 0, 0, 0, 128, 0, 0, 0, 0, 128, 0, -8192, -8192, -8192, 64}));
}

TEST_F(PipelineTables, SaturationMixesTowardsLuminance) {
    SetColourCorrection(p, 0);
    SetSaturation(p, 0);
    EXPECT_EQ(FixedMatrix(p), Rows({20, 20, 20, 0, 39, 39, 39, 0, 5, 5, 5, 0, 0, 0, 0, 64}));
    SetSaturation(p, 20);
    EXPECT_EQ(FixedMatrix(p),
              Rows({108, -20, -20, 0, -39, 89, -39, 0, -5, -5, 123, 0, 0, 0, 0, 64}));
}

TEST_F(PipelineTables, BrightnessIsScaledByContrastThenColourCorrected) {
    SetBrightness(p, 300);
    SetContrast(p, 15);
    EXPECT_EQ(FixedMatrix(p),
              Rows({131, -24, -10, 0, -21, 134, -31, 0, -13, -14, 136, 0, 224, 224, 224, 64}));
}

TEST_F(PipelineTables, HueRotationAnchors) {
    SetColourCorrection(p, 0);
    SetHue(p, 90);
    EXPECT_EQ(FixedMatrix(p), Rows({0, 37, -37, 0, 10, 47, 84, 0, 53, -21, 16, 0, 0, 0, 0, 64}));
    SetHue(p, 0);
    EXPECT_EQ(FixedMatrix(p), ScaledIdentity());
}

TEST_F(PipelineTables, SettingsAboveTheirBoundActAsTheBound) {
    SetBrightness(p, 510);
    SetContrast(p, 20);
    SetSaturation(p, 20);
    const Matrix atBounds = FixedMatrix(p);
    SetBrightness(p, 100000);
    SetContrast(p, 25);
    SetSaturation(p, 0x7FFFFFFF);
    EXPECT_EQ(FixedMatrix(p), atBounds);
}

TEST_F(PipelineTables, SettingsFarOutOfRangeSaturateTheFixedMatrix) {
    SetColourCorrection(p, 0);
    SetBrightness(p, -0x7FFFFFFF - 1);
    EXPECT_EQ(p->fixedMatrix[12], -0x7FFFFFFF - 1);
    EXPECT_EQ(p->fixedMatrix[0], 64);
}

TEST_F(PipelineTables, HueKeepsGreyAndLuminance) {
    const double weights[3] = {0.3086f, 0.6094f, 0.0820f};
    for (LONG hue = 0; hue < 360; hue += 7) {
        SetHue(p, hue);
        for (int i = 0; i < 3; ++i) {
            double column = 0.0;
            double weighted = 0.0;
            for (int j = 0; j < 3; ++j) {
                column += p->hueMatrix[4 * j + i];
                weighted += p->hueMatrix[4 * i + j] * weights[j];
            }
            EXPECT_NEAR(column, 1.0, 1e-6) << "hue " << hue << " column " << i;
            EXPECT_NEAR(weighted, weights[i], 1e-6) << "hue " << hue << " row " << i;
        }
    }
}

TEST_F(PipelineTables, SettingTheCurrentValueDoesNotRebuild) {
    SetBrightness(p, 300);
    p->fixedMatrix[15] = 12345;  // a marker only a rebuild overwrites
    SetBrightness(p, 300);
    EXPECT_EQ(p->fixedMatrix[15], 12345);
    SetBrightness(p, 301);
    EXPECT_EQ(p->fixedMatrix[15], 64);
    EXPECT_EQ(p->brightness, 301);
}

TEST_F(PipelineTables, EveryTableSetterComparesFirst) {
    void (*const setters[])(ImagePipeline*, LONG) = {SetColourCorrection, SetBrightness,
                                                     SetContrast, SetSaturation, SetHue};
    const LONG defaults[] = {1, 255, 10, 10, 0};
    for (int i = 0; i < 5; ++i) {
        p->fixedMatrix[15] = 12345;
        setters[i](p, defaults[i]);
        EXPECT_EQ(p->fixedMatrix[15], 12345) << "setter " << i;
        setters[i](p, defaults[i] + 1);
        EXPECT_EQ(p->fixedMatrix[15], 64) << "setter " << i;
    }
}

TEST_F(PipelineTables, BuildersRebuildWithoutComparing) {
    p->fixedMatrix[15] = 12345;
    BuildBrightnessMatrix(p, 255);
    EXPECT_EQ(p->fixedMatrix[15], 64);
    BuildColourMatrix(p, 0);
    EXPECT_EQ(FixedMatrix(p), ScaledIdentity());
}

TEST_F(PipelineTables, MatrixMultiplyMayWriteIntoAnOperand) {
    double a[16];
    double b[16];
    double expected[16];
    for (int i = 0; i < 16; ++i) {
        a[i] = i + 1;
        b[i] = 16 - i;
    }
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            expected[4 * i + j] = 0.0;
            for (int k = 0; k < 4; ++k) {
                expected[4 * i + j] += b[4 * i + k] * a[4 * k + j];
            }
        }
    }
    MatrixMultiply(a, b, a);
    EXPECT_EQ(std::memcmp(a, expected, sizeof(a)), 0);
}

// Distance in units in the last place between two floats of the same sign
// region, through their ordered integer images.
int64_t UlpDistance(float a, float b) {
    auto ordered = [](float value) {
        int32_t bits;
        std::memcpy(&bits, &value, sizeof(bits));
        return bits < 0 ? static_cast<int64_t>(INT32_MIN) - bits : static_cast<int64_t>(bits);
    };
    return std::llabs(ordered(a) - ordered(b));
}

TEST(PipelineMaths, SineAndCosineWithinOneUlpOfTheLibraryOverTheHueRange) {
    for (int degrees = 0; degrees < 360; ++degrees) {
        const float angle = static_cast<float>(degrees) * 3.1415927f / 180.0f;
        EXPECT_LE(UlpDistance(SineFloat(angle), std::sin(angle)), 1) << degrees;
        EXPECT_LE(UlpDistance(CosineFloat(angle), std::cos(angle)), 1) << degrees;
    }
    const float end = 6.5f;
    for (float angle = -end; angle <= end; angle = std::nextafter(angle, 10.0f) + 1e-5f) {
        ASSERT_LE(UlpDistance(SineFloat(angle), std::sin(angle)), 1) << angle;
        ASSERT_LE(UlpDistance(CosineFloat(angle), std::cos(angle)), 1) << angle;
    }
}

TEST(PipelineMaths, SquareRootIsCorrectlyRounded) {
    for (float value : {2.0f, 3.0f, 0.5f, 1e-20f, 12345.678f}) {
        EXPECT_EQ(SquareRootFloat(value), std::sqrt(value));
    }
}

TEST(PipelineMaths, HueMatrixIsTheSameWithTheLibraryFunctions) {
    auto own = MakePipeline();
    auto library = MakePipeline();
    for (LONG correction = 0; correction <= 1; ++correction) {
        SetColourCorrection(own.get(), correction);
        SetColourCorrection(library.get(), correction);
        for (LONG hue = 0; hue < 360; ++hue) {
            SetHue(own.get(), hue);
            BuildHueMatrix(library.get(), hue, kLibraryMaths);
            ASSERT_EQ(FixedMatrix(own.get()), FixedMatrix(library.get()))
                << "hue " << hue << " correction " << correction;
        }
    }
}

}  // namespace
