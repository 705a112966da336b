// The standard camera properties the driver serves, as applications see
// them: the name a control application shows, the set and the id in it. The
// video processing amplifier and camera control sets are on the capture
// filter, video control on the capture pin. Plain C++ with no kernel types;
// the sets' GUIDs and records are Windows' own (ksmedia.h).
#pragma once

#include <cstdint>

namespace diskcam {

enum class StandardSet : uint8_t {
    VideoProcAmp,   // PROPSETID_VIDCAP_VIDEOPROCAMP
    CameraControl,  // PROPSETID_VIDCAP_CAMERACONTROL
    VideoControl,   // PROPSETID_VIDCAP_VIDEOCONTROL, on the pin
};

struct StandardControl {
    const char* name;
    StandardSet set;
    uint32_t id;  // the property in its set; for video control, the mode
};

constexpr uint32_t StandardControlCount = 9;

// In the order the driver's table lists them.
constexpr StandardControl StandardControls[StandardControlCount] = {
    {"Brightness", StandardSet::VideoProcAmp, 0},    // KSPROPERTY_VIDEOPROCAMP_BRIGHTNESS
    {"Contrast", StandardSet::VideoProcAmp, 1},      // KSPROPERTY_VIDEOPROCAMP_CONTRAST
    {"Hue", StandardSet::VideoProcAmp, 2},           // KSPROPERTY_VIDEOPROCAMP_HUE
    {"Saturation", StandardSet::VideoProcAmp, 3},    // KSPROPERTY_VIDEOPROCAMP_SATURATION
    {"Gain", StandardSet::VideoProcAmp, 9},          // KSPROPERTY_VIDEOPROCAMP_GAIN
    {"ColorEnable", StandardSet::VideoProcAmp, 6},   // KSPROPERTY_VIDEOPROCAMP_COLORENABLE
    {"WhiteBalance", StandardSet::VideoProcAmp, 7},  // KSPROPERTY_VIDEOPROCAMP_WHITEBALANCE
    {"Exposure", StandardSet::CameraControl, 4},     // KSPROPERTY_CAMERACONTROL_EXPOSURE
    {"FlipVertical", StandardSet::VideoControl, 3},  // KSPROPERTY_VIDEOCONTROL_MODE
};

}  // namespace diskcam
