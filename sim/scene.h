// Scenes: what the sensor looks at, precomputed as the value each sensor
// pixel's colour filter passes (the mosaic), so that a frame only samples it.
// The built-in test scene adds one moving square drawn per frame.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace sim {

// The colour filter at sensor pixel (x, y): G R / B G at the origin. The
// index is 0 green in red rows, 1 red, 2 blue, 3 green in blue rows.
inline int FilterIndex(int x, int y) {
    return (y & 1) * 2 + (x & 1);
}

struct Rgb {
    uint8_t red;
    uint8_t green;
    uint8_t blue;
};

// A square of one value under every filter, moving right by `stepPerFrame`
// pixels each frame and wrapping at the sensor's right edge.
struct MovingSquare {
    int top;
    int size;
    int stepPerFrame;
    uint8_t value;

    int LeftAt(uint64_t frameNumber) const;
};

class Scene {
public:
    // Colour bars (white, yellow, cyan, green, magenta, red, blue, black), a
    // grey ramp, fine stripes and checks, and a moving white square.
    static std::shared_ptr<const Scene> Bars();
    // A colour picture (`rgb` holds width x height triplets) stretched over
    // the whole sensor, nearest neighbour, aspect ratio not kept.
    static std::shared_ptr<const Scene> FromRgb(int width, int height,
                                                const std::vector<uint8_t>& rgb);
    // A raw mosaic tiled over the sensor from its origin; its values reach the
    // frame exactly, unaffected by exposure and gains.
    static std::shared_ptr<const Scene> FromRaw(int width, int height,
                                                const std::vector<uint8_t>& values);
    // "bars", "raw:FILE.pgm" or a PNG or PPM file. Throws std::runtime_error.
    static std::shared_ptr<const Scene> Load(const std::string& source);

    // One mosaic row of kSensorWidth values.
    const uint8_t* Row(int y) const;
    bool IsRaw() const { return raw_; }
    const std::optional<MovingSquare>& Moving() const { return moving_; }

private:
    Scene() = default;

    std::vector<uint8_t> mosaic_;
    bool raw_ = false;
    std::optional<MovingSquare> moving_;
};

}  // namespace sim
