// Driver entry and device dispatch: registration with the class driver and
// the creation of the per-device context.
#include "driver/device.h"

#include "camera/camera_device.h"
#include "capture/capture_engine.h"
#include "driver/descriptors.h"
#include "platform/cpu_features.h"
#include "platform/device.h"
#include "platform/streaming.h"

namespace {

// The filter factory's reference string, as applications' paths name it.
constexpr WCHAR GlobalReference[] = KERNEL_TEXT("GLOBAL");

// Holding the device mutex. The factory, of the device's own descriptors,
// goes away when the device stops.
NTSTATUS CreateCaptureFilterFactory(KSDEVICE* device, CameraDevice* camera) {
    WCHAR reference[sizeof(GlobalReference) / sizeof(WCHAR)];
    __builtin_memcpy(reference, GlobalReference, sizeof(GlobalReference));
    AcquireDevice(device);
    NTSTATUS status = CreateFilterFactory(device, camera->FilterDescriptor, reference);
    ReleaseDevice(device);
    return status;
}

// The engine loads the stored settings as it is made. A device left without
// one cannot stream: the pin refuses to acquire.
void CreateCaptureEngine(KSDEVICE* device, CameraDevice* camera) {
    CaptureEngine* engine = CreateEngine(camera);
    camera->CaptureEngine = engine;
    if (engine == nullptr) {
        return;
    }
    if (!NT_SUCCESS(AddToObjectBag(device->Bag, engine, FreeEngine))) {
        FreeEngine(engine);
        camera->CaptureEngine = nullptr;
    }
}

const KSDEVICE_DISPATCH CaptureDeviceDispatch = {
    DeviceAdd,       // Add
    DeviceStart,     // Start
    nullptr,         // PostStart
    nullptr,         // QueryStop
    nullptr,         // CancelStop
    DeviceStop,      // Stop
    nullptr,         // QueryRemove
    nullptr,         // CancelRemove
    nullptr,         // Remove
    nullptr,         // QueryCapabilities
    nullptr,         // SurpriseRemoval
    nullptr,         // QueryPower
    DeviceSetPower,  // SetPower
    nullptr,         // QueryInterface
};

}  // namespace

// The filter factory is created at device start, so no filter descriptors.
const KSDEVICE_DESCRIPTOR CaptureDeviceDescriptor = {
    &CaptureDeviceDispatch,  // Dispatch
    0,                       // FilterDescriptorsCount
    nullptr,                 // FilterDescriptors
    0,                       // Version
};

extern "C" NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT driverObject, PUNICODE_STRING registryPath) {
    // The kernel level is chosen once, here.
    SupportedSimdLevel();
    return KsInitializeDriver(driverObject, registryPath, &CaptureDeviceDescriptor);
}

// The descriptors go into the bag first, so that they outlive the camera
// device, whose release saves the settings.
NTSTATUS NTAPI DeviceAdd(PKSDEVICE device) {
    PublishedDescriptors* published = CreatePublishedDescriptors();
    if (published == nullptr) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    AcquireDevice(device);
    NTSTATUS status = AddToObjectBag(device->Bag, published, FreePublishedDescriptors);
    ReleaseDevice(device);
    if (!NT_SUCCESS(status)) {
        FreePublishedDescriptors(published);
        return status;
    }
    CameraDevice* camera = AllocateCameraDevice(device);
    if (camera == nullptr) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    camera->FilterDescriptor = &published->filter;
    camera->AdvertisedRange = published->dataRange;
    AcquireDevice(device);
    status = AddToObjectBag(device->Bag, camera, DestroyCameraDevice);
    ReleaseDevice(device);
    if (!NT_SUCCESS(status)) {
        DestroyCameraDevice(camera);
        return status;
    }
    device->Context = camera;
    SetConstructionValues(camera);
    return STATUS_SUCCESS;
}

// A start of a device that is already started changes nothing; a start after
// a stop makes a new factory and a new engine (the old engine stays in the
// bag until the device goes away).
NTSTATUS NTAPI DeviceStart(PKSDEVICE device, PIRP, PCM_RESOURCE_LIST, PCM_RESOURCE_LIST) {
    auto* camera = static_cast<CameraDevice*>(device->Context);
    if (device->Started || camera == nullptr) {
        return STATUS_SUCCESS;
    }
    if (!NT_SUCCESS(CreateCaptureFilterFactory(device, camera))) {
        return STATUS_SUCCESS;
    }
    CreateCaptureEngine(device, camera);
    return STATUS_SUCCESS;
}

// The class driver removes the filter factory itself.
void NTAPI DeviceStop(PKSDEVICE, PIRP) {}

// The camera's power goes with the system's: in a sleep state its registers
// are lost, so a power-up configures it again.
void NTAPI DeviceSetPower(PKSDEVICE device, PIRP, DEVICE_POWER_STATE to, DEVICE_POWER_STATE from) {
    auto* camera = static_cast<CameraDevice*>(device->Context);
    if (camera == nullptr || to == from) {
        return;
    }
    if (to == PowerDeviceD0) {
        PowerUpStream(camera);
    } else if (from == PowerDeviceD0) {
        PowerDownStream(camera);
    }
}
