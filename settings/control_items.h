// The 66 items of ControlPropertySet as one table: what a get of each item
// returns and what a set does, served by ReadControl, WriteControl and
// WriteReadoutWindow. The table lives here, not in control_items.cpp, because
// the property set's items (control_property_set.cpp) are built from it at
// compile time.
#pragma once

#include "camera/camera_device.h"
#include "pipeline/image_pipeline.h"
#include "settings/control_property_set.h"

// What a get of an item returns.
enum class ControlGet : UCHAR {
    NotOffered,
    Constant,  // the item's constant
    Field,     // the device field
    Pipeline,  // the attached pipeline's setting, stored into the field; else the field
    FlipV,     // FlipV, or the sensor's read mode when no flip change is pending
    Cleared,   // zeroes the field and returns 0
};

// What a set of an item does with its value.
enum class ControlSet : UCHAR {
    NotOffered,
    Ignored,        // accepted without effect
    TakenAbove,     // stored only when above low, compared unsigned
    Unsigned,       // clamped to low..high, compared unsigned
    Signed,         // clamped to low..high
    Unclamped,      // stored as given
    GlobalGain,     // as Unsigned, and stored into the four channel gains too
    FlipV,          // non-zero stores 1
    WhiteBalance,   // SetWhiteBalance
    ResetReadMode,  // the read-mode shadow back to full resolution, nothing written
    ReadoutWindow,  // SetReadoutWindow from a WindowRequest
};

// The device field behind an item: how the capture side shares it, and the
// sensor register group a set leaves pending.
struct ControlField {
    ULONG* (*word)(CameraDevice* camera);
    bool interlocked;
    ULONG pending;
};

// The pipeline setting behind an item and its setter.
struct ControlPipeline {
    LONG* (*setting)(ImagePipeline* pipeline);
    void (*setter)(ImagePipeline* pipeline, LONG value);
};

struct ControlItem {
    ULONG id;
    const char* name;  // null for an item without a name
    ControlGet get;
    ControlSet set;
    LONG constant;  // what ControlGet::Constant returns
    LONG low;       // the bounds of the set's clamp
    LONG high;
    ControlField field;
    ControlPipeline pipeline;
};

// Every setting is a 32-bit word; signed ones are handled through their
// unsigned view.
template <auto Field>
ULONG* ControlWord(CameraDevice* camera) {
    static_assert(sizeof(camera->*Field) == sizeof(ULONG), "settings are 32-bit words");
    return reinterpret_cast<ULONG*>(&(camera->*Field));
}

template <LONG ImagePipeline::*Setting>
LONG* PipelineSetting(ImagePipeline* pipeline) {
    return &(pipeline->*Setting);
}

#define NO_FIELD \
    { nullptr, false, 0 }
#define FIELD(name) \
    { ControlWord<&CameraDevice::name>, false, 0 }
#define INTERLOCKED(name, pending) \
    { ControlWord<&CameraDevice::name>, true, pending }
#define NO_PIPELINE \
    { nullptr, nullptr }
#define PIPELINE(setting, setter) \
    { PipelineSetting<&ImagePipeline::setting>, setter }

