// The class driver's device services the driver uses: the device mutex and
// object bags.
#pragma once

#include "platform/kernel.h"

void AcquireDevice(KSDEVICE* device);
void ReleaseDevice(KSDEVICE* device);

// Adds item to bag; free runs when the bag's owner goes away. Returns the
// class driver's status.
NTSTATUS AddToObjectBag(KSOBJECT_BAG bag, void* item, PFNKSFREE free);
