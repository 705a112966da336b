// Driver registration and device PnP for the class-driver stand-in.
#include "host/ks/device.h"

#include <map>
#include <mutex>

#include "host/ks/filter_factory.h"
#include "host/ks/ks_mutex.h"
#include "host/ks/object_bag.h"
#include "host/ks/object_tree.h"
#include "host/ks/pool_object.h"
#include "host/ks/request.h"
#include "host/nt/bug_check.h"
#include "host/nt/devices.h"
#include "host/nt/kernel_stack.h"
#include "host/nt/pool_control.h"
#include "host/nt/processes.h"

namespace host {

namespace {

struct Registry {
    std::mutex mutex;
    std::map<PDRIVER_OBJECT, const KSDEVICE_DESCRIPTOR*> descriptors;
    // The device mutex of each live device.
    std::map<PKSDEVICE, std::unique_ptr<ks::KsMutex>> deviceMutexes;
};

Registry& Registered() {
    static Registry registry;
    return registry;
}

// Driver Verifier's check at unload: every pool block the driver took is
// back, whoever freed it; the class driver's own records are its business.
void CheckPoolAtUnload() {
    std::string leaks;
    size_t count = 0;
    for (const auto& [tag, live] : PoolLiveAllocationsPerTag()) {
        if (!ks::IsClassDriverTag(tag)) {
            leaks += (leaks.empty() ? "" : ", ") + ("'" + PoolTagName(tag) + "' ") +
                     std::to_string(live) + " allocation(s)";
            count += live;
        }
    }
    if (count != 0) {
        BugCheck(DriverVerifierDetectedViolation, Verifier::PoolLeftAtUnload, 0, 0, count,
                 "driver unload", "pool still allocated: " + leaks);
    }
}

}  // namespace

namespace ks {

KsMutex& DeviceMutex(PKSDEVICE device) {
    Registry& registry = Registered();
    std::lock_guard<std::mutex> lock(registry.mutex);
    auto found = registry.deviceMutexes.find(device);
    if (found == registry.deviceMutexes.end()) {
        BugCheck("device mutex of a device that was never added");
    }
    return *found->second;
}

}  // namespace ks

// The driver object and the service key path as the I/O manager passes
// them to a driver's entry.
Driver::Driver(PDRIVER_INITIALIZE entry) {
    AttachedProcess system(SystemProcessId);
    object_.Type = IO_TYPE_DRIVER;
    object_.Size = sizeof(DRIVER_OBJECT);
    object_.DriverExtension = &extension_;
    object_.DriverInit = entry;
    extension_.DriverObject = &object_;
    RtlInitUnicodeString(&object_.DriverName, DriverName);
    RtlInitUnicodeString(&extension_.ServiceKeyName, ServiceName);
    UNICODE_STRING registryPath;
    RtlInitUnicodeString(&registryPath, ServiceKeyPath);
    entryStatus_ = CallDriver([&] { return entry(&object_, &registryPath); });
}

Driver::~Driver() {
    AttachedProcess system(SystemProcessId);
    if (devices_ != 0) {
        BugCheck("driver unloaded with " + std::to_string(devices_) + " device(s) still present");
    }
    {
        Registry& registry = Registered();
        std::lock_guard<std::mutex> lock(registry.mutex);
        registry.descriptors.erase(&object_);
    }
    CheckPoolAtUnload();
}

const KSDEVICE_DESCRIPTOR* Driver::Descriptor() const {
    Registry& registry = Registered();
    std::lock_guard<std::mutex> lock(registry.mutex);
    auto found = registry.descriptors.find(const_cast<PDRIVER_OBJECT>(&object_));
    return found == registry.descriptors.end() ? nullptr : found->second;
}

Device::Device(Driver& driver) : driver_(driver) {
    functional_.Type = IO_TYPE_DEVICE;
    functional_.Size = sizeof(DEVICE_OBJECT);
    ++driver_.devices_;
    functional_.DriverObject = driver.Object();
    functional_.DeviceType = FILE_DEVICE_KS;
    functional_.StackSize = 2;
    functional_.AlignmentRequirement = FILE_QUAD_ALIGNMENT;
    // The extension leads from the functional device object to the KSDEVICE,
    // as the class driver's device header does on Windows.
    functional_.DeviceExtension = &device_;
    device_.Descriptor = driver.Descriptor();
    device_.FunctionalDeviceObject = &functional_;
    device_.PhysicalDeviceObject = CreatePhysicalDeviceObject();
    device_.NextDeviceObject = device_.PhysicalDeviceObject;
    device_.SystemPowerState = PowerSystemWorking;
    device_.DevicePowerState = PowerDeviceD0;
}

Device::~Device() {
    Remove();
    DeletePhysicalDeviceObject(device_.PhysicalDeviceObject);
    --driver_.devices_;
}

NTSTATUS Device::Add() {
    AttachedProcess system(SystemProcessId);
    if (added_) {
        BugCheck("device added twice");
    }
    {
        Registry& registry = Registered();
        std::lock_guard<std::mutex> lock(registry.mutex);
        registry.deviceMutexes[&device_] = std::make_unique<ks::KsMutex>(
            ks::MutexLevel::Device,
            "the device mutex of device " + Hex(reinterpret_cast<ULONG_PTR>(&device_)));
    }
    device_.Bag = CreateObjectBag();
    ks::RegisterObject(&device_, {KsObjectTypeDevice, nullptr, &device_, this});
    added_ = true;
    const KSDEVICE_DISPATCH* dispatch =
        device_.Descriptor != nullptr ? device_.Descriptor->Dispatch : nullptr;
    NTSTATUS status = STATUS_SUCCESS;
    if (dispatch != nullptr && dispatch->Add != nullptr) {
        status = CallDriver([&] { return dispatch->Add(&device_); });
    }
    // A failed add leaves no device: the class driver frees what it made.
    if (!NT_SUCCESS(status)) {
        Remove();
    }
    return status;
}

NTSTATUS Device::Start() {
    AttachedProcess system(SystemProcessId);
    const KSDEVICE_DISPATCH* dispatch = device_.Descriptor->Dispatch;
    NTSTATUS status = STATUS_SUCCESS;
    if (dispatch != nullptr && dispatch->Start != nullptr) {
        ks::Request start(KsObjectTypeDevice, &device_, IRP_MJ_PNP, IRP_MN_START_DEVICE);
        status =
            CallDriver([&] { return dispatch->Start(&device_, start.Irp(), nullptr, nullptr); });
    }
    device_.Started = NT_SUCCESS(status) ? TRUE : FALSE;
    return status;
}

void Device::Stop() {
    AttachedProcess system(SystemProcessId);
    const KSDEVICE_DISPATCH* dispatch = device_.Descriptor->Dispatch;
    if (dispatch != nullptr && dispatch->Stop != nullptr) {
        ks::Request stop(KsObjectTypeDevice, &device_, IRP_MJ_PNP, IRP_MN_STOP_DEVICE);
        CallDriver([&] { dispatch->Stop(&device_, stop.Irp()); });
    }
    ks::DeleteFilterFactories(&device_, true);
    device_.Started = FALSE;
}

void Device::Remove() {
    if (!added_) {
        return;
    }
    AttachedProcess system(SystemProcessId);
    const KSDEVICE_DISPATCH* dispatch = device_.Descriptor->Dispatch;
    if (dispatch != nullptr && dispatch->Remove != nullptr) {
        ks::Request remove(KsObjectTypeDevice, &device_, IRP_MJ_PNP, IRP_MN_REMOVE_DEVICE);
        CallDriver([&] { dispatch->Remove(&device_, remove.Irp()); });
    }
    ks::DeleteFilterFactories(&device_, false);
    FreeObjectBag(static_cast<ObjectBag*>(device_.Bag));
    device_.Bag = nullptr;
    device_.Context = nullptr;
    device_.Started = FALSE;
    added_ = false;
    ks::UnregisterObject(&device_);
    Registry& registry = Registered();
    std::lock_guard<std::mutex> lock(registry.mutex);
    registry.deviceMutexes.erase(&device_);
}

NTSTATUS Device::SetPower(DEVICE_POWER_STATE state) {
    AttachedProcess system(SystemProcessId);
    const DEVICE_POWER_STATE from = device_.DevicePowerState;
    if (!added_ || state == from) {
        return STATUS_SUCCESS;
    }
    const SYSTEM_POWER_STATE systemState =
        state == PowerDeviceD0 ? PowerSystemWorking : PowerSystemSleeping3;
    const KSDEVICE_DISPATCH* dispatch = device_.Descriptor->Dispatch;
    if (dispatch != nullptr && dispatch->QueryPower != nullptr) {
        ks::Request query(KsObjectTypeDevice, &device_, IRP_MJ_POWER, IRP_MN_QUERY_POWER);
        const NTSTATUS status = CallDriver([&] {
            return dispatch->QueryPower(&device_, query.Irp(), state, from, systemState,
                                        device_.SystemPowerState, PowerActionSleep);
        });
        if (!NT_SUCCESS(status)) {
            return status;
        }
    }
    if (dispatch != nullptr && dispatch->SetPower != nullptr) {
        ks::Request set(KsObjectTypeDevice, &device_, IRP_MJ_POWER, IRP_MN_SET_POWER);
        CallDriver([&] { dispatch->SetPower(&device_, set.Irp(), state, from); });
    }
    device_.DevicePowerState = state;
    device_.SystemPowerState = systemState;
    return STATUS_SUCCESS;
}

size_t Device::BagSize() const {
    return device_.Bag != nullptr ? ObjectBagSize(static_cast<ObjectBag*>(device_.Bag)) : 0;
}

}  // namespace host

NTSTATUS NTAPI KsInitializeDriver(PDRIVER_OBJECT DriverObject, PUNICODE_STRING,
                                  const KSDEVICE_DESCRIPTOR* Descriptor) {
    host::Registry& registry = host::Registered();
    std::lock_guard<std::mutex> lock(registry.mutex);
    registry.descriptors[DriverObject] = Descriptor;
    return STATUS_SUCCESS;
}

void NTAPI KsAcquireDevice(PKSDEVICE Device) {
    host::ks::DeviceMutex(Device).Acquire("KsAcquireDevice");
}

void NTAPI KsReleaseDevice(PKSDEVICE Device) {
    host::ks::DeviceMutex(Device).Release("KsReleaseDevice");
}
