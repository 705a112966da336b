// The combined colour matrix: fixed-point anchors for the adjustments, the
// setters' change-only-on-difference rule, the hue rotation's invariants and
// the driver's own sine and cosine against correctly rounded values.
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

// The float nearest to `exact`, and whether `exact` lies so close to the
// half-way point between two floats that a result within 1e-12 of it may
// round either way.
struct Rounded {
    float value;
    bool nearHalfWay;
};

Rounded RoundToFloat(long double exact) {
    const float nearest = static_cast<float>(exact);
    const long double neighbour = std::nextafter(nearest, exact >= nearest ? INFINITY : -INFINITY);
    const long double midpoint = (nearest + neighbour) / 2;
    return {nearest, std::fabs(exact - midpoint) < 1e-12L * std::fabs(exact)};
}

// Long double (64-bit mantissa) values rounded to float: the correctly
// rounded results, apart from the half-way cases flagged.
::testing::AssertionResult CorrectlyRounded(float angle) {
    const Rounded sine = RoundToFloat(std::sin(static_cast<long double>(angle)));
    const Rounded cosine = RoundToFloat(std::cos(static_cast<long double>(angle)));
    const float ownSine = SineFloat(angle);
    const float ownCosine = CosineFloat(angle);
    const bool sineRight = ownSine == sine.value ||
                           (sine.nearHalfWay && std::nextafter(ownSine, sine.value) == sine.value);
    const bool cosineRight =
        ownCosine == cosine.value ||
        (cosine.nearHalfWay && std::nextafter(ownCosine, cosine.value) == cosine.value);
    if (sineRight && cosineRight) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure()
           << "at " << angle << ": sine " << ownSine << " for " << sine.value << ", cosine "
           << ownCosine << " for " << cosine.value;
}

// Every hue angle exactly, including the rounding; and a dense sweep beyond
// the hue range.
TEST(PipelineMaths, SineAndCosineAreCorrectlyRounded) {
    int halfWayHues = 0;
    for (int degrees = 0; degrees < 360; ++degrees) {
        const float angle = static_cast<float>(degrees) * 3.1415927f / 180.0f;
        halfWayHues += RoundToFloat(std::sin(static_cast<long double>(angle))).nearHalfWay +
                       RoundToFloat(std::cos(static_cast<long double>(angle))).nearHalfWay;
        EXPECT_EQ(SineFloat(angle), RoundToFloat(std::sin(static_cast<long double>(angle))).value)
            << degrees;
        EXPECT_EQ(CosineFloat(angle), RoundToFloat(std::cos(static_cast<long double>(angle))).value)
            << degrees;
    }
    EXPECT_EQ(halfWayHues, 0);
    for (float angle = -6.5f; angle <= 6.5f; angle = std::nextafter(angle, 10.0f) + 1e-5f) {
        ASSERT_TRUE(CorrectlyRounded(angle));
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
