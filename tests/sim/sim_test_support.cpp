// Byte-level helpers shared by the simulated camera's tests.
#include "sim_test_support.h"

#include <gtest/gtest.h>

namespace sim::test {

namespace {

bool WriteCommand(SimCamera& camera, uint8_t code, uint8_t phase, uint16_t word) {
    std::vector<uint8_t> sector(kSectorSize, 0);
    sector[0] = code;
    sector[1] = phase;
    sector[2] = static_cast<uint8_t>(word >> 8);
    sector[3] = static_cast<uint8_t>(word & 0xFF);
    return camera.Write(kCommandSectorOffset, sector.data(), sector.size());
}

}  // namespace

bool WriteRegister(SimCamera& camera, uint16_t address, uint16_t value) {
    return WriteCommand(camera, 0x20, 0, address) && WriteCommand(camera, 0x20, 1, value);
}

void EndConfiguration(SimCamera& camera) {
    EXPECT_TRUE(WriteCommand(camera, 0x10, 0, 0));
}

std::vector<uint8_t> ReadStatus(SimCamera& camera) {
    std::vector<uint8_t> sector(kSectorSize, 0xEE);
    EXPECT_TRUE(camera.Read(kStatusSectorOffset, sector.data(), sector.size()));
    return sector;
}

uint8_t FrameReadyByte(SimCamera& camera) {
    return ReadStatus(camera)[256];
}

std::vector<uint8_t> ReadFrame(SimCamera& camera, size_t length) {
    std::vector<uint8_t> frame(length, 0xEE);
    EXPECT_TRUE(camera.Read(kFrameDataOffset, frame.data(), frame.size()));
    return frame;
}

void Configure(SimCamera& camera, const Window& window) {
    WriteRegister(camera, 0x0104, 1);
    WriteRegister(camera, 0x0344, static_cast<uint16_t>(window.x + 24));
    WriteRegister(camera, 0x0346, static_cast<uint16_t>(window.y));
    WriteRegister(camera, 0x034C, static_cast<uint16_t>(window.width));
    WriteRegister(camera, 0x034E, static_cast<uint16_t>(window.height));
    WriteRegister(camera, 0x0104, 0);
    WriteRegister(camera, 0x3040, window.readMode);
    EndConfiguration(camera);
}

std::vector<uint8_t> CaptureWindow(SimCamera& camera, const Window& window) {
    Configure(camera, window);
    size_t pixels = static_cast<size_t>(window.width) * static_cast<size_t>(window.height);
    std::vector<uint8_t> frame = ReadFrame(camera, (pixels + 511) / 512 * 512);
    frame.resize(pixels);
    return frame;
}

// Built once: every scene costs a full-sensor mosaic.
std::shared_ptr<const Scene> CoordinateScene() {
    static const std::shared_ptr<const Scene> scene = [] {
        std::vector<uint8_t> tile(16 * 16);
        for (size_t i = 0; i < tile.size(); ++i) {
            tile[i] = static_cast<uint8_t>(i);
        }
        return Scene::FromRaw(16, 16, tile);
    }();
    return scene;
}

std::shared_ptr<const Scene> SolidScene(Rgb colour) {
    return Scene::FromRgb(1, 1, {colour.red, colour.green, colour.blue});
}

SimOptions AtFrameRateZero(std::shared_ptr<const Scene> scene) {
    SimOptions options;
    options.scene = std::move(scene);
    options.framesPerSecond = 0;
    options.timing = TransferTiming::Instant();
    return options;
}

}  // namespace sim::test
