// The combined colour matrix: fixed-point anchors for the adjustments, the
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

struct Settings {
    LONG correction;
    LONG brightness;
    LONG contrast;
    LONG saturation;
    LONG hue;
};

Matrix MatrixFor(const Settings& settings) {
    auto pipeline = MakePipeline();
    SetColourCorrection(pipeline.get(), settings.correction);
    SetBrightness(pipeline.get(), settings.brightness);
    SetContrast(pipeline.get(), settings.contrast);
    SetSaturation(pipeline.get(), settings.saturation);
    SetHue(pipeline.get(), settings.hue);
    return FixedMatrix(pipeline.get());
}

TEST(PipelineTables, FixedMatrixAnchors) {
    const struct {
        Settings settings;
        Matrix rows;
    } cases[] = {
        {{1, 255, 10, 10, 0}, {87, -16, -6, 0, -14, 90, -20, 0, -9, -10, 91, 0, 0, 0, 0, 64}},
        {{0, 255, 10, 10, 0}, {64, 0, 0, 0, 0, 64, 0, 0, 0, 0, 64, 0, 0, 0, 0, 64}},
        {{0, 510, 10, 10, 0}, {64, 0, 0, 0, 0, 64, 0, 0, 0, 0, 64, 0, 16320, 16320, 16320, 64}},
        {{0, 0, 10, 10, 0}, {64, 0, 0, 0, 0, 64, 0, 0, 0, 0, 64, 0, -16320, -16320, -16320, 64}},
        {{0, 255, 0, 10, 0}, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 8192, 8192, 8192, 64}},
        {{0, 255, 20, 10, 0}, {128, 0, 0, 0, 0, 128, 0, 0, 0, 0, 128, 0, -8192, -8192, -8192, 64}},
        {{0, 255, 10, 0, 0}, {20, 20, 20, 0, 39, 39, 39, 0, 5, 5, 5, 0, 0, 0, 0, 64}},
        {{0, 255, 10, 20, 0}, {108, -20, -20, 0, -39, 89, -39, 0, -5, -5, 123, 0, 0, 0, 0, 64}},
        {{1, 300, 15, 10, 0},
         {131, -24, -10, 0, -21, 134, -31, 0, -13, -14, 136, 0, 224, 224, 224, 64}},
        {{0, 255, 10, 10, 90}, {0, 37, -37, 0, 10, 47, 84, 0, 53, -21, 16, 0, 0, 0, 0, 64}},
    };
    for (const auto& anchor : cases) {
        const Settings& s = anchor.settings;
        EXPECT_EQ(MatrixFor(s), anchor.rows) << s.correction << " " << s.brightness << " "
                                             << s.contrast << " " << s.saturation << " " << s.hue;
    }
}

TEST(PipelineTables, SettingsAboveTheirBoundActAsTheBound) {
    EXPECT_EQ(MatrixFor({1, 100000, 25, 0x7FFFFFFF, 0}), MatrixFor({1, 510, 20, 20, 0}));
}

TEST(PipelineTables, SettingsFarOutOfRangeSaturateInsteadOfOverflowing) {
    const Matrix matrix = MatrixFor({0, -0x7FFFFFFF - 1, 10, 10, 0});
    EXPECT_EQ(matrix[12], -0x7FFFFFFF - 1);
    EXPECT_EQ(matrix[0], 64);
}

TEST(PipelineTables, TableSettersRebuildOnlyOnADifference) {
    auto pipeline = MakePipeline();
    ImagePipeline* p = pipeline.get();
    void (*const setters[])(ImagePipeline*, LONG) = {SetColourCorrection, SetBrightness,
                                                     SetContrast, SetSaturation, SetHue};
    const LONG defaults[] = {1, 255, 10, 10, 0};
    for (int i = 0; i < 5; ++i) {
        p->fixedMatrix[15] = 12345;  // a marker only a rebuild overwrites
        setters[i](p, defaults[i]);
        EXPECT_EQ(p->fixedMatrix[15], 12345) << "setter " << i;
        setters[i](p, defaults[i] + 1);
        EXPECT_EQ(p->fixedMatrix[15], 64) << "setter " << i;
    }
    EXPECT_EQ(p->brightness, 256);
}

TEST(PipelineTables, HueKeepsGreyAndLuminance) {
    const double weights[3] = {0.3086f, 0.6094f, 0.0820f};
    auto pipeline = MakePipeline();
    for (LONG hue = 0; hue < 360; hue += 7) {
        SetHue(pipeline.get(), hue);
        const double* matrix = pipeline->hueMatrix;
        for (int i = 0; i < 3; ++i) {
            double column = 0.0;
            double weighted = 0.0;
            for (int j = 0; j < 3; ++j) {
                column += matrix[4 * j + i];
                weighted += matrix[4 * i + j] * weights[j];
            }
            EXPECT_NEAR(column, 1.0, 1e-6) << "hue " << hue;
            EXPECT_NEAR(weighted, weights[i], 1e-6) << "hue " << hue;
        }
    }
}

// Distance in units in the last place, through the floats' ordered integer images.
int64_t UlpDistance(float a, float b) {
    auto ordered = [](float value) {
        int32_t bits;
        std::memcpy(&bits, &value, sizeof(bits));
        return bits < 0 ? static_cast<int64_t>(INT32_MIN) - bits : static_cast<int64_t>(bits);
    };
    return std::llabs(ordered(a) - ordered(b));
}

TEST(PipelineMaths, SineAndCosineWithinOneUlpOfTheLibrary) {
    for (int degrees = 0; degrees < 360; ++degrees) {
        const float angle = static_cast<float>(degrees) * 3.1415927f / 180.0f;
        EXPECT_LE(UlpDistance(SineFloat(angle), std::sin(angle)), 1) << degrees;
        EXPECT_LE(UlpDistance(CosineFloat(angle), std::cos(angle)), 1) << degrees;
    }
    for (float angle = -6.5f; angle <= 6.5f; angle = std::nextafter(angle, 10.0f) + 1e-5f) {
        ASSERT_LE(UlpDistance(SineFloat(angle), std::sin(angle)), 1) << angle;
        ASSERT_LE(UlpDistance(CosineFloat(angle), std::cos(angle)), 1) << angle;
    }
    for (float value : {2.0f, 3.0f, 0.5f, 12345.678f}) {
        EXPECT_EQ(SquareRootFloat(value), std::sqrt(value));
    }
}

TEST(PipelineMaths, HueMatrixIsTheSameWithTheLibraryFunctions) {
    const SinglePrecisionMaths library = {[](float x) { return std::sin(x); },
                                          [](float x) { return std::cos(x); },
                                          [](float x) { return std::sqrt(x); }};
    auto own = MakePipeline();
    auto other = MakePipeline();
    for (LONG correction = 0; correction <= 1; ++correction) {
        SetColourCorrection(own.get(), correction);
        SetColourCorrection(other.get(), correction);
        for (LONG hue = 0; hue < 360; ++hue) {
            SetHue(own.get(), hue);
            BuildHueMatrix(other.get(), hue, library);
            ASSERT_EQ(FixedMatrix(own.get()), FixedMatrix(other.get())) << hue;
        }
    }
}

}  // namespace
