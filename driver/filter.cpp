// Filter create and close.
#include "driver/filter.h"

#include "camera/camera_device.h"
#include "platform/device.h"
#include "platform/pool.h"
#include "platform/streaming.h"

namespace {

void NTAPI FreeCaptureFilter(void* filter) {
    PoolFree(filter, PoolTagContext);
}

}  // namespace

NTSTATUS NTAPI FilterCreate(PKSFILTER filter, PIRP) {
    auto* context =
        static_cast<CaptureFilter*>(PoolAllocate(sizeof(CaptureFilter), PoolTagContext));
    if (context == nullptr) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    context->filter = filter;
    NTSTATUS status = AddToObjectBag(filter->Bag, context, FreeCaptureFilter);
    if (!NT_SUCCESS(status)) {
        FreeCaptureFilter(context);
        return status;
    }
    filter->Context = context;
    return STATUS_SUCCESS;
}

NTSTATUS NTAPI FilterClose(PKSFILTER filter, PIRP) {
    KSDEVICE* device = DeviceOf(filter);
    auto* camera = device == nullptr ? nullptr : static_cast<CameraDevice*>(device->Context);
    if (camera != nullptr) {
        camera->SaveSettings();
    }
    return STATUS_SUCCESS;
}
