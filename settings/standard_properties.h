// The standard camera properties as one table: which private control item
// each one reads and writes, and how its value and range map onto the
// item's. Every get and set goes through ReadControl and WriteControl of that
// item, so the clamps, the locking, the pending sensor changes and the
// persistence are the private set's own. The kernel streaming face lives in
// standard_property_sets.cpp.
//
// The two mappings that are not the identity:
//
// White balance (kelvin). A colour temperature stands for a pair of red and
// blue gains (RedGain, BlueGain; 128 = 1.0), interpolated linearly between
// the points of ColourTemperatures: the gains that make a grey lit by a
// black body of that temperature grey in sRGB, 6500 K being 1.0 and 1.0.
// A set is clamped to 4000..10000 K and rounded to the nearest 250 K step;
// a get reports the step whose gains are nearest (in the sum of the two
// differences, the lower temperature on a tie) to the current gains, which
// while automatic white balance runs are its estimate. The auto flag is
// automatic white balance (the WhiteBalance item).
//
// Exposure (log2 seconds). One Exposure unit counts as 2^-13 s, so the
// setting's range 1..8191 spans -13..0: a set of L stores 2^(L + 13)
// (clamped to 1..8191), a get reports log2(Exposure) - 13 rounded to the
// nearest integer.
#pragma once

#include "diskcam/standard_controls.h"
#include "settings/control_items.h"

using diskcam::StandardSet;

enum class StandardMapping : UCHAR {
    Identity,           // the item's value; its range the item's constants
    Switch,             // the item's value; 0 off, 1 on
    ColourTemperature,  // kelvin onto RedGain and BlueGain
    Log2Seconds,        // log2 seconds onto Exposure
    ModeFlag,           // a bit of the video control mode: the item 0 or 1
};

// The item ids of a property's range in the item's own units, as the private
// set reports them; NoItem where the mapping sets the range itself.
constexpr ULONG NoItem = 0xFFFFFFFF;

struct StandardProperty {
    StandardSet set;
    ULONG id;  // the property in its set
    StandardMapping mapping;
    ULONG item;  // the private item it reads and writes
    ULONG minimumItem;
    ULONG maximumItem;
    ULONG defaultItem;
    ULONG autoItem;  // the item behind the auto flag, or NoItem
    ULONG modeFlag;  // ModeFlag: the mode bit
};

// Private items.
constexpr ULONG ExposureItem = 2;
constexpr ULONG WhiteBalanceItem = 13;
constexpr ULONG RedGainItem = 14;
constexpr ULONG BlueGainItem = 16;

// clang-format off
inline constexpr StandardProperty StandardProperties[] = {
    {StandardSet::VideoProcAmp, KSPROPERTY_VIDEOPROCAMP_BRIGHTNESS, StandardMapping::Identity, 20, 21, 22, 23, NoItem, 0},
    {StandardSet::VideoProcAmp, KSPROPERTY_VIDEOPROCAMP_CONTRAST, StandardMapping::Identity, 24, 25, 26, 27, NoItem, 0},
    {StandardSet::VideoProcAmp, KSPROPERTY_VIDEOPROCAMP_HUE, StandardMapping::Identity, 32, 33, 34, 35, NoItem, 0},
    {StandardSet::VideoProcAmp, KSPROPERTY_VIDEOPROCAMP_SATURATION, StandardMapping::Identity, 28, 29, 30, 31, NoItem, 0},
    {StandardSet::VideoProcAmp, KSPROPERTY_VIDEOPROCAMP_GAIN, StandardMapping::Identity, 6, 7, 8, 9, NoItem, 0},
    {StandardSet::VideoProcAmp, KSPROPERTY_VIDEOPROCAMP_COLORENABLE, StandardMapping::Switch, 12, NoItem, NoItem, NoItem, NoItem, 0},
    {StandardSet::VideoProcAmp, KSPROPERTY_VIDEOPROCAMP_WHITEBALANCE, StandardMapping::ColourTemperature, RedGainItem, NoItem, NoItem, 19, WhiteBalanceItem, 0},
    {StandardSet::CameraControl, KSPROPERTY_CAMERACONTROL_EXPOSURE, StandardMapping::Log2Seconds, ExposureItem, 3, 4, 5, NoItem, 0},
    {StandardSet::VideoControl, KSPROPERTY_VIDEOCONTROL_MODE, StandardMapping::ModeFlag, 11, NoItem, NoItem, NoItem, NoItem, KS_VideoControlFlag_FlipVertical},
};
// clang-format on

constexpr ULONG StandardPropertyCount = sizeof(StandardProperties) / sizeof(StandardProperties[0]);

// The colour temperatures of the white-balance table and the red and blue
// gains of each.
struct ColourTemperature {
    LONG kelvin;
    LONG red;
    LONG blue;
};

inline constexpr ColourTemperature ColourTemperatures[] = {
    {4000, 89, 233},  {4500, 99, 195},  {5000, 108, 170}, {5500, 115, 152}, {6000, 122, 138},
    {6500, 128, 128}, {7000, 133, 120}, {8000, 142, 108}, {9000, 149, 100}, {10000, 155, 94},
};

constexpr LONG KelvinStep = 250;

// Its range in its own units; every step is 1 but white balance's.
struct StandardRange {
    LONG minimum;
    LONG maximum;
    LONG step;
    LONG defaultValue;
};

