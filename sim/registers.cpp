// RegisterFile: power-on values and the global gain's fan-out.
#include "sim/registers.h"

#include <cstddef>

namespace sim {

bool IsWindowRegister(uint16_t address) {
    switch (address) {
        case reg::kFirstColumn:
        case reg::kFirstRow:
        case reg::kLastColumn:
        case reg::kLastRow:
        case reg::kOutputWidth:
        case reg::kOutputHeight:
            return true;
        default:
            return false;
    }
}

namespace {

// The register's place in the file, or -1 for an address the sensor lacks.
int SlotOf(uint16_t address) {
    for (std::size_t slot = 0; slot < kSensorRegisters.size(); ++slot) {
        if (kSensorRegisters[slot] == address) {
            return static_cast<int>(slot);
        }
    }
    return -1;
}

}  // namespace

bool IsSensorRegister(uint16_t address) {
    return SlotOf(address) >= 0;
}

RegisterFile::RegisterFile() {
    Write(reg::kExposure, kPowerOnExposure);
    Write(reg::kFirstColumn, kColumnAddressOffset);
    Write(reg::kLastColumn, kSensorWidth + kColumnAddressOffset - 1);
    Write(reg::kLastRow, kSensorHeight - 1);
    Write(reg::kOutputWidth, kSensorWidth);
    Write(reg::kOutputHeight, kSensorHeight);
    Write(reg::kReadMode, kReadModeFull);
    Write(reg::kGlobalGain, kGainMarker | kPowerOnGain);
}

uint16_t RegisterFile::Read(uint16_t address) const {
    const int slot = SlotOf(address);
    return slot < 0 ? 0 : values_[static_cast<std::size_t>(slot)];
}

void RegisterFile::Write(uint16_t address, uint16_t value) {
    const int slot = SlotOf(address);
    if (slot < 0) {
        return;
    }
    values_[static_cast<std::size_t>(slot)] = value;
    if (address == reg::kGlobalGain) {
        Write(reg::kRedGain, value);
        Write(reg::kGreen1Gain, value);
        Write(reg::kGreen2Gain, value);
        Write(reg::kBlueGain, value);
    }
}

}  // namespace sim
