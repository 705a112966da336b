// KeSaveExtendedProcessorState and KeRestoreExtendedProcessorState: the host
// keeps its vector registers whatever a driver does, so a save only records
// what Windows would hold the driver to.
#include <mutex>
#include <string>

#include "host/nt/bug_check.h"
#include "host/nt/current_thread.h"
#include "host/nt/extended_state_control.h"
#include "host/nt/kernel_parts.h"
#include "host/nt/thread_object.h"

namespace {

constexpr ULONG64 KnownMask = XSTATE_MASK_LEGACY | XSTATE_MASK_AVX | XSTATE_MASK_AVX512;

struct ExtendedStateLog {
    std::mutex mutex;
    std::vector<host::ExtendedStatePair> pairs;
    int failuresPending = 0;
};

ExtendedStateLog& Log() {
    static ExtendedStateLog log;
    return log;
}

unsigned long ThreadNumber() {
    PETHREAD thread = host::nt::CurrentThread().systemThread;
    return thread != nullptr ? thread->number : 0;
}

bool TakeFailure() {
    std::lock_guard<std::mutex> lock(Log().mutex);
    if (Log().failuresPending == 0) {
        return false;
    }
    --Log().failuresPending;
    return true;
}

}  // namespace

namespace host {

std::vector<ExtendedStatePair> ExtendedStatePairs() {
    std::lock_guard<std::mutex> lock(Log().mutex);
    return Log().pairs;
}

void ClearExtendedStatePairs() {
    std::lock_guard<std::mutex> lock(Log().mutex);
    Log().pairs.clear();
}

void FailNextExtendedStateSaves(int count) {
    std::lock_guard<std::mutex> lock(Log().mutex);
    Log().failuresPending = count;
}

namespace nt {

void DescribeExtendedStateLeaks(std::string* report) {
    if (CurrentThread().extendedState != nullptr) {
        *report += "the calling thread has an extended-state save outstanding\n";
    }
}

void ResetExtendedState() {
    CurrentThread().extendedState = nullptr;
    std::lock_guard<std::mutex> lock(Log().mutex);
    Log().pairs.clear();
    Log().failuresPending = 0;
}

}  // namespace nt
}  // namespace host

NTSTATUS NTAPI KeSaveExtendedProcessorState(ULONG64 Mask, PXSTATE_SAVE XStateSave) {
    host::nt::CurrentThreadState& state = host::nt::CurrentThread();
    if (state.irql > DISPATCH_LEVEL) {
        host::BugCheck("KeSaveExtendedProcessorState called at IRQL " + std::to_string(state.irql));
    }
    if (XStateSave == nullptr || Mask == 0 || (Mask & ~KnownMask) != 0) {
        host::BugCheck("KeSaveExtendedProcessorState called with mask " + host::Hex(Mask) +
                       (XStateSave == nullptr ? " and no save record" : ""));
    }
    if (TakeFailure()) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    XStateSave->Prev = state.extendedState;
    XStateSave->Thread = &state;
    XStateSave->Level = static_cast<UCHAR>(state.irql);
    XStateSave->XStateContext = {};
    XStateSave->XStateContext.Mask = Mask;
    state.extendedState = XStateSave;
    return STATUS_SUCCESS;
}

VOID NTAPI KeRestoreExtendedProcessorState(PXSTATE_SAVE XStateSave) {
    host::nt::CurrentThreadState& state = host::nt::CurrentThread();
    if (XStateSave == nullptr || XStateSave->Thread != &state) {
        host::BugCheck("KeRestoreExtendedProcessorState of a save this thread did not make");
    }
    if (XStateSave != state.extendedState) {
        host::BugCheck("KeRestoreExtendedProcessorState of a save that is not the newest");
    }
    state.extendedState = XStateSave->Prev;
    std::lock_guard<std::mutex> lock(Log().mutex);
    Log().pairs.push_back({ThreadNumber(), XStateSave->XStateContext.Mask});
}
