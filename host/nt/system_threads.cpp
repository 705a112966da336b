// System threads on host threads. A thread object, not a join, tells who
// waits that a thread has ended. The host still joins every host thread that
// has ended (at the next thread creation, when it waits for all system
// threads, and at process exit), so that none is left in its exit, freeing
// its thread-local state, when the pool and the leak checks look, and none is
// left unjoined for a thread checker.
#include <pthread.h>

#include <chrono>
#include <cstdlib>
#include <vector>

#include "host/nt/bug_check.h"
#include "host/nt/current_thread.h"
#include "host/nt/fault_plan.h"
#include "host/nt/kernel_parts.h"
#include "host/nt/kernel_stack.h"
#include "host/nt/thread_object.h"
#include "host/nt/threads_control.h"

namespace {

struct ThreadTable {
    // All guarded by the kernel mutex.
    int running = 0;
    unsigned long created = 0;
    int failuresPending = 0;
    NTSTATUS failureStatus = STATUS_SUCCESS;
    std::vector<pthread_t> ended;  // signalled their end, not yet joined
};

ThreadTable& Threads() {
    static ThreadTable table;
    return table;
}

// Runs on the ending thread: checks the state it leaves, signals its object
// and drops its own reference.
void EndSystemThread(_ETHREAD* thread, NTSTATUS status) {
    host::nt::CurrentThreadState& state = host::nt::CurrentThread();
    std::string name = "system thread " + std::to_string(thread->number);
    if (state.irql != PASSIVE_LEVEL) {
        host::BugCheck(name + " ended at IRQL " + std::to_string(state.irql) + " with " +
                       std::to_string(state.spinLocksHeld) + " spin lock(s) held");
    }
    if (state.criticalRegions != 0) {
        host::BugCheck(name + " ended inside " + std::to_string(state.criticalRegions) +
                       " critical region(s)");
    }
    if (state.extendedState != nullptr) {
        host::BugCheck(name + " ended with an extended-state save outstanding");
    }
    // One step for whoever looks: signalled, no longer running, and without
    // the thread's own reference.
    host::nt::KernelObject* unused;
    {
        std::lock_guard<std::mutex> lock(host::nt::KernelMutex());
        thread->ended = true;
        thread->exitStatus = status;
        unused = host::nt::ReleaseReferenceLocked(thread);
        --Threads().running;
        Threads().ended.push_back(pthread_self());
        host::nt::DispatcherChanged().notify_all();
    }
    delete unused;
}

// The start routine runs on a kernel stack when kernel stacks are in use;
// PsTerminateSystemThread then comes back here by leaving that stack.
void* RunSystemThread(void* argument) {
    _ETHREAD* thread = static_cast<_ETHREAD*>(argument);
    host::nt::CurrentThreadState& state = host::nt::CurrentThread();
    state.systemThread = thread;
    host::CallDriver([thread] { thread->startRoutine(thread->startContext); });
    if (state.systemThread != nullptr) {
        EndSystemThread(thread, STATUS_SUCCESS);
    }
    return nullptr;
}

// With the kernel mutex held: consumes an injected failure, a pending one or
// the fault plan's.
bool TakeInjectedFailure(NTSTATUS* status) {
    ThreadTable& table = Threads();
    if (const auto fault = host::nt::TakeCall(host::FaultSite::ThreadCreation); fault.fail) {
        *status = fault.status;
        return true;
    }
    if (table.failuresPending == 0) {
        return false;
    }
    --table.failuresPending;
    *status = table.failureStatus;
    return true;
}

// What is left of each ended thread is its exit, which takes no kernel lock.
void JoinEndedThreads() {
    std::vector<pthread_t> ended;
    {
        std::lock_guard<std::mutex> lock(host::nt::KernelMutex());
        ended.swap(Threads().ended);
    }
    for (pthread_t id : ended) {
        pthread_join(id, nullptr);
    }
}

// Threads still running at exit are left as they are. Registered after the
// kernel mutex and the thread table exist, so that it runs before they go.
void JoinEndedThreadsAtExit() {
    static const bool registered = std::atexit(JoinEndedThreads) == 0;
    if (!registered) {
        host::BugCheck("the host could not register its thread joins at exit");
    }
}

}  // namespace

struct _OBJECT_TYPE {
    const char* name;
};

namespace {
_OBJECT_TYPE threadType{"Thread"};
POBJECT_TYPE threadTypePointer = &threadType;
}  // namespace

