// The capture thread: reads raw frames into the slots as fast as the camera
// delivers them, from StartCaptureThread to StopCapture, and ends the stream
// when the camera has gone or stays silent past the Timeout setting.
#include "capture/capture_engine.h"
#include "capture/raw_slots.h"
#include "platform/atomics.h"
#include "platform/clock.h"

namespace {

// The rest after a poll whose transfer failed: a camera that fails keeps
// failing for a while, and polling it at full speed would only load the bus.
constexpr ULONG FailedPollRestMilliseconds = 10;

enum class Poll {
    Frame,   // a whole frame was read
    Waited,  // no slot could be filled until the processing step gave one back
    Empty,   // no frame: none was ready, or a transfer failed
};

// With one slot being processed and the other holding the next frame, the
// thread waits for the processing step to give a slot back: the camera keeps
// its newest frame ready meanwhile.
Poll CaptureOneFrame(CaptureEngine* engine, CameraDevice* device) {
    ClearEvent(&engine->slotChanged);
    int slot = BeginFill(engine);
    if (slot == NoSlot) {
        WaitForEvent(&engine->slotChanged);
        return Poll::Waited;
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
    return ok ? Poll::Frame : Poll::Empty;
}

// After a poll that brought no frame: the status the stream ends with, or
// 0 to go on.
NTSTATUS EndOfStream(CameraDevice* device, ULONGLONG silentMilliseconds) {
    if (AtomicRead(&device->LinkLost) != 0) {
        return STATUS_DEVICE_NOT_CONNECTED;
    }
    if (silentMilliseconds > RelaxedRead(&device->Timeout)) {
        return STATUS_IO_TIMEOUT;
    }
    return STATUS_SUCCESS;
}

// The camera answers at once when no frame is ready, so the loop polls it
// without a pause; a failed transfer is followed by a short rest. The thread
// reads through the link the stream's start opened and configured; the
// stream's teardown closes it. Silence is counted from the thread's start and
// from the last frame, not while the thread waits for the processing step.
VOID NTAPI RunCaptureThread(PVOID context) {
    auto* engine = static_cast<CaptureEngine*>(context);
    CameraDevice* device = engine->device;
    ULONGLONG lastFrame = MillisecondsNow();
    while (RelaxedRead(&engine->running) != 0) {
        const LONG failuresBefore = AtomicRead(&device->TransferFailures);
        const Poll poll = CaptureOneFrame(engine, device);
        const ULONGLONG now = MillisecondsNow();
        if (poll != Poll::Empty) {
            lastFrame = now;
            continue;
        }
        const NTSTATUS end = EndOfStream(device, now - lastFrame);
        if (end != STATUS_SUCCESS) {
            EndStreamWithStatus(engine, end);
            break;
        }
        if (AtomicRead(&device->TransferFailures) != failuresBefore) {
            RestMilliseconds(FailedPollRestMilliseconds);
        }
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
    // The thread ends after its current read; one that ended the stream has
    // ended already.
    if (engine->captureThread.object != nullptr) {
        WaitForSystemThread(&engine->captureThread);
    }
    if (StopProcessing(engine)) {
        WaitForEvent(&engine->processingDone);
    }
}

void EndStreamWithStatus(CaptureEngine* engine, NTSTATUS status) {
    if (AtomicCompareExchange(&engine->endStatus, status, 0) == 0) {
        engine->device->SignalFrameReady();
    }
}
