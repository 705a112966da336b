// Stopping the test the way Windows stops the machine: a driver error the
// kernel would answer with a bug check (a wrong pool tag, a double free, a
// spin lock held across a wait, an invalid kernel handle closed) prints one
// clear line on stderr and aborts.
#pragma once

#include <string>

#include <ntddk.h>

namespace host {

[[noreturn]] void BugCheck(const std::string& message);

// A bug check code with the name Windows gives it.
struct BugCode {
    const char* name;
    ULONG value;
};

constexpr BugCode IrqlNotLessOrEqual{"IRQL_NOT_LESS_OR_EQUAL", 0x0A};
constexpr BugCode ThreadNotMutexOwner{"THREAD_NOT_MUTEX_OWNER", 0x11};
constexpr BugCode InvalidKernelHandle{"INVALID_KERNEL_HANDLE", 0x93};
constexpr BugCode DriverVerifierDetectedViolation{"DRIVER_VERIFIER_DETECTED_VIOLATION", 0xC4};

// Parameter 1 of DRIVER_VERIFIER_DETECTED_VIOLATION: what Driver Verifier
// caught.
namespace Verifier {
constexpr ULONG_PTR PagedPoolAboveApcLevel = 0x01;
constexpr ULONG_PTR NonPagedPoolAboveDispatchLevel = 0x02;
constexpr ULONG_PTR PagedPoolFreedAboveApcLevel = 0x11;
constexpr ULONG_PTR PoolLeftAtUnload = 0x62;
constexpr ULONG_PTR UserHandleReferencedAsKernelMode = 0xF6;
constexpr ULONG_PTR Deadlock = 0x1001;
constexpr ULONG_PTR ExecutablePoolType = 0x2000;
}  // namespace Verifier

// "NAME (0xNN): p1, p2, p3, p4, in Routine: detail", as KeBugCheckEx shows
// its code and parameters, with the routine that found the fault.
[[noreturn]] void BugCheck(const BugCode& code, ULONG_PTR parameter1, ULONG_PTR parameter2,
                           ULONG_PTR parameter3, ULONG_PTR parameter4, const char* routine,
                           const std::string& detail);

// "0x1234ABCD", for messages.
std::string Hex(unsigned long long value);

}  // namespace host
