// Physical device objects as the bus driver would create them, each with
// its registry keys from the moment it exists (as on Windows once the
// device is installed): the driver key, under
//   HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Control\Class
// the camera class key {ca3e7ab9-b4c3-4ae6-8251-579ef933890f} and then
// 0000 (0001 and on for later devices) and the device's hardware key
//   HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Enum\ROOT\IMAGE\0000\Device Parameters.
// IoOpenDeviceRegistryKey opens them with PLUGPLAY_REGKEY_DRIVER and
// PLUGPLAY_REGKEY_DEVICE; hardware profiles do not exist in the host, so
// any other key type is STATUS_INVALID_PARAMETER. A device object that is
// not a physical one gives STATUS_INVALID_DEVICE_REQUEST.
#pragma once

#include <string>

#include <ntddk.h>

namespace host {

PDEVICE_OBJECT CreatePhysicalDeviceObject();
// The keys stay, as an installed device's keys do.
void DeletePhysicalDeviceObject(PDEVICE_OBJECT device);

// Paths in .reg notation, for the registry test functions.
std::string DriverKeyPath(PDEVICE_OBJECT device);
std::string DeviceKeyPath(PDEVICE_OBJECT device);

}  // namespace host
