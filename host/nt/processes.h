// Processes of the host kernel. The System process (id 4) is where system
// threads, the class driver's workers and PnP run, and where every host
// thread starts; a client process stands for one application. Each process
// has its own handle table: a handle created without OBJ_KERNEL_HANDLE
// belongs to the process the creating thread is attached to and is invalid
// in any other, and exiting a process closes every handle it still holds,
// as Windows does when an application ends.
#pragma once

#include <string>

#include <ntddk.h>

namespace host {

using ProcessId = ULONG_PTR;

constexpr ProcessId SystemProcessId = 4;

// The process the calling thread is attached to.
ProcessId CurrentProcessId();

// Handles ever created in the process's table, closed or not: a driver that
// keeps its handles out of an application's table creates none there.
size_t HandlesCreatedIn(ProcessId process);

// The calling thread attached to a process for the scope, as
// KeStackAttachProcess attaches it; the previous process comes back at the
// end.
class AttachedProcess {
public:
    explicit AttachedProcess(ProcessId process);
    ~AttachedProcess();
    AttachedProcess(const AttachedProcess&) = delete;
    AttachedProcess& operator=(const AttachedProcess&) = delete;

private:
    ProcessId previous_;
};

// A client process for the scope: created with an empty handle table, and
// exited at the end, which closes the handles left in it.
class ClientProcess {
public:
    explicit ClientProcess(const std::string& name);
    ~ClientProcess();
    ClientProcess(const ClientProcess&) = delete;
    ClientProcess& operator=(const ClientProcess&) = delete;

    ProcessId Id() const { return id_; }

private:
    ProcessId id_;
};

}  // namespace host
