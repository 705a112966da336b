// Attach and detach of the device's single ImagePipeline, under the device's
// PipelineLock so that settings paths on other filter handles never reach a
// pipeline being freed.
#include "camera/camera_device.h"
#include "capture/capture_engine.h"
#include "capture/output_format.h"
#include "pipeline/image_pipeline.h"
#include "pipeline/kernel_set.h"
#include "platform/atomics.h"

namespace {

// The current settings, in the order the matrices expect.
void CopySettings(CameraDevice* camera, ImagePipeline* pipeline) {
    SetWhiteBalanceEnabled(pipeline, static_cast<LONG>(RelaxedRead(&camera->WhiteBalance)));
    SetBayerPhase(pipeline, static_cast<LONG>(RelaxedRead(&camera->BayerPhase)));
    SetColourEnabled(pipeline, static_cast<LONG>(RelaxedRead(&camera->ColorEnable)));
    SetRedGain(pipeline, RelaxedRead(&camera->RedGain));
    SetGreenGain(pipeline, RelaxedRead(&camera->GreenGain));
    SetBlueGain(pipeline, RelaxedRead(&camera->BlueGain));
    SetColourCorrection(pipeline, static_cast<LONG>(RelaxedRead(&camera->ColorCorrection)));
    SetBrightness(pipeline, RelaxedRead(&camera->Brightness));
    SetContrast(pipeline, RelaxedRead(&camera->Contrast));
    SetSaturation(pipeline, RelaxedRead(&camera->Saturation));
    SetHue(pipeline, RelaxedRead(&camera->Hue));
}

// With PipelineLock held.
void DetachLocked(CameraDevice* camera) {
    FreeImagePipeline(camera->ImagePipeline);
    camera->ImagePipeline = nullptr;
    camera->AttachedPin = nullptr;
    camera->PinFormat = nullptr;
    AtomicExchange(&camera->PipelineAttached, 0u);
}

// With PipelineLock held.
NTSTATUS AttachLocked(CameraDevice* camera, CapturePinOperations* pin, KS_VIDEOINFOHEADER* format) {
    if (AtomicCompareExchange(&camera->PipelineAttached, 1u, 0u) != 0) {
        return STATUS_SHARING_VIOLATION;
    }
    camera->PinFormat = format;
    FreeImagePipeline(camera->ImagePipeline);
    camera->ImagePipeline = nullptr;
    if (format == nullptr || !IsDeliverableFormat(format->bmiHeader)) {
        DetachLocked(camera);
        return STATUS_INVALID_PARAMETER;
    }
    ImagePipeline* pipeline = CreateImagePipeline();
    if (pipeline == nullptr) {
        DetachLocked(camera);
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    camera->ImagePipeline = pipeline;
    CopySettings(camera, pipeline);
    pipeline->simdLevel =
        ChooseSimdLevel(static_cast<LONG>(RelaxedRead(&camera->SimdLevel)), SupportedSimdLevel());
    pipeline->conversionThreads =
        ChooseConversionThreads(RelaxedRead(&camera->ConversionThreads), ActiveProcessorCount());
    camera->AttachedPin = pin;
    return STATUS_SUCCESS;
}

}  // namespace

NTSTATUS AttachPipeline(CameraDevice* camera, CapturePinOperations* pin,
                        KS_VIDEOINFOHEADER* format) {
    AcquirePassiveLock(&camera->PipelineLock);
    NTSTATUS status = AttachLocked(camera, pin, format);
    ReleasePassiveLock(&camera->PipelineLock);
    return status;
}

void DetachPipeline(CameraDevice* camera) {
    AcquirePassiveLock(&camera->PipelineLock);
    DetachLocked(camera);
    ReleasePassiveLock(&camera->PipelineLock);
}
