// The driver's control property set as applications see it: the set's GUID,
// the request records and the name of every item. Shared by the driver and
// control applications; plain C++ with no kernel types, so either side can
// include it.
#pragma once

#include <cstdint>

namespace diskcam {

// {caa3f35d-d36c-48bc-9fe6-fcbdb1472c9c}
struct ControlSetGuid {
    static constexpr uint32_t data1 = 0xCAA3F35D;
    static constexpr uint16_t data2 = 0xD36C;
    static constexpr uint16_t data3 = 0x48BC;
    static constexpr uint8_t data4[8] = {0x9F, 0xE6, 0xFC, 0xBD, 0xB1, 0x47, 0x2C, 0x9C};
};

constexpr uint32_t ControlItemCount = 66;
constexpr uint32_t ReadoutWindowItem = 44;

// Request flags of the kernel streaming property header.
constexpr uint32_t ControlGet = 1;
constexpr uint32_t ControlSet = 2;

// Request and reply of every item but ReadoutWindowItem: the property header
// (set, id, flags) and one value.
constexpr uint32_t ControlValueBytes = 32;
constexpr uint32_t ControlValueOffset = 24;

// The request of ReadoutWindowItem: the header, then mode, x, y, width and
// height.
constexpr uint32_t WindowRequestBytes = 48;
constexpr uint32_t WindowModeOffset = 24;

// Item names by id; null for the items that have none.
constexpr const char* ControlItemNames[ControlItemCount] = {
    nullptr,
    "Timeout",
    "Exposure",
    "ExposureMin",
    "ExposureMax",
    "ExposureDefault",
    "GlobalGain",
    "GlobalGainMin",
    "GlobalGainMax",
    "GlobalGainDefault",
    "FlipH",
    "FlipV",
    "ColorEnable",
    "WhiteBalance",
    "RedGain",
    "GreenGain",
    "BlueGain",
    "ColorGainMin",
    "ColorGainMax",
    "ColorGainDefault",
    "Brightness",
    "BrightnessMin",
    "BrightnessMax",
    "BrightnessDefault",
    "Contrast",
    "ContrastMin",
    "ContrastMax",
    "ContrastDefault",
    "Saturation",
    "SaturationMin",
    "SaturationMax",
    "SaturationDefault",
    "Hue",
    "HueMin",
    "HueMax",
    "HueDefault",
    "SubSampleMax",
    "SubSample",
    "SensorWidth",
    "SensorHeight",
    "RoiX",
    "RoiY",
    "RoiW",
    "RoiH",
    "ReadoutWindow",
    "FormatLocked",
    nullptr,
    nullptr,
    "ColorCorrection",
    "HalfClock",
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    "AGC",
    "AEC",
    "CameraNo",
    "ChannelGainMin",
    "ChannelGainMax",
    "Red",
    "Green1",
    "Green2",
    "Blue",
    "ResetReadMode",
    nullptr,
};

}  // namespace diskcam
