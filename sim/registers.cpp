// RegisterFile: power-on values and the global gain's fan-out.
#include "sim/registers.h"

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

bool IsSensorRegister(uint16_t address) {
    switch (address) {
        case reg::kParameterHold:
        case reg::kExposure:
        case reg::kFrameLines:
        case reg::kLineLength:
        case reg::kScaling:
        case reg::kScalingFactor:
        case reg::kTiming1:
        case reg::kTiming2:
        case reg::kTiming3:
        case reg::kResetControl:
        case reg::kReadMode:
        case reg::kGreen1Gain:
        case reg::kBlueGain:
        case reg::kRedGain:
        case reg::kGreen2Gain:
        case reg::kGlobalGain:
            return true;
        default:
            return IsWindowRegister(address);
    }
}

RegisterFile::RegisterFile() {
    values_[reg::kExposure] = kPowerOnExposure;
    values_[reg::kFirstColumn] = kColumnAddressOffset;
    values_[reg::kFirstRow] = 0;
    values_[reg::kLastColumn] = kSensorWidth + kColumnAddressOffset - 1;
    values_[reg::kLastRow] = kSensorHeight - 1;
    values_[reg::kOutputWidth] = kSensorWidth;
    values_[reg::kOutputHeight] = kSensorHeight;
    values_[reg::kReadMode] = kReadModeFull;
    Write(reg::kGlobalGain, kGainMarker | kPowerOnGain);
}

void RegisterFile::Write(uint16_t address, uint16_t value) {
    values_[address] = value;
    if (address == reg::kGlobalGain) {
        values_[reg::kRedGain] = value;
        values_[reg::kGreen1Gain] = value;
        values_[reg::kGreen2Gain] = value;
        values_[reg::kBlueGain] = value;
    }
}

}  // namespace sim
