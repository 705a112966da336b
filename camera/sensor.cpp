// What is written into the sensor and when, and the quantities derived from
// the readout window.
#include "camera/sensor.h"

#include "camera/transport.h"
#include "driver/data_range.h"
#include "pipeline/image_pipeline.h"
#include "platform/atomics.h"

namespace {

constexpr ULONG GainMarker = 0x1000;  // bit 12 of every gain value
constexpr LONG MaxChannelGain = 127;

constexpr LONG HalfWidth = 2192;
constexpr LONG HalfHeight = 1644;
constexpr LONG QuarterWidth = 1096;
constexpr LONG QuarterHeight = 822;
constexpr LONG MinWindow = 32;
constexpr LONG ColumnAddressOffset = 24;
constexpr LONG ExtraFrameLines = 143;

struct WindowRegisters {
    ULONG frameLines;
    ULONG lineLength;
    ULONG firstColumn;
    ULONG firstRow;
    ULONG lastColumn;
    ULONG lastRow;
    ULONG outputWidth;
    ULONG outputHeight;
    ULONG readMode;
};

bool IsOdd(LONG value) {
    return (value & 1) != 0;
}

void ClampFreeWindow(LONG* x, LONG* y, LONG* width, LONG* height) {
    if (*x < 0 || *x >= SensorWidth - MinWindow) {
        *x = 0;
    }
    if (*y < 0 || *y >= SensorHeight - MinWindow) {
        *y = 0;
    }
    if (*width < MinWindow) {
        *width = MinWindow;
    }
    if (*height < MinWindow) {
        *height = MinWindow;
    }
    // In 64 bits: a width near the largest 32-bit value must not wrap.
    if (LONGLONG(*x) + *width > SensorWidth) {
        *width = SensorWidth - *x;
    }
    if (LONGLONG(*y) + *height > SensorHeight) {
        *height = SensorHeight - *y;
    }
}

WindowRegisters ComputeWindowRegisters(const CameraDevice* camera) {
    switch (camera->SubSample) {
        case 1:
            return {1787, 4696, 24, 0, 4408, 3288, HalfWidth, HalfHeight, ReadModeHalf};
        case 2:
            return {965, 2604, 24, 0, 4408, 3288, QuarterWidth, QuarterHeight, ReadModeQuarter};
        default:
            break;
    }
    ULONG w = static_cast<ULONG>(camera->WindowWidth);
    ULONG h = static_cast<ULONG>(camera->WindowHeight);
    ULONG x = static_cast<ULONG>(camera->RoiX);
    ULONG y = static_cast<ULONG>(camera->RoiY);
    ULONG widest = w > 1224 ? w : 1224;
    return {h + ExtraFrameLines,
            2 * (widest + 312),
            x + ColumnAddressOffset,
            y,
            x + w + 23,
            y + h - 1,
            w,
            h,
            ReadModeFull};
}

bool WriteWindowBlock(CameraDevice* camera, const WindowRegisters& r) {
    const struct {
        USHORT address;
        ULONG value;
    } sequence[] = {
        {RegisterFrameLines, r.frameLines},
        {RegisterLineLength, r.lineLength},
        {RegisterFirstColumn, r.firstColumn},
        {RegisterFirstRow, r.firstRow},
        {RegisterLastColumn, r.lastColumn},
        {RegisterLastRow, r.lastRow},
        {RegisterOutputWidth, r.outputWidth},
        {RegisterOutputHeight, r.outputHeight},
        {RegisterTiming0400, 0},
        {RegisterTiming0404, 16},
        {RegisterTiming3018, 0},
        {RegisterTiming3010, 0x94},
        {RegisterTiming3014, 0x3FC},
        {RegisterTiming301A, 0x10DE},
        {RegisterParameterHold, 0},
        {RegisterReadMode, r.readMode},
    };
    // Failed writes are neither retried nor allowed to stop the sequence,
    // but they are reported: a sensor that missed one streams another window.
    bool written = true;
    for (const auto& write : sequence) {
        written &= WriteSensorRegister(camera, write.address, static_cast<USHORT>(write.value));
    }
    return written;
}

USHORT ChannelGainValue(const LONG* setting) {
    LONG gain = AtomicRead(setting);
    if (gain < 0) {
        gain = 0;
    }
    if (gain > MaxChannelGain) {
        gain = MaxChannelGain;
    }
    return static_cast<USHORT>(static_cast<ULONG>(gain) | GainMarker);
}

void WriteExposure(CameraDevice* camera) {
    WriteSensorRegister(camera, RegisterIntegrationTime,
                        static_cast<USHORT>(AtomicRead(&camera->Exposure)));
}

void ApplyReadMode(CameraDevice* camera) {
    ULONG mode = RelaxedRead(&camera->ReadModeShadow);
    mode = RelaxedRead(&camera->FlipV) != 0 ? (mode | ReadModeFlip) : (mode & (ReadModeFlip - 1));
    if (!WriteSensorRegister(camera, RegisterReadMode, static_cast<USHORT>(mode))) {
        return;
    }
    RelaxedWrite(&camera->ReadModeShadow, mode);
    // For the frames read from now on; each raw slot keeps the phase its
    // frame was read with, and the conversion takes it from there.
    ComputeBayerPhase(camera);
}

struct ChannelGain {
    ULONG pendingBit;
    LONG CameraDevice::*setting;
    USHORT address;
};

constexpr ChannelGain ChannelGains[] = {
    {PendingRed, &CameraDevice::Red, RegisterGainRed},
    {PendingGreen1, &CameraDevice::Green1, RegisterGainGreen1},
    {PendingGreen2, &CameraDevice::Green2, RegisterGainGreen2},
    {PendingBlue, &CameraDevice::Blue, RegisterGainBlue},
};

void WriteChannelGain(CameraDevice* camera, const ChannelGain& channel) {
    WriteSensorRegister(camera, channel.address, ChannelGainValue(&(camera->*channel.setting)));
}

void StoreReadoutWindow(CameraDevice* camera, LONG x, LONG y, LONG width, LONG height, LONG mode) {
    // A mode outside 0..2 is programmed as mode 0, so it is clamped as one:
    // buffers are sized from this window.
    if (mode != 1 && mode != 2) {
        mode = 0;
        ClampFreeWindow(&x, &y, &width, &height);
    }
    LONG windowWidth = width;
    LONG windowHeight = height;
    if (mode != 0) {
        x = 0;
        y = 0;
        width = SensorWidth;
        height = SensorHeight;
        windowWidth = mode == 1 ? HalfWidth : QuarterWidth;
        windowHeight = mode == 1 ? HalfHeight : QuarterHeight;
    }
    RelaxedWrite(&camera->SubSample, mode);
    RelaxedWrite(&camera->RoiX, x);
    RelaxedWrite(&camera->RoiY, y);
    RelaxedWrite(&camera->RoiW, width);
    RelaxedWrite(&camera->RoiH, height);
    RelaxedWrite(&camera->WindowWidth, windowWidth);
    RelaxedWrite(&camera->WindowHeight, windowHeight);
    RelaxedWrite(&camera->OutputWidth, windowWidth & ~7);
    RelaxedWrite(&camera->OutputHeight, windowHeight);
    UpdateDataRange(camera->AdvertisedRange, static_cast<ULONG>(windowWidth & ~7),
                    static_cast<ULONG>(windowHeight));
}

}  // namespace

