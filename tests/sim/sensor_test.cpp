// The sensor model: window origin and size, subsampling, vertical flip, the
// colour layout a driver predicts for a window, and the signal scaling of
// exposure and gains.
#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <vector>

#include "sim_test_support.h"

namespace sim::test {
namespace {

constexpr uint16_t kFull = 0x41;
constexpr uint16_t kSkip4 = 0xC3;
constexpr uint16_t kSkip8 = 0x1C7;
constexpr uint16_t kFlip = 0x8000;

// The value CoordinateScene shows at sensor pixel (x, y).
uint8_t CoordinateValue(int x, int y) {
    return static_cast<uint8_t>(16 * (y % 16) + x % 16);
}

uint8_t At(const std::vector<uint8_t>& frame, const Window& window, int x, int y) {
    return frame[static_cast<size_t>(y) * window.width + x];
}

TEST(Geometry, WindowStartsAtFirstColumnLessOffsetAndFirstRow) {
    SimCamera camera(AtFrameRateZero(CoordinateScene()));
    Window window = {37, 21, 24, 8, kFull};
    std::vector<uint8_t> frame = CaptureWindow(camera, window);
    for (int y = 0; y < window.height; ++y) {
        for (int x = 0; x < window.width; ++x) {
            ASSERT_EQ(At(frame, window, x, y), CoordinateValue(37 + x, 21 + y)) << x << "," << y;
        }
    }
}

TEST(Geometry, FramePaddedToWholeSectorsWithZeros) {
    SimCamera camera(AtFrameRateZero(SolidScene({255, 255, 255})));
    Configure(camera, {0, 0, 100, 33, kFull});
    std::vector<uint8_t> frame = ReadFrame(camera, 3584);
    EXPECT_EQ(frame[3299], 255);
    EXPECT_EQ(frame[3300], 0);
    EXPECT_EQ(frame[3583], 0);
    EXPECT_EQ(camera.CurrentSettings().FrameBytes(), 3584u);
}

TEST(Geometry, PixelsBeyondSensorEdgeReadZero) {
    SimCamera camera(AtFrameRateZero(SolidScene({255, 255, 255})));
    std::vector<uint8_t> frame = CaptureWindow(camera, {4380, 3286, 8, 4, kFull});
    EXPECT_EQ(frame[3], 255);
    EXPECT_EQ(frame[4], 0);
    EXPECT_EQ(frame[8 + 3], 255);
    EXPECT_EQ(frame[16], 0);
}

struct SubsampleCase {
    uint16_t readMode;
    int group;
};

// Test listings name each case by what it reads rather than by its bytes.
void PrintTo(const SubsampleCase& test, std::ostream* out) {
    *out << "every " << test.group;
}

class Subsample : public ::testing::TestWithParam<SubsampleCase> {};

TEST_P(Subsample, KeepsFirstTwoByTwoBlockOfEveryGroup) {
    SimCamera camera(AtFrameRateZero(CoordinateScene()));
    Window window = {0, 0, 32, 12, GetParam().readMode};
    std::vector<uint8_t> frame = CaptureWindow(camera, window);
    int group = GetParam().group;
    for (int y = 0; y < window.height; ++y) {
        for (int x = 0; x < window.width; ++x) {
            int sensorX = group * (x / 2) + x % 2;
            int sensorY = group * (y / 2) + y % 2;
            ASSERT_EQ(At(frame, window, x, y), CoordinateValue(sensorX, sensorY)) << x << "," << y;
        }
    }
}

TEST_P(Subsample, FlipReversesRowsAfterSkipping) {
    SimCamera camera(AtFrameRateZero(CoordinateScene()));
    Window plain = {0, 0, 16, 10, GetParam().readMode};
    std::vector<uint8_t> upright = CaptureWindow(camera, plain);
    Window flipped = plain;
    flipped.readMode |= kFlip;
    std::vector<uint8_t> reversed = CaptureWindow(camera, flipped);
    for (int y = 0; y < plain.height; ++y) {
        for (int x = 0; x < plain.width; ++x) {
            ASSERT_EQ(At(reversed, plain, x, y), At(upright, plain, x, plain.height - 1 - y));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(ReadModes, Subsample,
                         ::testing::Values(SubsampleCase{kFull, 2}, SubsampleCase{kSkip4, 4},
                                           SubsampleCase{kSkip8, 8}));

// The colour layouts by phase, as a driver numbers them: G R / B G, B G / G R,
// R G / G B, G B / R G.
enum Colour : uint8_t { G = 1, R = 2, B = 3 };
constexpr Colour kLayouts[4][2][2] = {
    {{G, R}, {B, G}},
    {{B, G}, {G, R}},
    {{R, G}, {G, B}},
    {{G, B}, {R, G}},
};

// The driver's rule: b0 flips for an odd first row and again for a flip with
// an even height (in sensor rows), b1 flips for an odd first column.
int PredictedPhase(int x, int y, int sensorHeight, bool flip) {
    int b0 = (y & 1) ^ ((flip && sensorHeight % 2 == 0) ? 1 : 0);
    int b1 = x & 1;
    return b0 + 2 * b1;
}

struct PhaseCase {
    Window window;
    int sensorHeight;  // the window's height as the driver knows it
};

void PrintTo(const PhaseCase& test, std::ostream* out) {
    const Window& w = test.window;
    *out << w.width << "x" << w.height << "+" << w.x << "+" << w.y << " mode " << std::hex
         << w.readMode << std::dec;
}

class ColourLayout : public ::testing::TestWithParam<PhaseCase> {};

// A raw mosaic naming each filter colour: the delivered pattern is the
// layout of the predicted phase at every pixel.
TEST_P(ColourLayout, RawMosaicMatchesPredictedPhase) {
    static const auto filterNames = Scene::FromRaw(2, 2, {G, R, B, G});
    SimCamera camera(AtFrameRateZero(filterNames));
    const PhaseCase& test = GetParam();
    std::vector<uint8_t> frame = CaptureWindow(camera, test.window);
    int phase = PredictedPhase(test.window.x, test.window.y, test.sensorHeight,
                               (test.window.readMode & kFlip) != 0);
    for (int y = 0; y < test.window.height; ++y) {
        for (int x = 0; x < test.window.width; ++x) {
            ASSERT_EQ(At(frame, test.window, x, y), kLayouts[phase][y % 2][x % 2])
                << "phase " << phase << " at " << x << "," << y;
        }
    }
}

// A pure colour scene passes only through the filters of its colour.
TEST_P(ColourLayout, PureColoursLightOnlyTheirFilters) {
    static const auto red = SolidScene({255, 0, 0});
    static const auto green = SolidScene({0, 255, 0});
    static const auto blue = SolidScene({0, 0, 255});
    const PhaseCase& test = GetParam();
    int phase = PredictedPhase(test.window.x, test.window.y, test.sensorHeight,
                               (test.window.readMode & kFlip) != 0);
    for (auto [scene, colour] : {std::pair{red, R}, std::pair{green, G}, std::pair{blue, B}}) {
        SimCamera camera(AtFrameRateZero(scene));
        std::vector<uint8_t> frame = CaptureWindow(camera, test.window);
        for (int y = 0; y < 2; ++y) {
            for (int x = 0; x < 2; ++x) {
                uint8_t expected = kLayouts[phase][y][x] == colour ? 255 : 0;
                EXPECT_EQ(At(frame, test.window, x, y), expected)
                    << "colour " << int{colour} << " at " << x << "," << y;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Windows, ColourLayout,
                         ::testing::Values(PhaseCase{{0, 0, 16, 8, kFull}, 8},
                                           PhaseCase{{1, 0, 16, 8, kFull}, 8},
                                           PhaseCase{{0, 1, 16, 8, kFull}, 8},
                                           PhaseCase{{3, 5, 16, 8, kFull}, 8},
                                           PhaseCase{{0, 0, 16, 8, kFull | kFlip}, 8},
                                           PhaseCase{{0, 0, 16, 9, kFull | kFlip}, 9},
                                           PhaseCase{{1, 1, 17, 34, kFull | kFlip}, 34},
                                           PhaseCase{{1, 1, 101, 50, kFull | kFlip}, 50},
                                           PhaseCase{{2, 3, 16, 7, kFull | kFlip}, 7},
                                           PhaseCase{{0, 0, 2192, 1644, kSkip4}, 3288},
                                           PhaseCase{{0, 0, 2192, 1644, kSkip4 | kFlip}, 3288},
                                           PhaseCase{{0, 0, 1096, 822, kSkip8}, 3288},
                                           PhaseCase{{0, 0, 1096, 822, kSkip8 | kFlip}, 3288}));

// A scene of 100 red, 150 green, 200 blue, read through the window at the
// origin: R at (1, 0), G at (0, 0) and (1, 1), B at (0, 1).
class SignalScaling : public ::testing::Test {
protected:
    SignalScaling() : camera_(AtFrameRateZero(Colours())) {
        Configure(camera_, {0, 0, 16, 2, kFull});
    }

    static std::shared_ptr<const Scene> Colours() {
        static const auto scene = SolidScene({100, 150, 200});
        return scene;
    }

    // Green in red rows, red, blue, green in blue rows.
    std::vector<uint8_t> Sites() {
        std::vector<uint8_t> frame = ReadFrame(camera_, 512);
        return {frame[0], frame[1], frame[16], frame[17]};
    }

    SimCamera camera_;
};

// At power on and with the driver's defaults written.
TEST_F(SignalScaling, NeutralSettingsDeliverSceneUnchanged) {
    EXPECT_EQ(Sites(), (std::vector<uint8_t>{150, 100, 200, 150}));
    WriteRegister(camera_, 0x0202, 8);
    WriteRegister(camera_, 0x305E, 0x1000 | 80);
    EXPECT_EQ(Sites(), (std::vector<uint8_t>{150, 100, 200, 150}));
}

TEST_F(SignalScaling, ExposureScalesAndClipsAt255) {
    WriteRegister(camera_, 0x0202, 12);
    EXPECT_EQ(Sites(), (std::vector<uint8_t>{225, 150, 255, 225}));
}

TEST_F(SignalScaling, ScaledValuesRoundDown) {
    WriteRegister(camera_, 0x0202, 9);
    WriteRegister(camera_, 0x305E, 0x1000 | 81);
    // 150 * 9 * 81 / 640 = 170.86, 100 * ... = 113.9, 200 * ... = 227.8
    EXPECT_EQ(Sites(), (std::vector<uint8_t>{170, 113, 227, 170}));
}

TEST_F(SignalScaling, EachChannelGainScalesOnlyItsFilter) {
    WriteRegister(camera_, 0x3056, 0x1000 | 40);
    EXPECT_EQ(Sites(), (std::vector<uint8_t>{75, 100, 200, 150}));
    WriteRegister(camera_, 0x305A, 0x1000 | 40);
    EXPECT_EQ(Sites(), (std::vector<uint8_t>{75, 50, 200, 150}));
    WriteRegister(camera_, 0x3058, 0x1000 | 40);
    EXPECT_EQ(Sites(), (std::vector<uint8_t>{75, 50, 100, 150}));
    WriteRegister(camera_, 0x305C, 0x1000 | 40);
    EXPECT_EQ(Sites(), (std::vector<uint8_t>{75, 50, 100, 75}));
    // Only the low seven bits are the gain.
    WriteRegister(camera_, 0x305E, 0x1000 | 0x80 | 40);
    EXPECT_EQ(Sites(), (std::vector<uint8_t>{75, 50, 100, 75}));
}

TEST(RawScene, IgnoresExposureAndGains) {
    SimCamera camera(AtFrameRateZero(CoordinateScene()));
    Configure(camera, {0, 0, 16, 16, kFull});
    WriteRegister(camera, 0x0202, 3);
    WriteRegister(camera, 0x305E, 0x1000 | 127);
    std::vector<uint8_t> frame = ReadFrame(camera, 512);
    for (int i = 0; i < 256; ++i) {
        ASSERT_EQ(frame[i], i);
    }
}

}  // namespace
}  // namespace sim::test
