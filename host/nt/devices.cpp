// Physical device objects and IoOpenDeviceRegistryKey.
#include "host/nt/devices.h"

#include <cstdio>
#include <map>
#include <memory>
#include <mutex>

#include "host/nt/bug_check.h"
#include "host/nt/current_thread.h"
#include "host/nt/fault_plan.h"
#include "host/nt/kernel_parts.h"
#include "host/nt/key_object.h"
#include "host/nt/registry_store.h"

namespace host {
namespace {

struct PhysicalDevice {
    std::unique_ptr<DEVICE_OBJECT> object;
    std::string driverKey;
    std::string deviceKey;
};

struct DeviceTable {
    std::mutex mutex;
    std::map<PDEVICE_OBJECT, PhysicalDevice> devices;
    int created = 0;
};

DeviceTable& Devices() {
    static DeviceTable table;
    return table;
}

std::string FourDigits(int number) {
    char text[8];
    std::snprintf(text, sizeof text, "%04d", number);
    return text;
}

// The device's key path of one kind; empty when the device is unknown.
std::string KeyPath(PDEVICE_OBJECT device, bool driverKey) {
    std::lock_guard<std::mutex> lock(Devices().mutex);
    auto found = Devices().devices.find(device);
    if (found == Devices().devices.end()) {
        return {};
    }
    return driverKey ? found->second.driverKey : found->second.deviceKey;
}

}  // namespace

PDEVICE_OBJECT CreatePhysicalDeviceObject() {
    PhysicalDevice device;
    device.object = std::make_unique<DEVICE_OBJECT>();
    device.object->Size = sizeof(DEVICE_OBJECT);
    PDEVICE_OBJECT pointer = device.object.get();
    {
        std::lock_guard<std::mutex> lock(Devices().mutex);
        std::string instance = FourDigits(Devices().created++);
        device.driverKey =
            "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Class\\"
            "{ca3e7ab9-b4c3-4ae6-8251-579ef933890f}\\" +
            instance;
        device.deviceKey = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\ROOT\\IMAGE\\" +
                           instance + "\\Device Parameters";
        RegistryCreateKey(device.driverKey);
        RegistryCreateKey(device.deviceKey);
        Devices().devices[pointer] = std::move(device);
    }
    return pointer;
}

void DeletePhysicalDeviceObject(PDEVICE_OBJECT device) {
    std::lock_guard<std::mutex> lock(Devices().mutex);
    if (Devices().devices.erase(device) == 0) {
        BugCheck("DeletePhysicalDeviceObject of an unknown device object");
    }
}

std::string DriverKeyPath(PDEVICE_OBJECT device) {
    return KeyPath(device, true);
}

std::string DeviceKeyPath(PDEVICE_OBJECT device) {
    return KeyPath(device, false);
}

namespace nt {

void ResetDevices() {
    std::lock_guard<std::mutex> lock(Devices().mutex);
    Devices().devices.clear();
    Devices().created = 0;
}

}  // namespace nt
}  // namespace host

NTSTATUS NTAPI IoOpenDeviceRegistryKey(PDEVICE_OBJECT DeviceObject, ULONG DevInstKeyType,
                                       ACCESS_MASK DesiredAccess, PHANDLE DevInstRegKey) {
    host::nt::RequirePassiveLevel("IoOpenDeviceRegistryKey");
    if (DevInstRegKey == nullptr) {
        host::BugCheck("IoOpenDeviceRegistryKey with a null handle pointer");
    }
    if (const auto fault = host::nt::TakeCall(host::FaultSite::RegistryCall); fault.fail) {
        return fault.status;
    }
    if (DevInstKeyType != PLUGPLAY_REGKEY_DRIVER && DevInstKeyType != PLUGPLAY_REGKEY_DEVICE) {
        return STATUS_INVALID_PARAMETER;
    }
    std::string path = host::KeyPath(DeviceObject, DevInstKeyType == PLUGPLAY_REGKEY_DRIVER);
    if (path.empty()) {
        return STATUS_INVALID_DEVICE_REQUEST;
    }
    return host::nt::OpenKeyByPath(path, DesiredAccess, DevInstRegKey);
}
