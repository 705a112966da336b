// Driver entry and the device dispatch routines the class driver calls.
#pragma once

#include "platform/kernel.h"

extern "C" NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT driverObject, PUNICODE_STRING registryPath);

// Creates the device's CameraDevice with its construction values and makes it
// the device's context.
NTSTATUS NTAPI DeviceAdd(PKSDEVICE device);
// Creates the filter factory under "GLOBAL" and the device's CaptureEngine;
// always succeeds, a device without them offering no filter or no stream.
NTSTATUS NTAPI DeviceStart(PKSDEVICE device, PIRP request, PCM_RESOURCE_LIST translatedResources,
                           PCM_RESOURCE_LIST rawResources);
// Nothing to do: the filter factory goes with the stop.
void NTAPI DeviceStop(PKSDEVICE device, PIRP request);

// Leaving D0 pauses a running stream at a frame boundary and closes the
// camera link; coming back to D0 configures the camera again and lets a
// running stream go on.
void NTAPI DeviceSetPower(PKSDEVICE device, PIRP request, DEVICE_POWER_STATE to,
                          DEVICE_POWER_STATE from);

extern const KSDEVICE_DESCRIPTOR CaptureDeviceDescriptor;
