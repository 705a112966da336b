// Driver entry and device dispatch: registration with the class driver and
// the creation of the per-device context.
#include "driver/device.h"

#include "camera/camera_device.h"
#include "platform/device.h"

namespace {

const KSDEVICE_DISPATCH CaptureDeviceDispatch = {
    DeviceAdd,  // Add
    nullptr,    // Start
    nullptr,    // PostStart
    nullptr,    // QueryStop
    nullptr,    // CancelStop
    nullptr,    // Stop
    nullptr,    // QueryRemove
    nullptr,    // CancelRemove
    nullptr,    // Remove
    nullptr,    // QueryCapabilities
    nullptr,    // SurpriseRemoval
    nullptr,    // QueryPower
    nullptr,    // SetPower
    nullptr,    // QueryInterface
};

}  // namespace

// The filter factory is created at device start, so no filter descriptors.
const KSDEVICE_DESCRIPTOR CaptureDeviceDescriptor = {
    &CaptureDeviceDispatch,  // Dispatch
    0,                       // FilterDescriptorsCount
    nullptr,                 // FilterDescriptors
    0,                       // Version
};

extern "C" NTSTATUS DriverEntry(PDRIVER_OBJECT driverObject, PUNICODE_STRING registryPath) {
    return KsInitializeDriver(driverObject, registryPath, &CaptureDeviceDescriptor);
}

NTSTATUS DeviceAdd(PKSDEVICE device) {
    CameraDevice* camera = AllocateCameraDevice(device);
    if (camera == nullptr) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    AcquireDevice(device);
    NTSTATUS status = AddToObjectBag(device->Bag, camera, DestroyCameraDevice);
    ReleaseDevice(device);
    if (!NT_SUCCESS(status)) {
        DestroyCameraDevice(camera);
        return status;
    }
    device->Context = camera;
    SetConstructionValues(camera);
    return STATUS_SUCCESS;
}
