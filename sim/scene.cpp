// Scene construction: the test scene's layout, pictures stretched over the
// sensor, raw mosaics tiled over it.
#include "sim/scene.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "sim/image_files.h"
#include "sim/registers.h"

namespace sim {

namespace {

constexpr size_t kSensorPixels = static_cast<size_t>(kSensorWidth) * kSensorHeight;

// Bands of the test scene, top to bottom.
constexpr int kBarsBottom = 1644;
constexpr int kRampBottom = 2192;
constexpr int kDetailBottom = 2740;

constexpr Rgb kBarColours[] = {
    {255, 255, 255},  // white
    {255, 255, 0},    // yellow
    {0, 255, 255},    // cyan
    {0, 255, 0},      // green
    {255, 0, 255},    // magenta
    {255, 0, 0},      // red
    {0, 0, 255},      // blue
    {0, 0, 0},        // black
};
constexpr int kBarCount = sizeof kBarColours / sizeof kBarColours[0];

constexpr Rgb kBackground = {96, 96, 96};
constexpr MovingSquare kSquare = {kDetailBottom + 146, 256, 16, 255};

uint8_t FilterSample(Rgb colour, int x, int y) {
    switch (FilterIndex(x, y)) {
        case 1:
            return colour.red;
        case 2:
            return colour.blue;
        default:
            return colour.green;
    }
}

Rgb Grey(int value) {
    auto level = static_cast<uint8_t>(value);
    return {level, level, level};
}

// Vertical one-pixel stripes, horizontal one-pixel stripes, then 4 x 4 checks:
// detail at and near the sensor's resolution limit.
Rgb DetailAt(int x, int y) {
    int third = kSensorWidth / 3;
    bool bright;
    if (x < third) {
        bright = (x & 1) != 0;
    } else if (x < 2 * third) {
        bright = (y & 1) != 0;
    } else {
        bright = ((x / 4 + y / 4) & 1) != 0;
    }
    return Grey(bright ? 255 : 0);
}

Rgb BarsAt(int x, int y) {
    if (y < kBarsBottom) {
        return kBarColours[x * kBarCount / kSensorWidth];
    }
    if (y < kRampBottom) {
        return Grey(x * 256 / kSensorWidth);
    }
    if (y < kDetailBottom) {
        return DetailAt(x, y);
    }
    return kBackground;
}

template <typename ColourAt>
std::vector<uint8_t> MosaicOf(ColourAt colourAt) {
    std::vector<uint8_t> mosaic(kSensorPixels);
    for (int y = 0; y < kSensorHeight; ++y) {
        uint8_t* row = &mosaic[static_cast<size_t>(y) * kSensorWidth];
        for (int x = 0; x < kSensorWidth; ++x) {
            row[x] = FilterSample(colourAt(x, y), x, y);
        }
    }
    return mosaic;
}

void CheckPicture(int width, int height, size_t channels, size_t size) {
    if (width <= 0 || height <= 0 ||
        size != static_cast<size_t>(width) * static_cast<size_t>(height) * channels) {
        throw std::invalid_argument("scene picture size does not match its dimensions");
    }
}

}  // namespace

int MovingSquare::LeftAt(uint64_t frameNumber) const {
    uint64_t travel = static_cast<uint64_t>(kSensorWidth - size);
    return static_cast<int>(frameNumber * static_cast<uint64_t>(stepPerFrame) % travel);
}

std::shared_ptr<const Scene> Scene::Bars() {
    std::shared_ptr<Scene> scene(new Scene);
    scene->mosaic_ = MosaicOf(BarsAt);
    scene->moving_ = kSquare;
    return scene;
}

std::shared_ptr<const Scene> Scene::FromRgb(int width, int height,
                                            const std::vector<uint8_t>& rgb) {
    CheckPicture(width, height, 3, rgb.size());
    std::vector<int> sourceColumn(kSensorWidth);
    for (int x = 0; x < kSensorWidth; ++x) {
        sourceColumn[x] = static_cast<int>(static_cast<int64_t>(x) * width / kSensorWidth);
    }
    auto colourAt = [&](int x, int y) {
        size_t sourceRow = static_cast<size_t>(static_cast<int64_t>(y) * height / kSensorHeight);
        const uint8_t* pixel = &rgb[(sourceRow * width + sourceColumn[x]) * 3];
        return Rgb{pixel[0], pixel[1], pixel[2]};
    };
    std::shared_ptr<Scene> scene(new Scene);
    scene->mosaic_ = MosaicOf(colourAt);
    return scene;
}

std::shared_ptr<const Scene> Scene::FromRaw(int width, int height,
                                            const std::vector<uint8_t>& values) {
    CheckPicture(width, height, 1, values.size());
    std::shared_ptr<Scene> scene(new Scene);
    scene->mosaic_.resize(kSensorPixels);
    // Tile each picture row across the sensor width once, then copy the
    // tiled rows down the sensor.
    int tiledRows = std::min(height, kSensorHeight);
    for (int y = 0; y < tiledRows; ++y) {
        const uint8_t* source = &values[static_cast<size_t>(y) * width];
        uint8_t* row = &scene->mosaic_[static_cast<size_t>(y) * kSensorWidth];
        for (int x = 0; x < kSensorWidth; ++x) {
            row[x] = source[x % width];
        }
    }
    for (int y = tiledRows; y < kSensorHeight; ++y) {
        std::memcpy(&scene->mosaic_[static_cast<size_t>(y) * kSensorWidth], scene->Row(y % height),
                    kSensorWidth);
    }
    scene->raw_ = true;
    return scene;
}

std::shared_ptr<const Scene> Scene::Load(const std::string& source) {
    const std::string rawPrefix = "raw:";
    if (source == "bars") {
        return Bars();
    }
    if (source.compare(0, rawPrefix.size(), rawPrefix) == 0) {
        Image image = ReadPgm(source.substr(rawPrefix.size()));
        return FromRaw(image.width, image.height, image.pixels);
    }
    Image image = ReadColourImage(source);
    return FromRgb(image.width, image.height, image.pixels);
}

const uint8_t* Scene::Row(int y) const {
    return &mosaic_[static_cast<size_t>(y) * kSensorWidth];
}

}  // namespace sim