// clang-format off
inline constexpr ControlItem ControlItems[] = {
    {0, nullptr, ControlGet::Constant, ControlSet::Ignored, 0, 0, 0, NO_FIELD, NO_PIPELINE},
    {1, "Timeout", ControlGet::Field, ControlSet::TakenAbove, 0, 500, 0, FIELD(Timeout), NO_PIPELINE},
    {2, "Exposure", ControlGet::Field, ControlSet::Unsigned, 0, 1, 8191, INTERLOCKED(Exposure, PendingExposure), NO_PIPELINE},
    {3, "ExposureMin", ControlGet::Constant, ControlSet::NotOffered, 1, 0, 0, NO_FIELD, NO_PIPELINE},
    {4, "ExposureMax", ControlGet::Constant, ControlSet::NotOffered, 8191, 0, 0, NO_FIELD, NO_PIPELINE},
    {5, "ExposureDefault", ControlGet::Constant, ControlSet::NotOffered, 8, 0, 0, NO_FIELD, NO_PIPELINE},
    {6, "GlobalGain", ControlGet::Field, ControlSet::GlobalGain, 0, 0, 127, INTERLOCKED(GlobalGain, PendingGains), NO_PIPELINE},
    {7, "GlobalGainMin", ControlGet::Constant, ControlSet::NotOffered, 0, 0, 0, NO_FIELD, NO_PIPELINE},
    {8, "GlobalGainMax", ControlGet::Constant, ControlSet::NotOffered, 127, 0, 0, NO_FIELD, NO_PIPELINE},
    {9, "GlobalGainDefault", ControlGet::Constant, ControlSet::NotOffered, 14, 0, 0, NO_FIELD, NO_PIPELINE},
    {10, "FlipH", ControlGet::Field, ControlSet::Ignored, 0, 0, 0, FIELD(FlipH), NO_PIPELINE},
    {11, "FlipV", ControlGet::FlipV, ControlSet::FlipV, 0, 0, 1, FIELD(FlipV), NO_PIPELINE},
    {12, "ColorEnable", ControlGet::Pipeline, ControlSet::Unclamped, 0, 0, 0, FIELD(ColorEnable), PIPELINE(colourEnabled, SetColourEnabled)},
    {13, "WhiteBalance", ControlGet::Pipeline, ControlSet::WhiteBalance, 0, 0, 0, FIELD(WhiteBalance), PIPELINE(whiteBalanceEnabled, nullptr)},
    {14, "RedGain", ControlGet::Pipeline, ControlSet::Signed, 0, 0, 300, FIELD(RedGain), PIPELINE(redGainSetting, SetRedGain)},
    {15, "GreenGain", ControlGet::Pipeline, ControlSet::Signed, 0, 0, 300, FIELD(GreenGain), PIPELINE(greenGainSetting, SetGreenGain)},
    {16, "BlueGain", ControlGet::Pipeline, ControlSet::Signed, 0, 0, 300, FIELD(BlueGain), PIPELINE(blueGainSetting, SetBlueGain)},
    {17, "ColorGainMin", ControlGet::Constant, ControlSet::NotOffered, 1, 0, 0, NO_FIELD, NO_PIPELINE},
    {18, "ColorGainMax", ControlGet::Constant, ControlSet::NotOffered, 255, 0, 0, NO_FIELD, NO_PIPELINE},
    {19, "ColorGainDefault", ControlGet::Constant, ControlSet::NotOffered, 128, 0, 0, NO_FIELD, NO_PIPELINE},
    {20, "Brightness", ControlGet::Pipeline, ControlSet::Signed, 0, 0, 510, FIELD(Brightness), PIPELINE(brightness, SetBrightness)},
    {21, "BrightnessMin", ControlGet::Constant, ControlSet::NotOffered, 0, 0, 0, NO_FIELD, NO_PIPELINE},
    {22, "BrightnessMax", ControlGet::Constant, ControlSet::NotOffered, 510, 0, 0, NO_FIELD, NO_PIPELINE},
    {23, "BrightnessDefault", ControlGet::Constant, ControlSet::NotOffered, 255, 0, 0, NO_FIELD, NO_PIPELINE},
    {24, "Contrast", ControlGet::Pipeline, ControlSet::Signed, 0, 0, 20, FIELD(Contrast), PIPELINE(contrast, SetContrast)},
    {25, "ContrastMin", ControlGet::Constant, ControlSet::NotOffered, 0, 0, 0, NO_FIELD, NO_PIPELINE},
    {26, "ContrastMax", ControlGet::Constant, ControlSet::NotOffered, 20, 0, 0, NO_FIELD, NO_PIPELINE},
    {27, "ContrastDefault", ControlGet::Constant, ControlSet::NotOffered, 10, 0, 0, NO_FIELD, NO_PIPELINE},
    {28, "Saturation", ControlGet::Pipeline, ControlSet::Signed, 0, 0, 20, FIELD(Saturation), PIPELINE(saturation, SetSaturation)},
    {29, "SaturationMin", ControlGet::Constant, ControlSet::NotOffered, 0, 0, 0, NO_FIELD, NO_PIPELINE},
    {30, "SaturationMax", ControlGet::Constant, ControlSet::NotOffered, 20, 0, 0, NO_FIELD, NO_PIPELINE},
    {31, "SaturationDefault", ControlGet::Constant, ControlSet::NotOffered, 10, 0, 0, NO_FIELD, NO_PIPELINE},
    {32, "Hue", ControlGet::Pipeline, ControlSet::Signed, 0, 0, 359, FIELD(Hue), PIPELINE(hue, SetHue)},
    {33, "HueMin", ControlGet::Constant, ControlSet::NotOffered, 0, 0, 0, NO_FIELD, NO_PIPELINE},
    {34, "HueMax", ControlGet::Constant, ControlSet::NotOffered, 359, 0, 0, NO_FIELD, NO_PIPELINE},
    {35, "HueDefault", ControlGet::Constant, ControlSet::NotOffered, 0, 0, 0, NO_FIELD, NO_PIPELINE},
    {36, "SubSampleMax", ControlGet::Constant, ControlSet::NotOffered, 2, 0, 0, NO_FIELD, NO_PIPELINE},
    {37, "SubSample", ControlGet::Field, ControlSet::NotOffered, 0, 0, 0, FIELD(SubSample), NO_PIPELINE},
    {38, "SensorWidth", ControlGet::Constant, ControlSet::NotOffered, SensorWidth, 0, 0, NO_FIELD, NO_PIPELINE},
    {39, "SensorHeight", ControlGet::Constant, ControlSet::NotOffered, SensorHeight, 0, 0, NO_FIELD, NO_PIPELINE},
    {40, "RoiX", ControlGet::Field, ControlSet::NotOffered, 0, 0, 0, FIELD(RoiX), NO_PIPELINE},
    {41, "RoiY", ControlGet::Field, ControlSet::NotOffered, 0, 0, 0, FIELD(RoiY), NO_PIPELINE},
    {42, "RoiW", ControlGet::Field, ControlSet::NotOffered, 0, 0, 0, FIELD(RoiW), NO_PIPELINE},
    {43, "RoiH", ControlGet::Field, ControlSet::NotOffered, 0, 0, 0, FIELD(RoiH), NO_PIPELINE},
    {44, "ReadoutWindow", ControlGet::NotOffered, ControlSet::ReadoutWindow, 0, 0, 0, NO_FIELD, NO_PIPELINE},
    {45, "FormatLocked", ControlGet::Field, ControlSet::NotOffered, 0, 0, 0, INTERLOCKED(FormatLock, 0), NO_PIPELINE},
    {46, nullptr, ControlGet::Constant, ControlSet::NotOffered, 0, 0, 0, NO_FIELD, NO_PIPELINE},
    {47, nullptr, ControlGet::NotOffered, ControlSet::Ignored, 0, 0, 0, NO_FIELD, NO_PIPELINE},
    {48, "ColorCorrection", ControlGet::Pipeline, ControlSet::Unclamped, 0, 0, 0, FIELD(ColorCorrection), PIPELINE(colourCorrection, SetColourCorrection)},
    {49, "HalfClock", ControlGet::Cleared, ControlSet::Ignored, 0, 0, 0, FIELD(HalfClock), NO_PIPELINE},
    {50, nullptr, ControlGet::Constant, ControlSet::NotOffered, 0, 0, 0, NO_FIELD, NO_PIPELINE},
    {51, nullptr, ControlGet::Constant, ControlSet::NotOffered, 0, 0, 0, NO_FIELD, NO_PIPELINE},
    {52, nullptr, ControlGet::Constant, ControlSet::NotOffered, 1, 0, 0, NO_FIELD, NO_PIPELINE},
    {53, nullptr, ControlGet::Constant, ControlSet::NotOffered, 0, 0, 0, NO_FIELD, NO_PIPELINE},
    {54, nullptr, ControlGet::Constant, ControlSet::NotOffered, 0, 0, 0, NO_FIELD, NO_PIPELINE},
    {55, "AGC", ControlGet::Cleared, ControlSet::Ignored, 0, 0, 0, FIELD(AGC), NO_PIPELINE},
    {56, "AEC", ControlGet::Cleared, ControlSet::Ignored, 0, 0, 0, FIELD(AEC), NO_PIPELINE},
    {57, "CameraNo", ControlGet::Field, ControlSet::Signed, 0, 0, 31, FIELD(CameraNo), NO_PIPELINE},
    {58, "ChannelGainMin", ControlGet::Constant, ControlSet::NotOffered, 0, 0, 0, NO_FIELD, NO_PIPELINE},
    {59, "ChannelGainMax", ControlGet::Constant, ControlSet::NotOffered, 127, 0, 0, NO_FIELD, NO_PIPELINE},
    {60, "Red", ControlGet::Field, ControlSet::Unclamped, 0, 0, 0, INTERLOCKED(Red, PendingRed), NO_PIPELINE},
    {61, "Green1", ControlGet::Field, ControlSet::Unclamped, 0, 0, 0, INTERLOCKED(Green1, PendingGreen1), NO_PIPELINE},
    {62, "Green2", ControlGet::Field, ControlSet::Unclamped, 0, 0, 0, INTERLOCKED(Green2, PendingGreen2), NO_PIPELINE},
    {63, "Blue", ControlGet::Field, ControlSet::Unclamped, 0, 0, 0, INTERLOCKED(Blue, PendingBlue), NO_PIPELINE},
    {64, "ResetReadMode", ControlGet::NotOffered, ControlSet::ResetReadMode, 0, 0, 0, NO_FIELD, NO_PIPELINE},
    {65, nullptr, ControlGet::Constant, ControlSet::NotOffered, 1, 0, 0, NO_FIELD, NO_PIPELINE},
};
// clang-format on

#undef NO_FIELD
#undef FIELD
#undef INTERLOCKED
#undef NO_PIPELINE
#undef PIPELINE

static_assert(sizeof(ControlItems) / sizeof(ControlItems[0]) == ControlItemCount,
              "one entry per item");

constexpr bool IdsAreIndexes() {
    for (ULONG i = 0; i < ControlItemCount; ++i) {
        if (ControlItems[i].id != i) {
            return false;
        }
    }
    return true;
}
static_assert(IdsAreIndexes(), "items are listed by id, from 0");

// The value a get returns. Takes PipelineLock for the pipeline-backed items
// and FlipV: call it without that lock held.
LONG ReadControl(CameraDevice* camera, const ControlItem& item);

// The effect of a set; values out of range are clamped, never refused. Takes
// PipelineLock for the pipeline-backed items and FlipV.
void WriteControl(CameraDevice* camera, const ControlItem& item, LONG value);

// SetReadoutWindow with the request's window; nothing changes, and false
// comes back, while a capture pin exists.
bool WriteReadoutWindow(CameraDevice* camera, const WindowRequest& request);
