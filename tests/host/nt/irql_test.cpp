// IRQL: at DISPATCH_LEVEL (a spin lock held) every routine that may wait or
// touch pageable memory stops, naming itself; a wait with a zero timeout is
// the one wait allowed there.
#include <functional>
#include <string>
#include <vector>

#include "kernel_test.h"

namespace {

using IrqlTest = KernelTest;
using IrqlDeathTest = KernelDeathTest;

// Runs `call` holding a spin lock.
void AtDispatchLevel(const std::function<void()>& call) {
    KSPIN_LOCK lock;
    KeInitializeSpinLock(&lock);
    KIRQL irql;
    KeAcquireSpinLock(&lock, &irql);
    call();
    KeReleaseSpinLock(&lock, irql);
}

struct PassiveRoutine {
    const char* name;
    std::function<void()> call;
};

// The IRQL check comes before any argument is looked at.
const std::vector<PassiveRoutine>& PassiveRoutines() {
    static const std::vector<PassiveRoutine> routines = {
        {"ZwClose", [] { ZwClose(nullptr); }},
        {"ZwCreateKey", [] { ZwCreateKey(nullptr, 0, nullptr, 0, nullptr, 0, nullptr); }},
        {"ZwOpenFile", [] { ZwOpenFile(nullptr, 0, nullptr, nullptr, 0, 0); }},
        {"ZwQueryValueKey",
         [] {
             ZwQueryValueKey(nullptr, nullptr, KeyValuePartialInformation, nullptr, 0, nullptr);
         }},
        {"ZwSetValueKey", [] { ZwSetValueKey(nullptr, nullptr, 0, 0, nullptr, 0); }},
        {"ZwSetInformationFile",
         [] { ZwSetInformationFile(nullptr, nullptr, nullptr, 0, FilePositionInformation); }},
        {"ZwReadFile",
         [] {
             ZwReadFile(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, 0, nullptr, nullptr);
         }},
        {"ZwWriteFile",
         [] {
             ZwWriteFile(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, 0, nullptr, nullptr);
         }},
        {"IoGetDeviceInterfaces", [] { IoGetDeviceInterfaces(nullptr, nullptr, 0, nullptr); }},
        {"IoOpenDeviceRegistryKey", [] { IoOpenDeviceRegistryKey(nullptr, 0, 0, nullptr); }},
        {"PsCreateSystemThread",
         [] { PsCreateSystemThread(nullptr, 0, nullptr, nullptr, nullptr, nullptr, nullptr); }},
    };
    return routines;
}

TEST_F(IrqlDeathTest, EveryPassiveLevelRoutineStopsAtDispatchLevel) {
    for (const PassiveRoutine& routine : PassiveRoutines()) {
        EXPECT_DEATH(AtDispatchLevel(routine.call),
                     std::string("IRQL_NOT_LESS_OR_EQUAL \\(0xA\\): 0x0, 0x2, 0x0, 0x0, in ") +
                         routine.name + ": called at IRQL 2 with 1 spin lock\\(s\\) held")
            << routine.name;
    }
}

// Even a wait on a signalled event, with the shortest timeout.
TEST_F(IrqlDeathTest, AWaitWithATimeoutStopsAtDispatchLevel) {
    KEVENT event;
    KeInitializeEvent(&event, NotificationEvent, TRUE);
    LARGE_INTEGER shortest;
    shortest.QuadPart = -1;
    EXPECT_DEATH(AtDispatchLevel([&] {
                     KeWaitForSingleObject(&event, Executive, KernelMode, FALSE, &shortest);
                 }),
                 "\\(0xA\\): 0x0, 0x2, 0x0, 0x0, in KeWaitForSingleObject: a wait at IRQL 2");
}

TEST_F(IrqlTest, AZeroTimeoutWaitPollsAtDispatchLevel) {
    KEVENT event;
    KeInitializeEvent(&event, NotificationEvent, FALSE);
    LARGE_INTEGER zero;
    zero.QuadPart = 0;
    NTSTATUS unsignalled = STATUS_SUCCESS;
    NTSTATUS signalled = STATUS_TIMEOUT;
    AtDispatchLevel([&] {
        unsignalled = KeWaitForSingleObject(&event, Executive, KernelMode, FALSE, &zero);
        KeSetEvent(&event, IO_NO_INCREMENT, FALSE);
        signalled = KeWaitForSingleObject(&event, Executive, KernelMode, FALSE, &zero);
    });
    EXPECT_EQ(unsignalled, STATUS_TIMEOUT);
    EXPECT_EQ(signalled, STATUS_SUCCESS);
}

}  // namespace
