// What the tests write to and read from the simulated camera, byte for byte
// as a driver would, plus small scenes that make pixels identifiable.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "sim/scene.h"
#include "sim/sim_camera.h"

namespace sim::test {

// Both phases of a register write: two 512-byte command sectors.
bool WriteRegister(SimCamera& camera, uint16_t address, uint16_t value);
void EndConfiguration(SimCamera& camera);
std::vector<uint8_t> ReadStatus(SimCamera& camera);
uint8_t FrameReadyByte(SimCamera& camera);
// Reads `length` bytes (a whole number of sectors) at the frame data offset.
std::vector<uint8_t> ReadFrame(SimCamera& camera, size_t length);

// A window as the driver programs it: hold, window registers, release, read
// mode, end of configuration. `x` is the pixel column, sent with its offset.
struct Window {
    int x;
    int y;
    int width;
    int height;
    uint16_t readMode;
};
void Configure(SimCamera& camera, const Window& window);
// Configures the window at frame rate 0 and returns its pixels.
std::vector<uint8_t> CaptureWindow(SimCamera& camera, const Window& window);

// A 16 x 16 raw tile whose value names the sensor pixel: 16 * (y % 16) + x % 16.
std::shared_ptr<const Scene> CoordinateScene();
// One colour over the whole sensor.
std::shared_ptr<const Scene> SolidScene(Rgb colour);

SimOptions AtFrameRateZero(std::shared_ptr<const Scene> scene);

}  // namespace sim::test
