// The sensor model: which sensor pixels a frame reads (window, skipping,
// vertical flip) and how exposure and gains scale what they see.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "sim/registers.h"
#include "sim/scene.h"

namespace sim {

// The registers a frame is rendered from, taken when its frame-ready flag
// rose (or at the read, at a frame rate of 0).
struct SensorSettings {
    int originX = 0;  // sensor column of the window's first column
    int originY = 0;  // sensor row of the window's first row
    int width = 0;    // delivered columns (output width register)
    int height = 0;   // delivered rows (output height register)
    // 2 for full readout; 4 or 8 when the first 2 x 2 block of every 4 x 4
    // or 8 x 8 group is kept.
    int group = 2;
    bool flipV = false;
    uint16_t exposure = kPowerOnExposure;
    std::array<uint8_t, 4> gains{};  // by FilterIndex

    static SensorSettings FromRegisters(const RegisterFile& registers);

    // width x height rounded up to a multiple of 512.
    size_t FrameBytes() const;
    // Sensor row of delivered row `row`, column of delivered column `column`.
    int SensorRow(int row) const;
    int SensorColumn(int column) const;

    bool operator==(const SensorSettings& other) const;
};

// A scene value as delivered: min(255, v * exposure/8 * gain/80), rounded
// down, computed exactly in integers as v * exposure * gain / 640.
uint8_t Signal(uint8_t value, uint16_t exposure, uint8_t gain);

// Fills `length` bytes with the start of a frame's data: its rows, then zero
// padding. Pixels outside the sensor read as 0. `frameNumber` places the
// scene's moving element.
void RenderFrame(const Scene& scene, const SensorSettings& settings, uint64_t frameNumber,
                 uint8_t* out, size_t length);

}  // namespace sim
