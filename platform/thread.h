// System threads: started with a routine and its context, referenced by
// their thread object so that their end can be waited for.
#pragma once

#include "platform/kernel.h"

// A started thread, held by a reference to its thread object.
struct SystemThread {
    PVOID object;
};

// Starts routine(context) on a new system thread and takes a reference to its
// thread object; the handle is a kernel handle, closed at once. False, with
// nothing started, when the thread cannot be created.
bool StartSystemThread(PKSTART_ROUTINE routine, PVOID context, SystemThread* thread);

// Waits without a time-out until the thread has ended, then drops the
// reference; the thread is then gone.
void WaitForSystemThread(SystemThread* thread);

// Ends the calling system thread with a success status.
[[noreturn]] void ExitSystemThread();
