// The per-thread record and the IRQL rule of the passive-level routines.
#include "host/nt/current_thread.h"

#include "host/nt/bug_check.h"

namespace host::nt {

CurrentThreadState& CurrentThread() {
    thread_local CurrentThreadState state;
    return state;
}

void RequirePassiveLevel(const char* routine) {
    const CurrentThreadState& thread = CurrentThread();
    if (thread.irql != PASSIVE_LEVEL) {
        BugCheck(IrqlNotLessOrEqual, 0, thread.irql, 0, 0, routine,
                 "called at IRQL " + std::to_string(thread.irql) + " with " +
                     std::to_string(thread.spinLocksHeld) +
                     " spin lock(s) held; it requires PASSIVE_LEVEL");
    }
}

}  // namespace host::nt

KIRQL NTAPI KeGetCurrentIrql(VOID) {
    return host::nt::CurrentThread().irql;
}
