// The pin's state machine. Stop to acquire takes the device's pipeline and
// the graph's clock; the first run starts the stream; run to pause stops the
// capture thread and keeps the buffers; pause to run resumes; down to
// acquire tears the stream down; down to stop gives the pipeline and the
// clock back.
//
// The class driver runs the pin's processing under its processing mutex
// only, so a step may overlap a Process call. The stream's buffers and the
// pipeline are the engine's, kept from processing by its stop barrier
// (capture_engine.h); the clock is the pin's own, which processing reads to
// stamp a buffer, so it is taken and given back under the processing mutex.
#include "driver/pin_state.h"

#include "capture/capture_engine.h"
#include "platform/atomics.h"
#include "platform/streaming.h"

namespace {

void TakeClockApartFromProcessing(CapturePin* pin) {
    AcquireProcessingMutex(pin->pin);
    TakeReferenceClock(pin);
    ReleaseProcessingMutex(pin->pin);
}

void DropClockApartFromProcessing(CapturePin* pin) {
    AcquireProcessingMutex(pin->pin);
    DropReferenceClock(pin);
    ReleaseProcessingMutex(pin->pin);
}

void EndStream(CapturePin* pin) {
    if (pin->streamingState != PinNoStream) {
        TearDownStream(pin->device);
        pin->streamingState = PinNoStream;
    }
}

NTSTATUS ToStop(CapturePin* pin) {
    EndStream(pin);
    if (pin->acquired) {
        DropClockApartFromProcessing(pin);
        DetachPipeline(pin->device);
        pin->acquired = false;
    }
    return STATUS_SUCCESS;
}

// A device whose engine could not be made at start cannot stream.
NTSTATUS Acquire(CapturePin* pin) {
    if (pin->device->CaptureEngine == nullptr) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    NTSTATUS status = AttachPipeline(pin->device, pin, &pin->videoInfo);
    if (!NT_SUCCESS(status)) {
        pin->acquired = false;
        return status;
    }
    pin->acquired = true;
    TakeClockApartFromProcessing(pin);
    return STATUS_SUCCESS;
}

// The count restarts once the capture thread, which advances it, has
// stopped.
NTSTATUS Pause(CapturePin* pin) {
    PauseStream(pin->device->CaptureEngine);
    RelaxedWrite(&pin->device->FrameCount, 0);
    pin->streamingState = PinStreamPaused;
    return STATUS_SUCCESS;
}

// A paused stream resumes with its buffers and its counts; otherwise the
// stream starts afresh. A failure leaves the pin as it was, so a later run
// tries again.
NTSTATUS Run(CapturePin* pin) {
    if (pin->streamingState == PinStreamPaused) {
        RelaxedWrite(&pin->device->FrameCount, 0);
        NTSTATUS status = ResumeStream(pin->device->CaptureEngine);
        if (!NT_SUCCESS(status)) {
            return status;
        }
    } else {
        // Processing runs only in the run state, so none counts meanwhile.
        ResetDeliveryCounts(&pin->counts);
        NTSTATUS status = StartStream(pin->device);
        if (!NT_SUCCESS(status)) {
            return status;
        }
    }
    pin->streamingState = PinStreamRunning;
    return STATUS_SUCCESS;
}

}  // namespace

NTSTATUS ChangePinState(CapturePin* pin, KSSTATE to, KSSTATE from) {
    switch (to) {
        case KSSTATE_STOP:
            return ToStop(pin);
        case KSSTATE_ACQUIRE:
            if (from == KSSTATE_STOP) {
                return Acquire(pin);
            }
            EndStream(pin);
            return STATUS_SUCCESS;
        case KSSTATE_PAUSE:
            return from == KSSTATE_RUN ? Pause(pin) : STATUS_SUCCESS;
        case KSSTATE_RUN:
            return Run(pin);
    }
    return STATUS_SUCCESS;
}
