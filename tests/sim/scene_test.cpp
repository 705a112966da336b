// Scenes: raw PGM mosaics delivered exactly, colour pictures from PPM and PNG
// files, the built-in test scene's patches and its moving element, and clear
// errors for files that cannot serve as scenes.
#include <gtest/gtest.h>
#include <png.h>

#include <cstdio>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "sim_test_support.h"

namespace sim::test {
namespace {

std::string WriteFile(const std::string& name, const std::string& bytes) {
    std::string path = ::testing::TempDir() + name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
}

std::string Bytes(const std::vector<uint8_t>& values) {
    return std::string(values.begin(), values.end());
}

// A 3 x 2 tile of values that a scaling or a gain would change.
const std::vector<uint8_t> kTile = {0, 7, 255, 128, 1, 254};

TEST(RawScene, PgmTiledFromOriginAndDeliveredExactly) {
    std::string path = WriteFile("tile.pgm", "P5\n# tile\n3 2\n255\n" + Bytes(kTile));
    SimCamera camera(AtFrameRateZero(Scene::Load("raw:" + path)));
    std::vector<uint8_t> frame = CaptureWindow(camera, {0, 0, 32, 16, 0x41});
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 32; ++x) {
            ASSERT_EQ(frame[y * 32 + x], kTile[(y % 2) * 3 + x % 3]) << x << "," << y;
        }
    }
    std::remove(path.c_str());
}

TEST(RawScene, SmallMaximumValueKeepsStoredValues) {
    std::string path = WriteFile("low.pgm", "P5 2 1 15\n" + Bytes({3, 15}));
    SimCamera camera(AtFrameRateZero(Scene::Load("raw:" + path)));
    std::vector<uint8_t> frame = CaptureWindow(camera, {0, 0, 32, 16, 0x41});
    EXPECT_EQ(frame[0], 3);
    EXPECT_EQ(frame[1], 15);
    std::remove(path.c_str());
}

TEST(RawScene, MalformedOrMissingFilesAreRefused) {
    std::string shortData = WriteFile("short.pgm", "P5\n4 4\n255\n" + Bytes({1, 2, 3}));
    std::string wide = WriteFile("wide.pgm", "P5\n1 1\n65535\n" + Bytes({1, 2}));
    std::string colour = WriteFile("colour.pgm", "P6\n1 1\n255\n" + Bytes({1, 2, 3}));
    for (const std::string& path : {shortData, wide, colour, std::string("/nonexistent.pgm")}) {
        EXPECT_THROW(Scene::Load("raw:" + path), std::runtime_error) << path;
        std::remove(path.c_str());
    }
}

// A 2 x 1 picture: its left half pure red, right half pure blue.
void ExpectRedLeftBlueRight(const std::shared_ptr<const Scene>& scene) {
    SimCamera camera(AtFrameRateZero(scene));
    std::vector<uint8_t> left = CaptureWindow(camera, {0, 0, 16, 2, 0x41});
    EXPECT_EQ(left[1], 255);  // red filter
    EXPECT_EQ(left[0], 0);    // green
    EXPECT_EQ(left[16], 0);   // blue
    std::vector<uint8_t> right = CaptureWindow(camera, {4368, 0, 16, 2, 0x41});
    EXPECT_EQ(right[1], 0);
    EXPECT_EQ(right[16], 255);
}

TEST(ColourScene, PpmAndPngStretchedOverSensor) {
    std::string ppm = WriteFile("two.ppm", "P6\n2 1\n255\n" + Bytes({255, 0, 0, 0, 0, 255}));
    ExpectRedLeftBlueRight(Scene::Load(ppm));
    std::remove(ppm.c_str());

    std::string png = ::testing::TempDir() + "two.png";
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = 2;
    image.height = 1;
    image.format = PNG_FORMAT_RGB;
    const uint8_t pixels[] = {255, 0, 0, 0, 0, 255};
    ASSERT_TRUE(png_image_write_to_file(&image, png.c_str(), 0, pixels, 0, nullptr));
    ExpectRedLeftBlueRight(Scene::Load(png));
    std::remove(png.c_str());
}

TEST(ColourScene, UnreadableFilesAreRefused) {
    std::string path = WriteFile("junk.png", "not a picture");
    EXPECT_THROW(Scene::Load(path), std::runtime_error);
    EXPECT_THROW(Scene::Load("/nonexistent.png"), std::runtime_error);
    std::remove(path.c_str());
}

class BarsScene : public ::testing::Test {
protected:
    static std::shared_ptr<const Scene> Bars() {
        static const auto scene = Scene::Load("bars");
        return scene;
    }
};

// Sites of a 2 x 2 window at an even origin: green, red, blue, green.
std::vector<uint8_t> SitesAt(SimCamera& camera, int x, int y) {
    std::vector<uint8_t> frame = CaptureWindow(camera, {x, y, 16, 2, 0x41});
    return {frame[0], frame[1], frame[16], frame[17]};
}

TEST_F(BarsScene, HasPurePrimaryPatches) {
    SimCamera camera(AtFrameRateZero(Bars()));
    std::vector<std::vector<uint8_t>> sites;
    for (int bar = 0; bar < 8; ++bar) {
        sites.push_back(SitesAt(camera, bar * 548 + 200, 800));
    }
    EXPECT_EQ(sites[0], (std::vector<uint8_t>{255, 255, 255, 255}));  // white
    EXPECT_EQ(sites[3], (std::vector<uint8_t>{255, 0, 0, 255}));      // green
    EXPECT_EQ(sites[5], (std::vector<uint8_t>{0, 255, 0, 0}));        // red
    EXPECT_EQ(sites[6], (std::vector<uint8_t>{0, 0, 255, 0}));        // blue
    EXPECT_EQ(sites[7], (std::vector<uint8_t>{0, 0, 0, 0}));          // black
}

TEST_F(BarsScene, GreyRampRisesLeftToRight) {
    SimCamera camera(AtFrameRateZero(Bars()));
    std::vector<uint8_t> dark = SitesAt(camera, 0, 1800);
    std::vector<uint8_t> bright = SitesAt(camera, 4352, 1800);
    EXPECT_EQ(dark[0], dark[1]);
    EXPECT_LT(dark[0], 8);
    EXPECT_GT(bright[0], 247);
}

// The moving element is a white square in the bottom band; its position is a
// function of the frame number only.
TEST_F(BarsScene, MovingElementAdvancesWithFrameNumber) {
    const Window band = {0, 3000, 4384, 2, 0x41};
    SimCamera first(AtFrameRateZero(Bars()));
    SimCamera second(AtFrameRateZero(Bars()));
    std::vector<uint8_t> frame1 = CaptureWindow(first, band);
    std::vector<uint8_t> frame2 = CaptureWindow(first, band);
    EXPECT_NE(frame1, frame2);
    EXPECT_EQ(CaptureWindow(second, band), frame1);
    EXPECT_EQ(CaptureWindow(second, band), frame2);
}

}  // namespace
}  // namespace sim::test