// Holds PipelineLock from the check of FormatLock to the last write, so a
// pin created meanwhile on another filter sees the old window or the new one,
// never half of each.
bool SetReadoutWindow(CameraDevice* camera, LONG x, LONG y, LONG width, LONG height, LONG mode) {
    AcquirePassiveLock(&camera->PipelineLock);
    const bool unlocked = AtomicRead(&camera->FormatLock) == 0;
    if (unlocked) {
        StoreReadoutWindow(camera, x, y, width, height, mode);
    }
    ReleasePassiveLock(&camera->PipelineLock);
    return unlocked;
}

ULONG ComputeBayerPhase(CameraDevice* camera) {
    ULONG rowBit = RelaxedRead(&camera->BasePhase) & 1;
    ULONG columnBit = (RelaxedRead(&camera->BasePhase) >> 1) & 1;
    if (IsOdd(RelaxedRead(&camera->RoiY))) {
        rowBit ^= 1;
    }
    if (RelaxedRead(&camera->FlipV) != 0 && !IsOdd(RelaxedRead(&camera->RoiH))) {
        rowBit ^= 1;
    }
    if (RelaxedRead(&camera->FlipH) != 0 && !IsOdd(RelaxedRead(&camera->RoiW))) {
        columnBit ^= 1;
    }
    if (IsOdd(RelaxedRead(&camera->RoiX))) {
        columnBit ^= 1;
    }
    ULONG phase = rowBit + 2 * columnBit;
    RelaxedWrite(&camera->BayerPhase, phase);
    return phase;
}

