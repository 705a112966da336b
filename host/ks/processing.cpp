// Pin processing: each pin has one worker thread that runs its Process
// dispatch under the pin's processing mutex, so calls never overlap and
// never run on the thread that asked. State changes do not wait for them.
// An attempt is taken only while the gate is open: the pin in run (or, unless
// its descriptor asks for run only, in pause) and a buffer queued (unless the
// pin processes without frames). An attempt made while the gate is closed is
// dropped; a buffer arriving and each step up in state make new attempts.
#include "host/ks/pin.h"

#include "host/nt/kernel_stack.h"

namespace host::ks {

bool Pin::ProcessingAllowed() {
    const ULONG flags = ks.Descriptor->Flags;
    const bool runOnly = (flags & KSPIN_FLAG_PROCESS_IN_RUN_STATE_ONLY) != 0;
    const bool stateOpen =
        ks.DeviceState == KSSTATE_RUN || (!runOnly && ks.DeviceState == KSSTATE_PAUSE);
    if (!stateOpen || ks.Descriptor->Dispatch == nullptr ||
        ks.Descriptor->Dispatch->Process == nullptr) {
        return false;
    }
    if ((flags & KSPIN_FLAG_FRAMES_NOT_REQUIRED_FOR_PROCESSING) != 0) {
        return true;
    }
    std::lock_guard<std::mutex> lock(queueMutex_);
    return !queue_.empty();
}

void Pin::RunWorker() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return closing_ || attemptPending_; });
        if (closing_) {
            return;
        }
        attemptPending_ = false;
        if (!ProcessingAllowed()) {
            continue;
        }
        lock.unlock();
        NTSTATUS status;
        {
            MutexHold held(processingMutex, "the class driver's processing");
            status = CallDriver([this] { return ks.Descriptor->Dispatch->Process(&ks); });
        }
        lock.lock();
        // Success asks for more while buffers wait; STATUS_PENDING or a
        // failure waits for the next trigger.
        attemptPending_ = attemptPending_ || (NT_SUCCESS(status) && status != STATUS_PENDING);
    }
}

void Pin::AttemptProcessing() {
    std::lock_guard<std::mutex> lock(mutex_);
    attemptPending_ = true;
    changed_.notify_all();
}

void Pin::StopWorker() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        closing_ = true;
        changed_.notify_all();
    }
    worker_.join();
}

}  // namespace host::ks

void NTAPI KsPinAttemptProcessing(PKSPIN Pin, BOOLEAN) {
    host::ks::PinOf(Pin)->AttemptProcessing();
}

void NTAPI KsPinAcquireProcessingMutex(PKSPIN Pin) {
    host::ks::PinOf(Pin)->processingMutex.Acquire("KsPinAcquireProcessingMutex");
}

void NTAPI KsPinReleaseProcessingMutex(PKSPIN Pin) {
    host::ks::PinOf(Pin)->processingMutex.Release("KsPinReleaseProcessingMutex");
}
