// The capture thread: reads raw frames into the slots as fast as the camera
// delivers them, from StartCaptureThread to StopCapture.
#include "capture/capture_engine.h"
#include "capture/raw_slots.h"
#include "platform/atomics.h"

namespace {

// With one slot being processed and the other holding the next frame, the
// thread waits for the processing step to give a slot back: the camera keeps
// its newest frame ready meanwhile.
void CaptureOneFrame(CaptureEngine* engine, CameraDevice* device) {
    ClearEvent(&engine->slotChanged);
    int slot = BeginFill(engine);
    if (slot == NoSlot) {
        WaitForEvent(&engine->slotChanged);
        return;
    }
    bool ok = false;
    bool written = false;
    // The phase in force for this read; the apply after it may change it
    // for the next frame.
    const LONG phase = static_cast<LONG>(RelaxedRead(&device->BayerPhase));
    if (RelaxedRead(&engine->streamState) == StreamRunning) {
        written = device->ReadFrame(engine->slotBuffer[slot], &ok);
    }
    if (ok) {
        engine->slotPhase[slot] = phase;
    }
    LONG sequence = ok ? AtomicIncrement(&engine->framesCaptured) : 0;
    EndFill(engine, slot,
            ok ? FillResult::Complete : (written ? FillResult::Torn : FillResult::Untouched),
            sequence);
    if (ok) {
        device->SignalFrameReady();
    }
}

// The camera answers at once when no frame is ready, so the loop polls it
// without a pause; a failed read is followed by the next attempt.
// The thread reads through the link the stream's start opened and
// configured; the stream's teardown closes it.
VOID NTAPI RunCaptureThread(PVOID context) {
    auto* engine = static_cast<CaptureEngine*>(context);
    CameraDevice* device = engine->device;
    while (RelaxedRead(&engine->running) != 0) {
        CaptureOneFrame(engine, device);
    }
    ExitSystemThread();
}

}  // namespace

bool StartCaptureThread(CaptureEngine* engine) {
    ResetSlots(engine);
    ClearEvent(&engine->slotChanged);
    RelaxedWrite(&engine->running, 1u);
    if (!StartSystemThread(RunCaptureThread, engine, &engine->captureThread)) {
        RelaxedWrite(&engine->running, 0u);
        return false;
    }
    AllowProcessing(engine);
    return true;
}

void StopCapture(CaptureEngine* engine) {
    RelaxedWrite(&engine->running, 0u);
    // Wakes a thread waiting for a slot, so that it sees the stop.
    SignalEvent(&engine->slotChanged);
    engine->device->OnStopping();
    engine->device->OnStopped();
    // The thread ends after its current read.
    if (engine->captureThread.object != nullptr) {
        WaitForSystemThread(&engine->captureThread);
    }
    if (StopProcessing(engine)) {
        WaitForEvent(&engine->processingDone);
    }
}
