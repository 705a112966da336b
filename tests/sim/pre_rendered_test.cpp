// Frames rendered ahead: a camera that renders its frames once and serves
// them in turn delivers, byte for byte, what the rendering camera delivers
// for the same settings and frame number, and renders again when the
// settings change.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "sim_test_support.h"

namespace sim::test {
namespace {

// A band through the moving square, so that frames differ, whose pixels do
// not fill whole sectors, so that the padding is served too.
const Window kBand = {0, 2990, 4384, 33, 0x41};
constexpr size_t kBandBytes = 144896;

// Built once: every scene costs a full-sensor mosaic.
std::shared_ptr<const Scene> Bars() {
    static const std::shared_ptr<const Scene> scene = Scene::Bars();
    return scene;
}

SimOptions PreRendered(int frames) {
    SimOptions options = AtFrameRateZero(Bars());
    options.preRenderedFrames = frames;
    return options;
}

TEST(PreRenderedFrames, ServeTheRenderedBytesInTurn) {
    SimCamera rendering(AtFrameRateZero(Bars()));
    SimCamera preRendered(PreRendered(3));
    Configure(rendering, kBand);
    Configure(preRendered, kBand);
    std::vector<std::vector<uint8_t>> served;
    for (int frame = 1; frame <= 3; ++frame) {
        served.push_back(ReadFrame(preRendered, kBandBytes));
        EXPECT_EQ(served.back(), ReadFrame(rendering, kBandBytes)) << "frame " << frame;
    }
    EXPECT_NE(served[0], served[1]);
    EXPECT_EQ(ReadFrame(preRendered, kBandBytes), served[0]);
    EXPECT_EQ(ReadFrame(preRendered, kBandBytes), served[1]);
    EXPECT_EQ(preRendered.FramesRead(), 5u);
    EXPECT_EQ(preRendered.Violations(), std::vector<std::string>{});
}

TEST(PreRenderedFrames, NewSettingsAreRenderedAgain) {
    SimCamera preRendered(PreRendered(1));
    Configure(preRendered, kBand);
    const std::vector<uint8_t> first = ReadFrame(preRendered, kBandBytes);

    SimCamera darker(AtFrameRateZero(Bars()));
    Configure(darker, kBand);
    WriteRegister(darker, 0x0202, 4);
    WriteRegister(preRendered, 0x0202, 4);
    const std::vector<uint8_t> expected = ReadFrame(darker, kBandBytes);
    EXPECT_NE(expected, first);
    EXPECT_EQ(ReadFrame(preRendered, kBandBytes), expected);

    const Window skipped = {100, 500, 256, 15, 0xC3};
    SimCamera other(AtFrameRateZero(Bars()));
    Configure(other, skipped);
    WriteRegister(other, 0x0202, 4);
    Configure(preRendered, skipped);
    EXPECT_EQ(ReadFrame(preRendered, 4096), ReadFrame(other, 4096));
}

}  // namespace
}  // namespace sim::test
