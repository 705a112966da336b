// Device services over the kernel streaming class driver.
#include "platform/device.h"

void AcquireDevice(KSDEVICE* device) {
    KsAcquireDevice(device);
}

void ReleaseDevice(KSDEVICE* device) {
    KsReleaseDevice(device);
}

NTSTATUS AddToObjectBag(KSOBJECT_BAG bag, void* item, PFNKSFREE free) {
    return KsAddItemToObjectBag(bag, item, free);
}
