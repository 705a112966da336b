// The sensor's register file: 16-bit registers at 16-bit addresses, their
// power-on values, and the addresses the sensor model interprets.
#pragma once

#include <array>
#include <cstdint>

namespace sim {

constexpr int kSensorWidth = 4384;
constexpr int kSensorHeight = 3288;
// Column addresses sent to the sensor are the pixel column plus this offset.
constexpr int kColumnAddressOffset = 24;

namespace reg {
constexpr uint16_t kParameterHold = 0x0104;
constexpr uint16_t kExposure = 0x0202;
constexpr uint16_t kFrameLines = 0x0340;
constexpr uint16_t kLineLength = 0x0342;
constexpr uint16_t kFirstColumn = 0x0344;
constexpr uint16_t kFirstRow = 0x0346;
constexpr uint16_t kLastColumn = 0x0348;
constexpr uint16_t kLastRow = 0x034A;
constexpr uint16_t kOutputWidth = 0x034C;
constexpr uint16_t kOutputHeight = 0x034E;
constexpr uint16_t kScaling = 0x0400;
constexpr uint16_t kScalingFactor = 0x0404;
constexpr uint16_t kTiming1 = 0x3010;
constexpr uint16_t kTiming2 = 0x3014;
constexpr uint16_t kTiming3 = 0x3018;
constexpr uint16_t kResetControl = 0x301A;
constexpr uint16_t kReadMode = 0x3040;
constexpr uint16_t kGreen1Gain = 0x3056;
constexpr uint16_t kBlueGain = 0x3058;
constexpr uint16_t kRedGain = 0x305A;
constexpr uint16_t kGreen2Gain = 0x305C;
constexpr uint16_t kGlobalGain = 0x305E;
}  // namespace reg

// Read-mode bits: the skip pattern in bits 0..8, vertical flip in bit 15.
constexpr uint16_t kReadModeFull = 0x41;
constexpr uint16_t kReadModeSkip4 = 0xC3;
constexpr uint16_t kReadModeSkip8 = 0x1C7;
constexpr uint16_t kReadModeSkipMask = 0x1FF;
constexpr uint16_t kReadModeFlipV = 0x8000;

// Gain registers carry bit 12 set and the gain in their low seven bits.
constexpr uint16_t kGainMarker = 0x1000;
constexpr uint16_t kGainMask = 0x7F;
constexpr uint16_t kPowerOnExposure = 8;
constexpr uint16_t kPowerOnGain = 80;

// True for the registers whose write changes the readout window; such a write
// stops frames until the next end of configuration.
bool IsWindowRegister(uint16_t address);
// True for the registers the sensor has; it ignores writes to any other
// address.
bool IsSensorRegister(uint16_t address);

// The sensor's registers, in the order the register file stores them.
constexpr std::array<uint16_t, 22> kSensorRegisters = {
    reg::kParameterHold, reg::kExposure,     reg::kFrameLines, reg::kLineLength,
    reg::kFirstColumn,   reg::kFirstRow,     reg::kLastColumn, reg::kLastRow,
    reg::kOutputWidth,   reg::kOutputHeight, reg::kScaling,    reg::kScalingFactor,
    reg::kTiming1,       reg::kTiming2,      reg::kTiming3,    reg::kResetControl,
    reg::kReadMode,      reg::kGreen1Gain,   reg::kBlueGain,   reg::kRedGain,
    reg::kGreen2Gain,    reg::kGlobalGain,
};

// Holds only the sensor's registers, so that a camera is cheap to make.
class RegisterFile {
public:
    // Power-on state: the full sensor, full readout, exposure 8, every gain 80.
    RegisterFile();

    // Any other address reads 0.
    uint16_t Read(uint16_t address) const;
    // Writing the global gain also sets the four channel gains; a write to
    // any other address than the sensor's is ignored.
    void Write(uint16_t address, uint16_t value);

private:
    std::array<uint16_t, kSensorRegisters.size()> values_{};
};

}  // namespace sim
