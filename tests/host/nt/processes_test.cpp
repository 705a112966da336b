// Processes and their handle tables: who owns a handle, where it is valid,
// what exiting closes, what the leak check reports, and Driver Verifier's
// stop on a process's handle referenced with KernelMode access.
#include <atomic>
#include <thread>

#include "host/nt/bug_check.h"
#include "host/nt/processes.h"
#include "host/nt/threads_control.h"
#include "kernel_test.h"

namespace {

using ProcessTest = KernelTest;
using ProcessDeathTest = KernelDeathTest;

// Opens \Registry\Machine\SYSTEM, a key every kernel has.
HANDLE OpenSystemKey(ULONG attributes) {
    UNICODE_STRING name;
    RtlInitUnicodeString(&name, u"\\Registry\\Machine\\SYSTEM");
    OBJECT_ATTRIBUTES objectAttributes;
    InitializeObjectAttributes(&objectAttributes, &name, attributes, nullptr, nullptr);
    HANDLE key = nullptr;
    EXPECT_EQ(ZwCreateKey(&key, KEY_ALL_ACCESS, &objectAttributes, 0, nullptr,
                          REG_OPTION_NON_VOLATILE, nullptr),
              STATUS_SUCCESS);
    return key;
}

NTSTATUS SetValue(HANDLE key) {
    UNICODE_STRING name;
    RtlInitUnicodeString(&name, u"Probe");
    ULONG value = 1;
    return ZwSetValueKey(key, &name, 0, REG_DWORD, &value, sizeof(value));
}

VOID NTAPI Nothing(PVOID) {}

// Starts a thread that does nothing and waits for it to end; the handle
// stays open.
HANDLE StartThread(POBJECT_ATTRIBUTES attributes) {
    HANDLE handle = nullptr;
    EXPECT_EQ(PsCreateSystemThread(&handle, THREAD_ALL_ACCESS, attributes, nullptr, nullptr,
                                   Nothing, nullptr),
              STATUS_SUCCESS);
    while (host::RunningSystemThreads() != 0) {
    }
    return handle;
}

TEST_F(ProcessTest, EveryThreadStartsInTheSystemProcess) {
    EXPECT_EQ(host::CurrentProcessId(), host::SystemProcessId);
    host::ClientProcess application("application");
    EXPECT_NE(application.Id(), host::SystemProcessId);
    EXPECT_EQ(application.Id() % 4, 0u);
    {
        host::AttachedProcess attached(application.Id());
        EXPECT_EQ(host::CurrentProcessId(), application.Id());
        std::atomic<host::ProcessId> other{0};
        std::thread([&] { other = host::CurrentProcessId(); }).join();
        EXPECT_EQ(other, host::SystemProcessId);
    }
    EXPECT_EQ(host::CurrentProcessId(), host::SystemProcessId);
}

TEST_F(ProcessTest, AProcessHandleIsValidOnlyInItsOwnProcess) {
    host::ClientProcess first("first");
    host::ClientProcess second("second");
    HANDLE key;
    {
        host::AttachedProcess attached(first.Id());
        key = OpenSystemKey(OBJ_CASE_INSENSITIVE);
        EXPECT_EQ(reinterpret_cast<ULONG_PTR>(key), 4u) << "a small multiple of four";
        EXPECT_EQ(SetValue(key), STATUS_SUCCESS);
    }
    {
        host::AttachedProcess attached(second.Id());
        EXPECT_EQ(SetValue(key), STATUS_INVALID_HANDLE);
        PVOID object = nullptr;
        EXPECT_EQ(ObReferenceObjectByHandle(key, 0, nullptr, UserMode, &object, nullptr),
                  STATUS_INVALID_HANDLE);
    }
    EXPECT_EQ(SetValue(key), STATUS_INVALID_HANDLE) << "nor in System";
    host::AttachedProcess attached(first.Id());
    EXPECT_EQ(ZwClose(key), STATUS_SUCCESS);
}

TEST_F(ProcessTest, AKernelHandleIsValidInEveryProcess) {
    host::ClientProcess application("application");
    HANDLE key;
    {
        host::AttachedProcess attached(application.Id());
        key = OpenSystemKey(OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE);
    }
    EXPECT_EQ(reinterpret_cast<ULONG_PTR>(key) & 0xFFFFFFFF80000000ull, 0xFFFFFFFF80000000ull);
    EXPECT_EQ(SetValue(key), STATUS_SUCCESS);
    PVOID object = nullptr;
    EXPECT_EQ(ObReferenceObjectByHandle(key, 0, nullptr, UserMode, &object, nullptr),
              STATUS_INVALID_HANDLE)
        << "user mode cannot name a kernel handle";
    EXPECT_EQ(ZwClose(key), STATUS_SUCCESS);
}

TEST_F(ProcessTest, AThreadHandleGoesToTheCreatorsProcessUnlessItIsAKernelHandle) {
    host::ClientProcess application("application");
    host::AttachedProcess attached(application.Id());
    HANDLE processHandle = StartThread(nullptr);
    EXPECT_EQ(reinterpret_cast<ULONG_PTR>(processHandle), 4u);
    OBJECT_ATTRIBUTES kernel;
    InitializeObjectAttributes(&kernel, nullptr, OBJ_KERNEL_HANDLE, nullptr, nullptr);
    HANDLE kernelHandle = StartThread(&kernel);
    EXPECT_TRUE(reinterpret_cast<LONG_PTR>(kernelHandle) < 0);
    EXPECT_EQ(host::HandlesCreatedIn(application.Id()), 1u);
    PVOID object = nullptr;
    ASSERT_EQ(ObReferenceObjectByHandle(kernelHandle, THREAD_ALL_ACCESS, *PsThreadType, KernelMode,
                                        &object, nullptr),
              STATUS_SUCCESS);
    ObDereferenceObject(object);
    ZwClose(processHandle);
    ZwClose(kernelHandle);
}

TEST_F(ProcessTest, ExitingClosesTheHandlesLeftInTheProcess) {
    {
        host::ClientProcess application("application");
        host::AttachedProcess attached(application.Id());
        OpenSystemKey(OBJ_CASE_INSENSITIVE);
        StartThread(nullptr);
        EXPECT_NE(host::CheckNoLeaks(), "");
    }
    EXPECT_EQ(host::CheckNoLeaks(), "") << "the key and the thread object are gone";
}

TEST_F(ProcessTest, LeakCheckNamesTheProcessOfEachOpenHandle) {
    host::ClientProcess application("viewer");
    HANDLE processKey;
    {
        host::AttachedProcess attached(application.Id());
        processKey = OpenSystemKey(OBJ_CASE_INSENSITIVE);
    }
    HANDLE kernelKey = OpenSystemKey(OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE);
    HANDLE systemKey = OpenSystemKey(OBJ_CASE_INSENSITIVE);
    const std::string report = host::CheckNoLeaks();
    const std::string process = std::to_string(application.Id());
    EXPECT_NE(report.find("handle 0x4 of process " + process + " (viewer) to key "),
              std::string::npos)
        << report;
    EXPECT_NE(report.find("handle 0xFFFFFFFF80000004 of the kernel to key "), std::string::npos);
    EXPECT_NE(report.find("handle 0x4 of process 4 (System) to key "), std::string::npos);
    ZwClose(kernelKey);
    ZwClose(systemKey);
    host::AttachedProcess attached(application.Id());
    ZwClose(processKey);
}

TEST_F(ProcessDeathTest, AnApplicationsHandleReferencedInKernelModeStops) {
    host::ClientProcess application("application");
    host::AttachedProcess attached(application.Id());
    HANDLE handle = StartThread(nullptr);
    PVOID object = nullptr;
    EXPECT_DEATH(ObReferenceObjectByHandle(handle, THREAD_ALL_ACCESS, *PsThreadType, KernelMode,
                                           &object, nullptr),
                 "DRIVER_VERIFIER_DETECTED_VIOLATION \\(0xC4\\): 0xF6, 0x4, 0x" +
                     host::Hex(application.Id()).substr(2) + ", 0x0, in ObReferenceObjectByHandle");
    ZwClose(handle);
}

TEST_F(ProcessDeathTest, ClosingAnotherProcesssHandleStops) {
    host::ClientProcess application("application");
    HANDLE key;
    {
        host::AttachedProcess attached(application.Id());
        key = OpenSystemKey(OBJ_CASE_INSENSITIVE);
    }
    EXPECT_DEATH(ZwClose(key), "INVALID_KERNEL_HANDLE \\(0x93\\): 0x4, .* in ZwClose");
}

}  // namespace
