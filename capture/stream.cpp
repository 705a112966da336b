// The stream's life on the pin's state changes and the device's power
// changes: start with its buffers, pause, resume, teardown, power-down and
// power-up, each under the engine's stream lock. A start that fails leaves
// nothing allocated and nothing running.
#include "camera/sensor.h"
#include "capture/capture_engine.h"
#include "pipeline/image_pipeline.h"
#include "platform/atomics.h"
#include "platform/pool.h"

namespace {

// Only while stopping is set: no thread and no processing step uses them.
void ReleaseStreamBuffers(CaptureEngine* engine) {
    if (engine->pipeline != nullptr) {
        StopConversionWorkers(engine->pipeline);
        SetOutputBuffer(engine->pipeline, nullptr);
        FreeWorkingFrame(engine->pipeline);
        engine->pipeline = nullptr;
    }
    PoolFree(engine->convertedFrame, PoolTagBuffer);
    engine->convertedFrame = nullptr;
    for (int slot = 0; slot < RawSlotCount; ++slot) {
        PoolFree(engine->slotBuffer[slot], PoolTagBuffer);
        engine->slotBuffer[slot] = nullptr;
    }
}

// The raw slots, the ConvertedFrame and the WorkingFrame, all or none. The
// ConvertedFrame is zero-filled: the pin may deliver it before the first
// conversion.
bool AllocateStreamBuffers(CaptureEngine* engine, ImagePipeline* pipeline, ULONG frameBytes,
                           ULONG width, ULONG height) {
    engine->pipeline = pipeline;
    for (int slot = 0; slot < RawSlotCount; ++slot) {
        engine->slotBuffer[slot] = static_cast<UCHAR*>(PoolAllocate(frameBytes, PoolTagBuffer));
        if (engine->slotBuffer[slot] == nullptr) {
            ReleaseStreamBuffers(engine);
            return false;
        }
    }
    SIZE_T convertedBytes = SIZE_T{width} * height * 4;
    engine->convertedFrame = static_cast<UCHAR*>(PoolAllocateZeroed(convertedBytes, PoolTagBuffer));
    SetGeometry(pipeline, width, height);
    if (engine->convertedFrame == nullptr || !AllocateWorkingFrame(pipeline)) {
        ReleaseStreamBuffers(engine);
        return false;
    }
    SetOutputBuffer(pipeline, engine->convertedFrame);
    return true;
}

// From the configured sensor on: counters, buffers and the thread.
NTSTATUS StartConfiguredStream(CaptureEngine* engine, ImagePipeline* pipeline, ULONG width,
                               ULONG height) {
    AtomicExchange(&engine->framesCaptured, 0);
    AtomicExchange(&engine->endStatus, 0);
    engine->convertedSequence = 0;
    ULONG frameBytes = 0;
    engine->device->GetFrameBytes(&frameBytes);
    if (frameBytes == 0) {
        return STATUS_INVALID_DEVICE_STATE;
    }
    if (!AllocateStreamBuffers(engine, pipeline, frameBytes, width, height)) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    StartConversionWorkers(pipeline);
    RelaxedWrite(&engine->streamState, StreamRunning);
    if (!StartCaptureThread(engine)) {
        RelaxedWrite(&engine->streamState, StreamIdle);
        ReleaseStreamBuffers(engine);
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    return STATUS_SUCCESS;
}

NTSTATUS StartStreamLocked(CameraDevice* camera, CaptureEngine* engine) {
    ImagePipeline* pipeline = camera->ImagePipeline;
    if (pipeline == nullptr || RelaxedRead(&engine->streamState) != StreamIdle ||
        engine->poweredDown != 0) {
        return STATUS_INVALID_DEVICE_STATE;
    }
    ULONG phase = ComputeBayerPhase(camera);
    RelaxedWrite(&camera->FrameCount, 0);
    SetBayerPhase(pipeline, static_cast<LONG>(phase));
    // The window as it was before the sensor was configured.
    ULONG width = static_cast<ULONG>(RelaxedRead(&camera->WindowWidth));
    ULONG height = static_cast<ULONG>(RelaxedRead(&camera->WindowHeight));
    if (!camera->ConfigureSensor()) {
        return STATUS_INVALID_DEVICE_STATE;
    }
    NTSTATUS status = StartConfiguredStream(engine, pipeline, width, height);
    if (!NT_SUCCESS(status)) {
        camera->CloseLink();
    }
    return status;
}

// A stream that has ended, or a device powered down, gets no new thread: the
// power-up starts it, and an ended stream only fails buffers.
NTSTATUS ResumeStreamLocked(CaptureEngine* engine) {
    if (RelaxedRead(&engine->streamState) != StreamPaused) {
        return STATUS_SUCCESS;
    }
    RelaxedWrite(&engine->streamState, StreamRunning);
    if (engine->poweredDown != 0 || AtomicRead(&engine->endStatus) != 0) {
        return STATUS_SUCCESS;
    }
    if (!StartCaptureThread(engine)) {
        RelaxedWrite(&engine->streamState, StreamPaused);
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    return STATUS_SUCCESS;
}

// The staged settings follow the configuration over the next frames, as
// after a stream start.
void ReconfigureStream(CameraDevice* camera, CaptureEngine* engine) {
    RelaxedWrite(&camera->FrameCount, 0);
    if (!camera->ConfigureSensor()) {
        EndStreamWithStatus(engine, STATUS_DEVICE_NOT_CONNECTED);
        return;
    }
    if (RelaxedRead(&engine->streamState) == StreamRunning && !StartCaptureThread(engine)) {
        EndStreamWithStatus(engine, STATUS_INSUFFICIENT_RESOURCES);
    }
}

}  // namespace

NTSTATUS StartStream(CameraDevice* camera) {
    CaptureEngine* engine = camera->CaptureEngine;
    if (engine == nullptr) {
        return STATUS_INVALID_DEVICE_STATE;
    }
    AcquirePassiveLock(&engine->streamLock);
    NTSTATUS status = StartStreamLocked(camera, engine);
    ReleasePassiveLock(&engine->streamLock);
    return status;
}

// A thread already stopped by a power-down is stopped again harmlessly.
void PauseStream(CaptureEngine* engine) {
    AcquirePassiveLock(&engine->streamLock);
    if (RelaxedRead(&engine->streamState) == StreamRunning) {
        StopCapture(engine);
        RelaxedWrite(&engine->streamState, StreamPaused);
    }
    ReleasePassiveLock(&engine->streamLock);
}

NTSTATUS ResumeStream(CaptureEngine* engine) {
    AcquirePassiveLock(&engine->streamLock);
    NTSTATUS status = ResumeStreamLocked(engine);
    ReleasePassiveLock(&engine->streamLock);
    return status;
}

void TearDownStream(CameraDevice* camera) {
    CaptureEngine* engine = camera->CaptureEngine;
    if (engine == nullptr) {
        return;
    }
    AcquirePassiveLock(&engine->streamLock);
    if (RelaxedRead(&engine->streamState) != StreamIdle) {
        RelaxedWrite(&camera->FrameCount, 0);
        StopCapture(engine);
        RelaxedWrite(&engine->streamState, StreamIdle);
        ReleaseStreamBuffers(engine);
        camera->CloseLink();
        camera->SaveSettings();
    }
    ReleasePassiveLock(&engine->streamLock);
}

void PowerDownStream(CameraDevice* camera) {
    CaptureEngine* engine = camera->CaptureEngine;
    if (engine == nullptr) {
        return;
    }
    AcquirePassiveLock(&engine->streamLock);
    if (engine->poweredDown == 0) {
        engine->poweredDown = 1;
        const LONG state = RelaxedRead(&engine->streamState);
        if (state == StreamRunning) {
            StopCapture(engine);
        }
        if (state != StreamIdle) {
            camera->CloseLink();
        }
    }
    ReleasePassiveLock(&engine->streamLock);
}

void PowerUpStream(CameraDevice* camera) {
    CaptureEngine* engine = camera->CaptureEngine;
    if (engine == nullptr) {
        return;
    }
    AcquirePassiveLock(&engine->streamLock);
    if (engine->poweredDown != 0) {
        engine->poweredDown = 0;
        if (RelaxedRead(&engine->streamState) != StreamIdle &&
            AtomicRead(&engine->endStatus) == 0) {
            ReconfigureStream(camera, engine);
        }
    }
    ReleasePassiveLock(&engine->streamLock);
}
