// The thread object behind PsCreateSystemThread's handle. It is a dispatcher
// object: signalled (`ended`) when the thread has ended. The running thread
// holds a reference of its own until it ends.
#pragma once

#include <string>

#include "host/nt/object_table.h"

struct _ETHREAD : host::nt::KernelObject {
    _ETHREAD() : KernelObject(host::nt::ObjectKind::Thread) {}
    std::string Describe() const override;

    PKSTART_ROUTINE startRoutine = nullptr;
    PVOID startContext = nullptr;
    unsigned long number = 0;
    // Guarded by the kernel mutex.
    bool ended = false;
    NTSTATUS exitStatus = STATUS_PENDING;
};