POBJECT_TYPE* PsThreadType = &threadTypePointer;

std::string _ETHREAD::Describe() const {
    return "system thread " + std::to_string(number) +
           (ended ? " (ended with " + host::Hex(static_cast<ULONG>(exitStatus)) + ")"
                  : " (running)");
}

namespace host {

void FailNextThreadCreations(int count, NTSTATUS status) {
    std::lock_guard<std::mutex> lock(nt::KernelMutex());
    Threads().failuresPending = count;
    Threads().failureStatus = status;
}

int RunningSystemThreads() {
    std::lock_guard<std::mutex> lock(nt::KernelMutex());
    return Threads().running;
}

namespace nt {

void DescribeThreadLeaks(std::string* report) {
    const CurrentThreadState& state = CurrentThread();
    if (state.criticalRegions != 0) {
        *report += "the calling thread is inside " + std::to_string(state.criticalRegions) +
                   " critical region(s)\n";
    }
    if (state.spinLocksHeld != 0) {
        *report +=
            "the calling thread holds " + std::to_string(state.spinLocksHeld) + " spin lock(s)\n";
    }
}

void WaitForSystemThreads() {
    std::unique_lock<std::mutex> lock(KernelMutex());
    if (!DispatcherChanged().wait_for(lock, std::chrono::seconds(10),
                                      [] { return Threads().running == 0; })) {
        BugCheck(std::to_string(Threads().running) +
                 " system thread(s) still running ten seconds into a kernel reset");
    }
    lock.unlock();
    JoinEndedThreads();
}

void ResetThreadFaults() {
    std::lock_guard<std::mutex> lock(KernelMutex());
    Threads().failuresPending = 0;
    Threads().created = 0;
    CurrentThreadState& state = CurrentThread();
    state.criticalRegions = 0;
    state.spinLocksHeld = 0;
    state.irql = PASSIVE_LEVEL;
}

}  // namespace nt
}  // namespace host

NTSTATUS NTAPI PsCreateSystemThread(PHANDLE ThreadHandle, ULONG DesiredAccess,
                                    POBJECT_ATTRIBUTES ObjectAttributes, HANDLE ProcessHandle,
                                    PCLIENT_ID ClientId, PKSTART_ROUTINE StartRoutine,
                                    PVOID StartContext) {
    // The thread runs in the System process; ProcessHandle, which would name
    // another, is not served.
    (void)ProcessHandle;
    host::nt::RequirePassiveLevel("PsCreateSystemThread");
    JoinEndedThreads();
    JoinEndedThreadsAtExit();
    auto* thread = new _ETHREAD;
    thread->startRoutine = StartRoutine;
    thread->startContext = StartContext;
    {
        std::lock_guard<std::mutex> lock(host::nt::KernelMutex());
        NTSTATUS status;
        if (TakeInjectedFailure(&status)) {
            delete thread;
            return status;
        }
        thread->number = ++Threads().created;
        thread->references = 1;  // the running thread's own
        ++Threads().running;
    }
    host::nt::InsertObject(thread);
    // Without OBJ_KERNEL_HANDLE the handle goes to the creator's process.
    *ThreadHandle = host::nt::CreateHandle(
        thread, DesiredAccess, ObjectAttributes != nullptr ? ObjectAttributes->Attributes : 0);
    if (ClientId != nullptr) {
        ClientId->UniqueProcess = reinterpret_cast<HANDLE>(4);  // the System process
        ClientId->UniqueThread = reinterpret_cast<HANDLE>(thread->number * 4);
    }
    pthread_t id;
    if (pthread_create(&id, nullptr, RunSystemThread, thread) != 0) {
        host::BugCheck("the host could not start a thread");
    }
    return STATUS_SUCCESS;
}

NTSTATUS NTAPI PsTerminateSystemThread(NTSTATUS ExitStatus) {
    _ETHREAD* thread = host::nt::CurrentThread().systemThread;
    if (thread == nullptr) {
        host::BugCheck("PsTerminateSystemThread called outside a system thread");
    }
    EndSystemThread(thread, ExitStatus);
    host::nt::CurrentThread().systemThread = nullptr;
    // No unwinder can walk a loaded image's frames: leave its stack whole.
    if (host::OnKernelStack()) {
        host::AbandonKernelStack();
    }
    pthread_exit(nullptr);
}