constexpr LONG ExposureLog2Offset = 13;

// log2(exposure) - 13, rounded to the nearest integer; exposure at least 1.
constexpr LONG ExposureToLog2Seconds(LONG exposure) {
    LONG power = 0;
    while (power < 30 && (LONG{1} << (power + 1)) <= exposure) {
        ++power;
    }
    // Nearer the next power when exposure^2 >= 2^(2 power + 1).
    const LONGLONG square = static_cast<LONGLONG>(exposure) * exposure;
    if (square >= (LONGLONG{1} << (2 * power + 1))) {
        ++power;
    }
    return power - ExposureLog2Offset;
}

// The red and blue gains of a temperature, clamped to the table and
// rounded to its step.
constexpr ColourTemperature GainsOfTemperature(LONG kelvin) {
    constexpr ULONG last = sizeof(ColourTemperatures) / sizeof(ColourTemperatures[0]) - 1;
    const LONG low = ColourTemperatures[0].kelvin;
    const LONG high = ColourTemperatures[last].kelvin;
    kelvin = kelvin < low ? low : kelvin > high ? high : kelvin;
    kelvin = low + (kelvin - low + KelvinStep / 2) / KelvinStep * KelvinStep;
    ULONG upper = 1;
    while (upper < last && ColourTemperatures[upper].kelvin < kelvin) {
        ++upper;
    }
    const ColourTemperature& a = ColourTemperatures[upper - 1];
    const ColourTemperature& b = ColourTemperatures[upper];
    const LONG span = b.kelvin - a.kelvin;
    const LONG into = kelvin - a.kelvin;
    return {kelvin, (a.red * (span - into) + b.red * into + span / 2) / span,
            (a.blue * (span - into) + b.blue * into + span / 2) / span};
}

// The step whose gains are nearest to these.
constexpr LONG TemperatureOfGains(LONG red, LONG blue) {
    constexpr ULONG last = sizeof(ColourTemperatures) / sizeof(ColourTemperatures[0]) - 1;
    LONG best = ColourTemperatures[0].kelvin;
    LONGLONG bestDistance = -1;
    for (LONG kelvin = best; kelvin <= ColourTemperatures[last].kelvin; kelvin += KelvinStep) {
        const ColourTemperature gains = GainsOfTemperature(kelvin);
        const LONGLONG redApart = static_cast<LONGLONG>(red) - gains.red;
        const LONGLONG blueApart = static_cast<LONGLONG>(blue) - gains.blue;
        const LONGLONG distance =
            (redApart < 0 ? -redApart : redApart) + (blueApart < 0 ? -blueApart : blueApart);
        if (bestDistance < 0 || distance < bestDistance) {
            best = kelvin;
            bestDistance = distance;
        }
    }
    return best;
}

constexpr StandardRange RangeOf(const StandardProperty& property) {
    constexpr ULONG last = sizeof(ColourTemperatures) / sizeof(ColourTemperatures[0]) - 1;
    switch (property.mapping) {
        case StandardMapping::Identity:
            return {ControlItems[property.minimumItem].constant,
                    ControlItems[property.maximumItem].constant, 1,
                    ControlItems[property.defaultItem].constant};
        case StandardMapping::Switch:
            // Colour is on at a start with an empty Settings key.
            return {0, 1, 1, 1};
        case StandardMapping::ColourTemperature: {
            const LONG gain = ControlItems[property.defaultItem].constant;
            return {ColourTemperatures[0].kelvin, ColourTemperatures[last].kelvin, KelvinStep,
                    TemperatureOfGains(gain, gain)};
        }
        case StandardMapping::Log2Seconds:
            return {ExposureToLog2Seconds(ControlItems[property.minimumItem].constant),
                    ExposureToLog2Seconds(ControlItems[property.maximumItem].constant), 1,
                    ExposureToLog2Seconds(ControlItems[property.defaultItem].constant)};
        case StandardMapping::ModeFlag:
            break;
    }
    return {0, 1, 1, 0};
}

// The property of the set with the id; null when the set has none.
const StandardProperty* FindStandardProperty(StandardSet set, ULONG id);

// The value a get reports, in the property's units; *automatic says whether
// the property's auto flag is on. Locking as ReadControl's.
LONG ReadStandardProperty(CameraDevice* camera, const StandardProperty& property, bool* automatic);

// Sets the value, or with `automatic` the auto flag (the value is then not
// used). False, changing nothing, for an auto set of a property that has no
// auto flag. Clamps as the private items do.
bool WriteStandardProperty(CameraDevice* camera, const StandardProperty& property, LONG value,
                           bool automatic);

// The video control capabilities: the mode bits the table has.
constexpr ULONG VideoControlCapabilities() {
    ULONG capabilities = 0;
    for (const StandardProperty& property : StandardProperties) {
        if (property.mapping == StandardMapping::ModeFlag) {
            capabilities |= property.modeFlag;
        }
    }
    return capabilities;
}

// The video control mode: each mode bit whose item is set.
ULONG ReadVideoControlMode(CameraDevice* camera);
// Sets every mode bit's item; false, changing nothing, when the mode has a
// bit beyond the capabilities (a horizontal flip: the sensor has no mirror).
bool WriteVideoControlMode(CameraDevice* camera, ULONG mode);
