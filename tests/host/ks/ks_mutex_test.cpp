// The class driver's device, control and processing mutexes: owned, not
// recursive, taken in that order and only at PASSIVE_LEVEL; each misuse
// stops with a bug check naming the mutex and the routine.
#include "tests/host/ks/ks_test.h"
#include "tests/host/ks/wait.h"

namespace {

class KsMutexTest : public KsPinTest {
protected:
    void Queue() {
        ASSERT_EQ(pin_->Queue(std::make_unique<client::StreamBuffer>(64)), STATUS_PENDING);
    }
};

class KsMutexDeathTest : public KsMutexTest {
protected:
    void SetUp() override {
        GTEST_FLAG_SET(death_test_style, "threadsafe");
        KsMutexTest::SetUp();
    }
};

constexpr char Deadlock[] = "DRIVER_VERIFIER_DETECTED_VIOLATION \\(0xC4\\): 0x1001, 0x[0-9A-F]+, ";
constexpr char NotOwner[] = "THREAD_NOT_MUTEX_OWNER \\(0x11\\): 0x[0-9A-F]+, ";

void AtDispatchLevel(void (*call)(PVOID), PVOID object) {
    KSPIN_LOCK lock;
    KeInitializeSpinLock(&lock);
    KIRQL irql;
    KeAcquireSpinLock(&lock, &irql);
    call(object);
}

TEST_F(KsMutexTest, TheThreeInOrderAreFine) {
    KsAcquireDevice(device_->Ks());
    KsAcquireControl(filter_->Kernel());
    KsPinAcquireProcessingMutex(pin_->Kernel());
    KsPinReleaseProcessingMutex(pin_->Kernel());
    KsReleaseControl(filter_->Kernel());
    KsReleaseDevice(device_->Ks());
}

TEST_F(KsMutexTest, TheProcessingMutexHoldsProcessingOff) {
    ASSERT_EQ(pin_->SetState(KSSTATE_RUN), STATUS_SUCCESS);
    KsPinAcquireProcessingMutex(pin_->Kernel());
    Queue();
    std::this_thread::sleep_for(Quiet);
    EXPECT_EQ(minidriver::Recorded().processCalls, 0);
    KsPinReleaseProcessingMutex(pin_->Kernel());
    EXPECT_TRUE(WaitUntil([] { return minidriver::Recorded().processCalls >= 1; }));
}

TEST_F(KsMutexDeathTest, TakingAMutexTheThreadHoldsStops) {
    EXPECT_DEATH(
        {
            KsAcquireDevice(device_->Ks());
            KsAcquireDevice(device_->Ks());
        },
        std::string(Deadlock) +
            "0x0, 0x0, in KsAcquireDevice: the device mutex of device 0x[0-9A-F]+ taken again by "
            "the thread that holds it");
    EXPECT_DEATH(
        {
            KsAcquireControl(pin_->Kernel());
            KsAcquireControl(filter_->Kernel());
        },
        std::string(Deadlock) +
            ".* in KsAcquireControl: the control mutex of filter 0x[0-9A-F]+ "
            "taken again");
    EXPECT_DEATH(
        {
            KsPinAcquireProcessingMutex(pin_->Kernel());
            KsPinAcquireProcessingMutex(pin_->Kernel());
        },
        std::string(Deadlock) +
            ".* in KsPinAcquireProcessingMutex: the processing mutex of pin "
            "0x[0-9A-F]+ taken again");
}

TEST_F(KsMutexDeathTest, TakingAMutexOutOfOrderStops) {
    EXPECT_DEATH(
        {
            KsPinAcquireProcessingMutex(pin_->Kernel());
            KsAcquireControl(filter_->Kernel());
        },
        std::string(Deadlock) +
            ".* in KsAcquireControl: the control mutex of filter .* taken "
            "while holding the processing mutex of pin");
    EXPECT_DEATH(
        {
            KsAcquireControl(filter_->Kernel());
            KsAcquireDevice(device_->Ks());
        },
        std::string(Deadlock) +
            ".* in KsAcquireDevice: the device mutex .* taken while holding "
            "the control mutex");
}

TEST_F(KsMutexDeathTest, ReleasingAMutexTheThreadDoesNotHoldStops) {
    EXPECT_DEATH(KsReleaseDevice(device_->Ks()), std::string(NotOwner) + ".* in KsReleaseDevice");
    EXPECT_DEATH(KsReleaseControl(filter_->Kernel()),
                 std::string(NotOwner) +
                     ".* in KsReleaseControl: the control mutex of filter "
                     "0x[0-9A-F]+ released by a thread that does not hold it");
    KsPinAcquireProcessingMutex(pin_->Kernel());
    EXPECT_DEATH(std::thread([this] { KsPinReleaseProcessingMutex(pin_->Kernel()); }).join(),
                 std::string(NotOwner) + ".* in KsPinReleaseProcessingMutex");
    KsPinReleaseProcessingMutex(pin_->Kernel());
}

TEST_F(KsMutexDeathTest, TakingAMutexAtDispatchLevelStops) {
    const char* expected = "IRQL_NOT_LESS_OR_EQUAL \\(0xA\\): 0x0, 0x2, 0x0, 0x0, in ";
    EXPECT_DEATH(
        AtDispatchLevel([](PVOID device) { KsAcquireDevice(static_cast<PKSDEVICE>(device)); },
                        device_->Ks()),
        std::string(expected) + "KsAcquireDevice");
    EXPECT_DEATH(AtDispatchLevel([](PVOID filter) { KsAcquireControl(filter); }, filter_->Kernel()),
                 std::string(expected) + "KsAcquireControl");
    EXPECT_DEATH(
        AtDispatchLevel([](PVOID pin) { KsPinAcquireProcessingMutex(static_cast<PKSPIN>(pin)); },
                        pin_->Kernel()),
        std::string(expected) + "KsPinAcquireProcessingMutex");
}

// The class driver holds the processing mutex around Process and the
// control mutex around SetDeviceState.
TEST_F(KsMutexDeathTest, ADriverTakingWhatTheClassDriverHoldsForItStops) {
    EXPECT_DEATH(
        {
            minidriver::Recorded().process = [](PKSPIN pin) {
                KsPinAcquireProcessingMutex(pin);
                return STATUS_PENDING;
            };
            pin_->SetState(KSSTATE_RUN);
            Queue();
            std::this_thread::sleep_for(std::chrono::seconds(5));
        },
        std::string(Deadlock) + ".* in KsPinAcquireProcessingMutex: .* taken again");
    EXPECT_DEATH(
        {
            minidriver::Recorded().stateChange = [](PKSPIN pin) { KsAcquireControl(pin); };
            pin_->SetState(KSSTATE_ACQUIRE);
        },
        std::string(Deadlock) + ".* in KsAcquireControl: .* taken again");
    EXPECT_DEATH(
        {
            minidriver::Recorded().process = [](PKSPIN pin) {
                KsAcquireControl(pin);
                return STATUS_PENDING;
            };
            pin_->SetState(KSSTATE_RUN);
            Queue();
            std::this_thread::sleep_for(std::chrono::seconds(5));
        },
        std::string(Deadlock) +
            ".* in KsAcquireControl: .* taken while holding the processing "
            "mutex");
}

}  // namespace
