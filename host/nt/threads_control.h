// Test control of system threads (PsCreateSystemThread).
//
// Each system thread runs on its own host thread. Its thread object is
// signalled when the start routine returns or PsTerminateSystemThread is
// called (which ends the host thread with pthread_exit). A system thread
// that ends at raised IRQL (holding a spin lock) or inside a critical region
// stops with a bug check. ResetKernel waits for all system threads to end.
#pragma once

#include <ntddk.h>

namespace host {

// The next `count` calls of PsCreateSystemThread fail with `status` and run
// nothing.
void FailNextThreadCreations(int count, NTSTATUS status = STATUS_INSUFFICIENT_RESOURCES);

// System threads whose routine has not yet ended.
int RunningSystemThreads();

}  // namespace host
