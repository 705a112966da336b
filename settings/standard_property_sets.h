// The standard camera property sets as the class driver sees them: the
// video processing amplifier and camera control items of the filter's
// automation table, and the video control items of the capture pin's. The
// mapping onto the private items lives in standard_properties.h.
#pragma once

#include "settings/control_property_set.h"
#include "settings/standard_properties.h"

extern const GUID VideoProcAmpSetId;
extern const GUID CameraControlSetId;
extern const GUID VideoControlSetId;

constexpr ULONG StandardItemCount(StandardSet set) {
    ULONG count = 0;
    for (const StandardProperty& property : StandardProperties) {
        count += property.set == set ? 1 : 0;
    }
    return count;
}

constexpr ULONG VideoProcAmpItemCount = StandardItemCount(StandardSet::VideoProcAmp);
constexpr ULONG CameraControlItemCount = StandardItemCount(StandardSet::CameraControl);
// The capabilities and the mode.
constexpr ULONG VideoControlItemCount = 2;

extern const PropertyItemList<VideoProcAmpItemCount> VideoProcAmpItems;
extern const PropertyItemList<CameraControlItemCount> CameraControlItems;
extern const PropertyItemList<VideoControlItemCount> VideoControlItems;

// The one stream of the filter is its capture pin, pin 0: the stream index a
// video control request names.
constexpr ULONG CaptureStreamIndex = 0;
