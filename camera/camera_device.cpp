// Construction and destruction of the per-device context, and the operations
// of its table that are not transfers or sensor programming.
#include "camera/camera_device.h"

#include "camera/sensor.h"
#include "camera/transport.h"
#include "platform/atomics.h"
#include "platform/disk.h"
#include "platform/pool.h"
#include "settings/registry_settings.h"

CameraDevice* AllocateCameraDevice(KSDEVICE* device) {
    void* memory = PoolAllocate(sizeof(CameraDevice), PoolTagContext);
    if (memory == nullptr) {
        return nullptr;
    }
    // Value-initialisation zeroes every field and sets the operation table,
    // whatever the pool left in the block.
    CameraDevice* camera = new (memory) CameraDevice();
    camera->Device = device;
    camera->ReadModeShadow = ReadModeFull;
    InitializePassiveLock(&camera->PipelineLock);
    return camera;
}

void SetConstructionValues(CameraDevice* camera) {
    camera->BasePhase = 0;
    __builtin_memset(
        &camera->Timeout, 0,
        reinterpret_cast<UCHAR*>(&camera->Blue + 1) - reinterpret_cast<UCHAR*>(&camera->Timeout));
    camera->PhysicalDeviceObject = camera->Device->PhysicalDeviceObject;
    camera->BayerPhase = camera->BasePhase;
    camera->Timeout = 3000;
    camera->RedGain = camera->GreenGain = camera->BlueGain = 128;
    camera->ColorEnable = 1;
    camera->ColorCorrection = 1;
    camera->Contrast = camera->Saturation = 10;
    camera->Red = camera->Green1 = camera->Green2 = camera->Blue = 63;
    camera->Brightness = 255;
    SetReadoutWindow(camera, 0, 0, SensorWidth, SensorHeight, 0);
    __builtin_memset(camera->CommandSector, 0, SectorBytes);
    __builtin_memset(camera->StatusSector, 0, SectorBytes);
}

void NTAPI DestroyCameraDevice(void* record) {
    CameraDevice* camera = static_cast<CameraDevice*>(record);
    camera->CloseLink();
    camera->SaveSettings();
    PoolFree(camera, PoolTagContext);
}

void CameraDevice::SignalFrameReady() {
    if (AttachedPin != nullptr) {
        AttachedPin->RequestProcessing();
    }
}

bool CameraDevice::ReadFrame(void* buffer, bool* ok) {
    bool written = false;
    *ok = TransferFrame(this, buffer, &written);
    if (*ok) {
        ApplyStagedSettings(this);
    }
    return written;
}

void CameraDevice::GetFrameBytes(ULONG* frameBytes) {
    *frameBytes = FrameBytes;
}

void CameraDevice::GetFrameOffset(LONG* frameOffset) {
    *frameOffset = FrameOffset;
}

void CameraDevice::GetFrameStride(LONG* frameStride) {
    *frameStride = FrameStride;
}

void CameraDevice::OnStopped() {}

void CameraDevice::OnStopping() {}

void CameraDevice::CloseLink() {
    if (LinkHandle != nullptr) {
        CloseDisk(LinkHandle);
        LinkHandle = nullptr;
    }
    AtomicExchange(&LinkLost, 0);
}

HANDLE CameraDevice::OpenLink() {
    CloseLink();
    LinkHandle = FindCamera(this);
    return LinkHandle;
}

bool CameraDevice::SaveSettings() {
    return ::SaveSettings(this);
}
