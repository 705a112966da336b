// The per-device context: every camera setting, the link to the camera's disk,
// the readout window and the pending sensor changes. The transfers live in
// camera/transport.cpp, sensor programming in camera/sensor.cpp.
#pragma once

#include "capture/capture_pin_operations.h"
#include "platform/kernel.h"
#include "platform/passive_lock.h"

struct CaptureEngine;
struct ImagePipeline;

// Sensor geometry.
constexpr LONG SensorWidth = 4384;
constexpr LONG SensorHeight = 3288;

// Bits of PendingChanges: groups of sensor registers waiting to be written.
constexpr ULONG PendingGains = 0x1;
constexpr ULONG PendingExposure = 0x2;
constexpr ULONG PendingFlip = 0x8;
constexpr ULONG PendingRed = 0x100;
constexpr ULONG PendingGreen1 = 0x200;
constexpr ULONG PendingGreen2 = 0x400;
constexpr ULONG PendingBlue = 0x800;
// Written by ConfigureSensor: exposure, gains and flip on the first apply.
constexpr ULONG PendingAfterConfiguration = 0x7F;

constexpr ULONG SectorBytes = 512;

// The twelve operations through which the capture side reaches the camera,
// in table order.
class CameraDeviceOperations {
public:
    virtual void SignalFrameReady() = 0;
    virtual bool ConfigureSensor() = 0;
    // Polls for a frame and reads it into buffer. Returns whether the
    // buffer was written to at all (a poll that finds no frame, or fails
    // before the frame data, leaves it as it was); *ok says whether a whole
    // frame arrived.
    virtual bool ReadFrame(void* buffer, bool* ok) = 0;
    virtual void GetFrameBytes(ULONG* frameBytes) = 0;
    virtual void GetFrameOffset(LONG* frameOffset) = 0;
    virtual void GetFrameStride(LONG* frameStride) = 0;
    virtual void OnStopped() = 0;
    virtual void OnStopping() = 0;
    virtual void CloseLink() = 0;
    virtual HANDLE OpenLink() = 0;
    virtual void ApplyPendingChanges(bool all) = 0;
    virtual bool SaveSettings() = 0;

protected:
    ~CameraDeviceOperations() = default;
};

// Zero-filled at allocation; the operation table is its first field. Fields
// marked atomic are touched only through platform/atomics.h; the others that
// cross threads use relaxed access.
struct CameraDevice final : CameraDeviceOperations {
    KSDEVICE* Device;
    PDEVICE_OBJECT PhysicalDeviceObject;
    // What the device publishes (driver/descriptors.h), set at device add:
    // the filter descriptor its factory registers and its data ranges, which
    // SetReadoutWindow keeps at the window's size, under PipelineLock:
    // AdvertisedRange is the first (RGB32) of OutputFormatCount, one for
    // each output format (capture/output_format.h).
    const KSFILTER_DESCRIPTOR* FilterDescriptor;
    KS_DATARANGE_VIDEO* AdvertisedRange;

    // The settings block: what the registry keeps and the property set shows.
    ULONG Timeout;
    LONG Exposure;    // atomic
    LONG GlobalGain;  // atomic
    ULONG FlipH;
    ULONG FlipV;
    ULONG ColorEnable;
    ULONG WhiteBalance;
    LONG RedGain;
    LONG GreenGain;
    LONG BlueGain;
    ULONG ColorCorrection;
    LONG Brightness;
    LONG Contrast;
    LONG Saturation;
    LONG Hue;
    LONG SubSample;
    LONG RoiX;
    LONG RoiY;
    LONG RoiW;
    LONG RoiH;
    ULONG BayerPhase;
    ULONG HalfClock;
    ULONG AGC;
    ULONG AEC;
    LONG Red;     // atomic
    LONG Green1;  // atomic
    LONG Green2;  // atomic
    LONG Blue;    // atomic

    UCHAR CommandSector[SectorBytes];
    UCHAR StatusSector[SectorBytes];

    ULONG PipelineAttached;  // atomic
    ::CaptureEngine* CaptureEngine;
    ::ImagePipeline* ImagePipeline;
    CapturePinOperations* AttachedPin;
    KS_VIDEOINFOHEADER* PinFormat;

    LONG WindowHeight;
    LONG WindowWidth;
    LONG FrameOffset;
    LONG FrameStride;
    ULONG FrameBytes;
    LONG OutputWidth;
    LONG OutputHeight;
    ULONG BasePhase;
    ULONG FormatLock;  // atomic
    HANDLE LinkHandle;
    // Non-zero once a transfer on the link found the camera's disk gone;
    // cleared when the link closes. Written by whoever transfers, read by
    // the capture thread (atomic).
    LONG LinkLost;
    // Transfers on the link that failed, for any reason; incremented by
    // whoever transfers, read by the capture thread (atomic).
    LONG TransferFailures;
    ULONG PendingChanges;  // atomic
    LONG CameraNo;
    ULONG ReadModeShadow;
    LONG FrameCount;
    // The Settings key's SimdLevel, read at device start and never written
    // back: 0 for the best kernels the processor has, 1..3 to force SSE2,
    // AVX2 or AVX-512 at most (atomic).
    ULONG SimdLevel;
    // The Settings key's ConversionThreads, read and kept like SimdLevel: 0
    // for one band per active processor, at most 4; 1..4 bands as given
    // (atomic).
    ULONG ConversionThreads;

    // Held by attach and detach of ImagePipeline and by every path that
    // reaches the attached pipeline from outside the stream.
    PassiveLock PipelineLock;

    void SignalFrameReady() override;
    bool ConfigureSensor() override;
    bool ReadFrame(void* buffer, bool* ok) override;
    void GetFrameBytes(ULONG* frameBytes) override;
    void GetFrameOffset(LONG* frameOffset) override;
    void GetFrameStride(LONG* frameStride) override;
    void OnStopped() override;
    void OnStopping() override;
    void CloseLink() override;
    HANDLE OpenLink() override;
    void ApplyPendingChanges(bool all) override;
    bool SaveSettings() override;
};

// Allocates a zero-filled record from the pool and sets what device add sets
// before the record joins the object bag: the operation table, Device and the
// read-mode shadow. Null when the pool is exhausted.
CameraDevice* AllocateCameraDevice(KSDEVICE* device);

// The construction values, set once the record is the device's context.
void SetConstructionValues(CameraDevice* camera);

// The object bag's free routine: closes the link if a stream left it open,
// saves the settings, then frees the record.
void NTAPI DestroyCameraDevice(void* camera);
