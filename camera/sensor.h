// Sensor programming: the readout window and its derived sizes, the Bayer
// phase of the first delivered pixel, the full configuration at stream start,
// and the exposure, gain and flip registers written between frames.
#pragma once

#include "camera/camera_device.h"

// Sensor registers written by the driver.
enum SensorRegister : USHORT {
    RegisterParameterHold = 0x0104,
    RegisterIntegrationTime = 0x0202,
    RegisterFrameLines = 0x0340,
    RegisterLineLength = 0x0342,
    RegisterFirstColumn = 0x0344,
    RegisterFirstRow = 0x0346,
    RegisterLastColumn = 0x0348,
    RegisterLastRow = 0x034A,
    RegisterOutputWidth = 0x034C,
    RegisterOutputHeight = 0x034E,
    RegisterTiming0400 = 0x0400,
    RegisterTiming0404 = 0x0404,
    RegisterTiming3010 = 0x3010,
    RegisterTiming3014 = 0x3014,
    RegisterTiming3018 = 0x3018,
    RegisterTiming301A = 0x301A,
    RegisterReadMode = 0x3040,
    RegisterGainGreen1 = 0x3056,
    RegisterGainBlue = 0x3058,
    RegisterGainRed = 0x305A,
    RegisterGainGreen2 = 0x305C,
    RegisterGainGlobal = 0x305E,
};

constexpr ULONG ReadModeFull = 0x41;
constexpr ULONG ReadModeHalf = 0xC3;
constexpr ULONG ReadModeQuarter = 0x1C7;
constexpr ULONG ReadModeFlip = 0x8000;

// Clamps the window for mode 0, stores it and the derived window and output
// sizes, and rewrites the advertised data range. Does nothing and returns
// false while a capture pin exists.
bool SetReadoutWindow(CameraDevice* camera, LONG x, LONG y, LONG width, LONG height, LONG mode);

ULONG ComputeBayerPhase(CameraDevice* camera);

bool ApplyGains(CameraDevice* camera);

// The register writes that follow a frame transfer, chosen by FrameCount.
void ApplyStagedSettings(CameraDevice* camera);

void SetWhiteBalance(CameraDevice* camera, LONG value);
