// Events and waits: notification and synchronization semantics, timeouts,
// and the stop on a wait for something that is no event.
#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

#include "kernel_test.h"

namespace {

using EventTest = KernelTest;
using EventDeathTest = KernelDeathTest;

LARGE_INTEGER Relative(int milliseconds) {
    LARGE_INTEGER timeout;
    timeout.QuadPart = -10000LL * milliseconds;
    return timeout;
}

TEST_F(EventTest, NotificationEventSatisfiesEveryWaitUntilReset) {
    KEVENT event;
    KeInitializeEvent(&event, NotificationEvent, FALSE);
    LARGE_INTEGER now = Relative(0);
    EXPECT_EQ(KeWaitForSingleObject(&event, Executive, KernelMode, FALSE, &now), STATUS_TIMEOUT);
    EXPECT_EQ(KeSetEvent(&event, IO_NO_INCREMENT, FALSE), 0);
    EXPECT_EQ(KeWaitForSingleObject(&event, Executive, KernelMode, FALSE, &now), STATUS_SUCCESS);
    EXPECT_EQ(KeWaitForSingleObject(&event, Executive, KernelMode, FALSE, nullptr), STATUS_SUCCESS);
    EXPECT_EQ(KeSetEvent(&event, IO_NO_INCREMENT, FALSE), 1);
    EXPECT_EQ(KeResetEvent(&event), 1);
    EXPECT_EQ(KeResetEvent(&event), 0);
    EXPECT_EQ(KeWaitForSingleObject(&event, Executive, KernelMode, FALSE, &now), STATUS_TIMEOUT);
}

TEST_F(EventTest, SynchronizationEventSatisfiesOneWaitThenResets) {
    KEVENT event;
    KeInitializeEvent(&event, SynchronizationEvent, TRUE);
    LARGE_INTEGER now = Relative(0);
    EXPECT_EQ(KeWaitForSingleObject(&event, Executive, KernelMode, FALSE, &now), STATUS_SUCCESS);
    EXPECT_EQ(KeWaitForSingleObject(&event, Executive, KernelMode, FALSE, &now), STATUS_TIMEOUT);
}

TEST_F(EventTest, RelativeTimeoutWaitsThatLongThenReportsTimeout) {
    KEVENT event;
    KeInitializeEvent(&event, NotificationEvent, FALSE);
    LARGE_INTEGER timeout = Relative(30);
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(KeWaitForSingleObject(&event, Executive, KernelMode, FALSE, &timeout),
              STATUS_TIMEOUT);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(30));
}

TEST_F(EventTest, SetFromAnotherThreadWakesTheWaiter) {
    KEVENT event;
    KeInitializeEvent(&event, SynchronizationEvent, FALSE);
    std::atomic<bool> set{false};
    std::thread setter([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        set = true;
        KeSetEvent(&event, IO_NO_INCREMENT, FALSE);
    });
    EXPECT_EQ(KeWaitForSingleObject(&event, Executive, KernelMode, FALSE, nullptr), STATUS_SUCCESS);
    EXPECT_TRUE(set);
    setter.join();
}

TEST_F(EventDeathTest, WaitingOnAnUninitializedEventStops) {
    KEVENT event;
    std::memset(&event, 0xA5, sizeof event);
    EXPECT_DEATH(KeWaitForSingleObject(&event, Executive, KernelMode, FALSE, nullptr),
                 "neither an initialized event nor a live thread object");
}

}  // namespace