bool CameraDevice::ConfigureSensor() {
    CloseLink();
    LinkHandle = FindCamera(this);
    if (LinkHandle == nullptr) {
        return false;
    }
    RelaxedWrite(&ReadModeShadow, ReadModeFull);
    bool configured = WriteSensorRegister(this, RegisterParameterHold, 1);
    WindowRegisters registers = ComputeWindowRegisters(this);
    configured &= WriteWindowBlock(this, registers);

    FrameOffset = 0;
    FrameStride = WindowWidth;
    RelaxedWrite(&ReadModeShadow, registers.readMode);
    ULONG bytes = static_cast<ULONG>(WindowWidth) * static_cast<ULONG>(WindowHeight);
    FrameBytes = (bytes % SectorBytes == 0) ? bytes : ((bytes >> 9) + 1) << 9;

    configured &= SendEndOfConfiguration(this);
    ComputeBayerPhase(this);
    AtomicExchange(&PendingChanges, PendingAfterConfiguration);
    if (!configured) {
        // A camera that missed part of its configuration would stream
        // another window, or nothing: no stream on it.
        CloseLink();
        return false;
    }
    // The link stays open for the stream's capture thread: frames come from
    // the camera just configured, whatever disks come and go meanwhile.
    return true;
}

bool ApplyGains(CameraDevice* camera) {
    USHORT gain =
        static_cast<USHORT>(static_cast<ULONG>(AtomicRead(&camera->GlobalGain)) | GainMarker);
    WriteSensorRegister(camera, RegisterGainRed, gain);
    WriteSensorRegister(camera, RegisterGainGreen1, gain);
    WriteSensorRegister(camera, RegisterGainGreen2, gain);
    WriteSensorRegister(camera, RegisterGainBlue, gain);
    return WriteSensorRegister(camera, RegisterGainGlobal, gain);
}

void CameraDevice::ApplyPendingChanges(bool all) {
    ULONG flags = AtomicExchange(&PendingChanges, 0);
    if (all || (flags & PendingExposure) != 0) {
        WriteExposure(this);
    }
    if (all || (flags & PendingGains) != 0) {
        ApplyGains(this);
    }
    if (all || (flags & PendingFlip) != 0) {
        ApplyReadMode(this);
    }
    for (const ChannelGain& channel : ChannelGains) {
        if (all || (flags & channel.pendingBit) != 0) {
            WriteChannelGain(this, channel);
        }
    }
}

void ApplyStagedSettings(CameraDevice* camera) {
    // Read once: a pause resets the count, and a second read could then
    // index past the channel gains.
    const LONG frame = RelaxedRead(&camera->FrameCount);
    switch (frame) {
        case 3:
            WriteExposure(camera);
            break;
        case 5:
            ApplyGains(camera);
            break;
        case 6:
        case 7:
        case 8:
        case 9:
            WriteChannelGain(camera, ChannelGains[frame - 6]);
            break;
        default:
            camera->ApplyPendingChanges(false);
            break;
    }
}

void SetWhiteBalance(CameraDevice* camera, LONG value) {
    RelaxedWrite(&camera->WhiteBalance, static_cast<ULONG>(value));
    AcquirePassiveLock(&camera->PipelineLock);
    ::ImagePipeline* pipeline = camera->ImagePipeline;
    if (pipeline != nullptr) {
        SetWhiteBalanceEnabled(pipeline, value);
        // Switching automatic white balance off keeps its last estimate as
        // the manual gains.
        if (value == 0) {
            LONG red;
            LONG green;
            LONG blue;
            ReadGainSettings(pipeline, &red, &green, &blue);
            RelaxedWrite(&camera->RedGain, red);
            RelaxedWrite(&camera->GreenGain, green);
            RelaxedWrite(&camera->BlueGain, blue);
        }
    }
    ReleasePassiveLock(&camera->PipelineLock);
}
