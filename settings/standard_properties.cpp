// Gets and sets of the standard properties, mapped onto the private items.
#include "settings/standard_properties.h"

namespace {

// What applications know of the standard properties (diskcam/
// standard_controls.h) is what the table serves.
constexpr bool TableAsApplicationsKnowIt() {
    if (StandardPropertyCount != diskcam::StandardControlCount) {
        return false;
    }
    for (ULONG i = 0; i < StandardPropertyCount; ++i) {
        if (StandardProperties[i].set != diskcam::StandardControls[i].set ||
            StandardProperties[i].id != diskcam::StandardControls[i].id) {
            return false;
        }
    }
    return true;
}
static_assert(TableAsApplicationsKnowIt(), "standard properties");

// Every step of a white-balance range reads back as itself, and the
// default gains read as 6500 K.
constexpr bool TemperatureRoundTrips(const StandardRange& range) {
    for (LONG kelvin = range.minimum; kelvin <= range.maximum; kelvin += range.step) {
        const ColourTemperature gains = GainsOfTemperature(kelvin);
        if (TemperatureOfGains(gains.red, gains.blue) != kelvin) {
            return false;
        }
    }
    return range.defaultValue == 6500;
}

constexpr bool TemperaturesRoundTrip() {
    for (const StandardProperty& property : StandardProperties) {
        if (property.mapping == StandardMapping::ColourTemperature &&
            !TemperatureRoundTrips(RangeOf(property))) {
            return false;
        }
    }
    return true;
}
static_assert(TemperaturesRoundTrip(), "white balance steps");

const ControlItem& Item(ULONG id) {
    return ControlItems[id];
}

LONG Clamp(LONG value, const StandardRange& range) {
    return value < range.minimum ? range.minimum : value > range.maximum ? range.maximum : value;
}

// 2^(L + 13), at most the exposure's maximum (8191 for 2^13).
LONG Log2SecondsToExposure(const StandardProperty& property, LONG log2Seconds) {
    const LONG exposure = LONG{1} << (Clamp(log2Seconds, RangeOf(property)) + ExposureLog2Offset);
    const LONG maximum = Item(property.maximumItem).constant;
    return exposure > maximum ? maximum : exposure;
}

// Manual white balance: automatic white balance off (which keeps the gains
// it found), then the temperature's gains.
void WriteTemperature(CameraDevice* camera, LONG kelvin) {
    WriteControl(camera, Item(WhiteBalanceItem), 0);
    const ColourTemperature gains = GainsOfTemperature(kelvin);
    WriteControl(camera, Item(RedGainItem), gains.red);
    WriteControl(camera, Item(BlueGainItem), gains.blue);
}

}  // namespace

const StandardProperty* FindStandardProperty(StandardSet set, ULONG id) {
    for (const StandardProperty& property : StandardProperties) {
        if (property.set == set && property.id == id) {
            return &property;
        }
    }
    return nullptr;
}

LONG ReadStandardProperty(CameraDevice* camera, const StandardProperty& property, bool* automatic) {
    *automatic = property.autoItem != NoItem && ReadControl(camera, Item(property.autoItem)) != 0;
    const LONG value = ReadControl(camera, Item(property.item));
    switch (property.mapping) {
        case StandardMapping::ColourTemperature:
            return TemperatureOfGains(value, ReadControl(camera, Item(BlueGainItem)));
        case StandardMapping::Log2Seconds:
            return ExposureToLog2Seconds(value);
        case StandardMapping::ModeFlag:
            return value != 0 ? 1 : 0;
        default:
            return value;
    }
}

bool WriteStandardProperty(CameraDevice* camera, const StandardProperty& property, LONG value,
                           bool automatic) {
    if (automatic) {
        if (property.autoItem == NoItem) {
            return false;
        }
        WriteControl(camera, Item(property.autoItem), 1);
        return true;
    }
    switch (property.mapping) {
        case StandardMapping::ColourTemperature:
            WriteTemperature(camera, value);
            break;
        case StandardMapping::Log2Seconds:
            WriteControl(camera, Item(property.item), Log2SecondsToExposure(property, value));
            break;
        default:
            WriteControl(camera, Item(property.item), value);
            break;
    }
    return true;
}

ULONG ReadVideoControlMode(CameraDevice* camera) {
    ULONG mode = 0;
    for (const StandardProperty& property : StandardProperties) {
        bool automatic;
        if (property.mapping == StandardMapping::ModeFlag &&
            ReadStandardProperty(camera, property, &automatic) != 0) {
            mode |= property.modeFlag;
        }
    }
    return mode;
}

bool WriteVideoControlMode(CameraDevice* camera, ULONG mode) {
    if ((mode & ~VideoControlCapabilities()) != 0) {
        return false;
    }
    for (const StandardProperty& property : StandardProperties) {
        if (property.mapping == StandardMapping::ModeFlag) {
            WriteControl(camera, Item(property.item), (mode & property.modeFlag) != 0 ? 1 : 0);
        }
    }
    return true;
}
