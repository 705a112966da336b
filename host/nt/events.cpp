// Events and waits. An event's state lives in the caller's KEVENT, as on
// Windows, and is read and written only under the kernel mutex; a wait
// sleeps on one condition variable that every signal notifies. A wait
// identifies a thread object by the object table and anything else must be
// an initialized event.
#include <chrono>
#include <thread>

#include "host/nt/bug_check.h"
#include "host/nt/current_thread.h"
#include "host/nt/thread_object.h"

namespace {

// KEVENT's size in 32-bit words, as KeInitializeEvent records it.
constexpr UCHAR EventSizeInWords = sizeof(KEVENT) / sizeof(LONG);

// With the kernel mutex held.
PRKEVENT CheckedEvent(PVOID object, const char* routine) {
    PRKEVENT event = static_cast<PRKEVENT>(object);
    if (event == nullptr ||
        (event->Header.Type != NotificationEvent && event->Header.Type != SynchronizationEvent) ||
        event->Header.Size != EventSizeInWords) {
        host::BugCheck(std::string(routine) + " on " +
                       host::Hex(reinterpret_cast<ULONG_PTR>(object)) +
                       ", which is neither an initialized event nor a live thread object");
    }
    return event;
}

// Timeout of KeWaitForSingleObject: negative = relative, positive = absolute
// system time (100-ns units since 1601), both in 100-ns units.
std::chrono::steady_clock::time_point Deadline(const LARGE_INTEGER& timeout) {
    using Ticks = std::chrono::duration<long long, std::ratio<1, 10000000>>;
    auto now = std::chrono::steady_clock::now();
    if (timeout.QuadPart <= 0) {
        return now + Ticks(-timeout.QuadPart);
    }
    constexpr long long TicksFrom1601To1970 = 116444736000000000ll;
    auto systemNow =
        std::chrono::duration_cast<Ticks>(std::chrono::system_clock::now().time_since_epoch())
            .count() +
        TicksFrom1601To1970;
    return now + Ticks(timeout.QuadPart - systemNow);
}

void CheckWaitIrql(const PLARGE_INTEGER timeout, const char* routine) {
    const host::nt::CurrentThreadState& thread = host::nt::CurrentThread();
    bool zeroTimeout = timeout != nullptr && timeout->QuadPart == 0;
    if (thread.irql > APC_LEVEL && !zeroTimeout) {
        host::BugCheck(host::IrqlNotLessOrEqual, 0, thread.irql, 0, 0, routine,
                       "a wait at IRQL " + std::to_string(thread.irql) + " with " +
                           std::to_string(thread.spinLocksHeld) +
                           " spin lock(s) held; only a zero timeout is allowed there");
    }
}

}  // namespace

VOID NTAPI KeInitializeEvent(PRKEVENT Event, EVENT_TYPE Type, BOOLEAN State) {
    std::lock_guard<std::mutex> lock(host::nt::KernelMutex());
    Event->Header.Type = static_cast<UCHAR>(Type);
    Event->Header.Signalling = 0;
    Event->Header.Size = EventSizeInWords;
    Event->Header.Reserved1 = 0;
    Event->Header.SignalState = State ? 1 : 0;
    Event->Header.WaitListHead.Flink = &Event->Header.WaitListHead;
    Event->Header.WaitListHead.Blink = &Event->Header.WaitListHead;
}

LONG NTAPI KeSetEvent(PRKEVENT Event, KPRIORITY Increment, BOOLEAN Wait) {
    (void)Increment;
    (void)Wait;
    std::lock_guard<std::mutex> lock(host::nt::KernelMutex());
    LONG previous = CheckedEvent(Event, "KeSetEvent")->Header.SignalState;
    Event->Header.SignalState = 1;
    host::nt::DispatcherChanged().notify_all();
    return previous;
}

LONG NTAPI KeResetEvent(PRKEVENT Event) {
    std::lock_guard<std::mutex> lock(host::nt::KernelMutex());
    LONG previous = CheckedEvent(Event, "KeResetEvent")->Header.SignalState;
    Event->Header.SignalState = 0;
    return previous;
}

// There are no asynchronous procedure calls in the host, so an alertable
// wait never ends with STATUS_ALERTED or STATUS_USER_APC.
NTSTATUS NTAPI KeWaitForSingleObject(PVOID Object, KWAIT_REASON WaitReason,
                                     KPROCESSOR_MODE WaitMode, BOOLEAN Alertable,
                                     PLARGE_INTEGER Timeout) {
    (void)WaitReason;
    (void)WaitMode;
    (void)Alertable;
    CheckWaitIrql(Timeout, "KeWaitForSingleObject");
    std::unique_lock<std::mutex> lock(host::nt::KernelMutex());
    bool isThread =
        host::nt::IsLiveObjectLocked(Object) &&
        static_cast<host::nt::KernelObject*>(Object)->Kind() == host::nt::ObjectKind::Thread;
    PRKEVENT event = isThread ? nullptr : CheckedEvent(Object, "KeWaitForSingleObject");
    auto signalled = [&] {
        return isThread ? static_cast<_ETHREAD*>(Object)->ended : event->Header.SignalState != 0;
    };
    if (Timeout == nullptr) {
        host::nt::DispatcherChanged().wait(lock, signalled);
    } else if (!host::nt::DispatcherChanged().wait_until(lock, Deadline(*Timeout), signalled)) {
        return STATUS_TIMEOUT;
    }
    if (!isThread && event->Header.Type == SynchronizationEvent) {
        event->Header.SignalState = 0;
    }
    return STATUS_SUCCESS;
}

// A delay is a wait on nothing: the same IRQL rule, the same time-out forms.
NTSTATUS NTAPI KeDelayExecutionThread(KPROCESSOR_MODE WaitMode, BOOLEAN Alertable,
                                      PLARGE_INTEGER Interval) {
    (void)WaitMode;
    (void)Alertable;
    CheckWaitIrql(Interval, "KeDelayExecutionThread");
    std::this_thread::sleep_until(Deadline(*Interval));
    return STATUS_SUCCESS;
}
