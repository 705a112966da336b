// System threads, their thread objects and references, and the checks at
// thread end.
#include <atomic>
#include <chrono>
#include <thread>

#include "host/nt/kernel_control.h"
#include "host/nt/threads_control.h"
#include "kernel_test.h"

namespace {

using ThreadTest = KernelTest;
using ThreadDeathTest = KernelDeathTest;

struct RoutineRecord {
    std::atomic<int> calls{0};
    std::atomic<bool> afterTerminate{false};
};

VOID NTAPI CountCall(PVOID context) {
    ++static_cast<RoutineRecord*>(context)->calls;
}

VOID NTAPI TerminateEarly(PVOID context) {
    auto* run = static_cast<RoutineRecord*>(context);
    ++run->calls;
    PsTerminateSystemThread(STATUS_SUCCESS);
    run->afterTerminate = true;
}

VOID NTAPI EndInsideCriticalRegion(PVOID) {
    KeEnterCriticalRegion();
}

VOID NTAPI EndHoldingSpinLock(PVOID context) {
    KIRQL irql;
    KeAcquireSpinLock(static_cast<PKSPIN_LOCK>(context), &irql);
}

// Thread-local state whose destruction, after the routine has ended and the
// thread object is signalled, takes a while: what a leak check must not see
// half done.
std::atomic<bool> slowExitDone{false};

struct SlowExit {
    bool used = false;
    ~SlowExit() {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        slowExitDone = true;
    }
};

VOID NTAPI UseSlowExitState(PVOID) {
    static thread_local SlowExit state;
    state.used = true;
}

// Starts a thread and keeps a reference to its object, as the capture
// engine does; the handle is closed at once.
PETHREAD StartThread(PKSTART_ROUTINE routine, PVOID context) {
    HANDLE handle = nullptr;
    EXPECT_EQ(PsCreateSystemThread(&handle, THREAD_ALL_ACCESS, nullptr, nullptr, nullptr, routine,
                                   context),
              STATUS_SUCCESS);
    PVOID object = nullptr;
    EXPECT_EQ(ObReferenceObjectByHandle(handle, THREAD_ALL_ACCESS, *PsThreadType, KernelMode,
                                        &object, nullptr),
              STATUS_SUCCESS);
    EXPECT_EQ(ZwClose(handle), STATUS_SUCCESS);
    return static_cast<PETHREAD>(object);
}

void WaitAndRelease(PETHREAD thread) {
    EXPECT_EQ(KeWaitForSingleObject(thread, Executive, KernelMode, FALSE, nullptr), STATUS_SUCCESS);
    ObDereferenceObject(thread);
}

TEST_F(ThreadTest, RunsTheRoutineWithItsContextAndSignalsTheObjectAtTheEnd) {
    RoutineRecord run;
    PETHREAD thread = StartThread(CountCall, &run);
    WaitAndRelease(thread);
    EXPECT_EQ(run.calls, 1);
    EXPECT_EQ(host::RunningSystemThreads(), 0);
}

TEST_F(ThreadTest, TerminateEndsTheThreadWithoutReturning) {
    RoutineRecord run;
    WaitAndRelease(StartThread(TerminateEarly, &run));
    EXPECT_EQ(run.calls, 1);
    EXPECT_FALSE(run.afterTerminate);
}

TEST_F(ThreadTest, WaitingForEveryThreadWaitsForEachThreadsExitToo) {
    slowExitDone = false;
    WaitAndRelease(StartThread(UseSlowExitState, nullptr));
    host::WaitForSystemThreadsToEnd();
    EXPECT_TRUE(slowExitDone);
}

TEST_F(ThreadTest, InjectedCreationFailureRunsNothing) {
    host::FailNextThreadCreations(1);
    RoutineRecord run;
    HANDLE handle = nullptr;
    EXPECT_EQ(PsCreateSystemThread(&handle, THREAD_ALL_ACCESS, nullptr, nullptr, nullptr, CountCall,
                                   &run),
              STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(handle, nullptr);
    WaitAndRelease(StartThread(CountCall, &run));
    EXPECT_EQ(run.calls, 1);
}

TEST_F(ThreadTest, LeakCheckReportsAReferenceNeverReleased) {
    RoutineRecord run;
    PETHREAD thread = StartThread(CountCall, &run);
    KeWaitForSingleObject(thread, Executive, KernelMode, FALSE, nullptr);
    EXPECT_NE(
        host::CheckNoLeaks().find("thread object system thread 1 (ended with 0x0): 0 handle(s), 1 "
                                  "reference(s)"),
        std::string::npos);
    ObDereferenceObject(thread);
}

TEST_F(ThreadTest, ReferenceByAnUnknownHandleIsInvalidHandle) {
    PVOID object = nullptr;
    HANDLE bogus = reinterpret_cast<HANDLE>(0xFFFFFFFF80001234ull);
    EXPECT_EQ(ObReferenceObjectByHandle(bogus, 0, *PsThreadType, KernelMode, &object, nullptr),
              STATUS_INVALID_HANDLE);
}

TEST_F(ThreadDeathTest, EndingInsideACriticalRegionStops) {
    EXPECT_DEATH(
        {
            StartThread(EndInsideCriticalRegion, nullptr);
            host::ResetKernel();
        },
        "system thread 1 ended inside 1 critical region\\(s\\)");
}

TEST_F(ThreadDeathTest, EndingWhileHoldingASpinLockStops) {
    KSPIN_LOCK lock;
    KeInitializeSpinLock(&lock);
    EXPECT_DEATH(
        {
            StartThread(EndHoldingSpinLock, &lock);
            host::ResetKernel();
        },
        "system thread 1 ended at IRQL 2 with 1 spin lock\\(s\\) held");
}

TEST_F(ThreadDeathTest, DereferencingTooOftenStops) {
    RoutineRecord run;
    PETHREAD thread = StartThread(CountCall, &run);
    WaitAndRelease(thread);
    EXPECT_DEATH(ObDereferenceObject(thread), "which holds no reference");
}

TEST_F(ThreadDeathTest, ClosingAHandleTwiceStops) {
    RoutineRecord run;
    HANDLE handle;
    ASSERT_EQ(PsCreateSystemThread(&handle, THREAD_ALL_ACCESS, nullptr, nullptr, nullptr, CountCall,
                                   &run),
              STATUS_SUCCESS);
    ZwClose(handle);
    EXPECT_DEATH(ZwClose(handle),
                 "INVALID_KERNEL_HANDLE \\(0x93\\): .* in ZwClose: .* is not an open "
                 "handle");
}

}  // namespace
