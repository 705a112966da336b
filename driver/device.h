// Driver entry and the device dispatch routines the class driver calls.
#pragma once

#include "platform/kernel.h"

extern "C" NTSTATUS DriverEntry(PDRIVER_OBJECT driverObject, PUNICODE_STRING registryPath);

// Creates the device's CameraDevice with its construction values and makes it
// the device's context.
NTSTATUS DeviceAdd(PKSDEVICE device);

extern const KSDEVICE_DESCRIPTOR CaptureDeviceDescriptor;
