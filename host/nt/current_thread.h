// What the kernel knows about the running thread: its IRQL, the spin locks
// it holds, its critical-region count, the process it is attached to (the
// System process unless a client attached it), the system thread object
// when it is one, and its extended-state saves. Every host thread has its own (thread-local)
// record.
#pragma once

#include <ntddk.h>

#include "host/nt/processes.h"

namespace host::nt {

struct CurrentThreadState {
    KIRQL irql = PASSIVE_LEVEL;
    int spinLocksHeld = 0;
    int criticalRegions = 0;
    PETHREAD systemThread = nullptr;
    ProcessId processId = SystemProcessId;
    // The newest extended-state save not yet restored.
    PXSTATE_SAVE extendedState = nullptr;
};

CurrentThreadState& CurrentThread();

// Stops with IRQL_NOT_LESS_OR_EQUAL unless the caller runs at PASSIVE_LEVEL,
// as every Zw*, Io* registry and file routine, PsCreateSystemThread and the
// class driver's mutexes require.
void RequirePassiveLevel(const char* routine);

}  // namespace host::nt
