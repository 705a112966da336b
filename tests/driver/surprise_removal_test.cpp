// Surprise removal of the camera's disk: in every pin state and in the middle
// of a stream, the client's buffers come back with the removal's status
// instead of waiting forever; closing and unloading free everything (the
// fixture checks every pool tag and handle); a camera plugged in again is
// found when the device starts again.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

#include "host/nt/disks.h"
#include "host/nt/fault_plan.h"
#include "tests/support/capture_fixture.h"
#include "tests/support/watchdog.h"

namespace driver_test {
namespace {

constexpr std::chrono::seconds HangLimit{120};

class SurpriseRemoval : public CaptureTest {
protected:
    // A running pin on a camera that has delivered one frame.
    void StreamOneFrame(sim::SimOptions options = Immediate()) {
        sim_ = AttachCamera(options);
        ASSERT_NE(StartDevice(), nullptr);
        ASSERT_EQ(CreatePin(), STATUS_SUCCESS);
        ASSERT_EQ(pin_->SetState(KSSTATE_RUN), STATUS_SUCCESS);
        std::unique_ptr<client::StreamBuffer> first = Capture();
        ASSERT_NE(first, nullptr);
        ASSERT_EQ(first->status, STATUS_SUCCESS);
    }

    void Unplug() { ASSERT_TRUE(host::DetachDisk(links_.front())); }

    // Until the capture thread meets the removal, a buffer may still come
    // back with the last image; the first that fails must carry the
    // removal's status, and so must every one after it.
    void ExpectStreamEnd(int count) {
        const auto deadline = std::chrono::steady_clock::now() + Patience;
        for (;;) {
            std::unique_ptr<client::StreamBuffer> buffer = Capture();
            ASSERT_NE(buffer, nullptr) << "a buffer never came back";
            if (buffer->status != STATUS_SUCCESS) {
                EXPECT_EQ(buffer->status, STATUS_DEVICE_NOT_CONNECTED);
                EXPECT_EQ(buffer->header.DataUsed, 0u);
                break;
            }
            ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the stream never ended";
        }
        ExpectBuffersFail(count);
    }

    // Queues `count` buffers; each must come back empty with the removal's
    // status.
    void ExpectBuffersFail(int count) {
        for (int index = 0; index < count; ++index) {
            std::unique_ptr<client::StreamBuffer> buffer = Capture();
            ASSERT_NE(buffer, nullptr) << "buffer " << index << " never came back";
            EXPECT_EQ(buffer->status, STATUS_DEVICE_NOT_CONNECTED) << "buffer " << index;
            EXPECT_EQ(buffer->header.DataUsed, 0u) << "buffer " << index;
        }
    }

    testing_support::Watchdog watchdog_{HangLimit, "a surprise removal test"};
};

TEST_F(SurpriseRemoval, BuffersQueuedBeforeTheRemovalComeBackToo) {
    sim::SimOptions options = Immediate();
    options.holdFrames = true;
    sim_ = AttachCamera(options);
    ASSERT_NE(StartDevice(), nullptr);
    ASSERT_EQ(CreatePin(), STATUS_SUCCESS);
    ASSERT_EQ(pin_->SetState(KSSTATE_RUN), STATUS_SUCCESS);
    // No frame is released: the buffers wait in the queue.
    for (int index = 0; index < 3; ++index) {
        ASSERT_EQ(pin_->Queue(pin_->NewBuffer()), STATUS_PENDING);
    }
    Unplug();
    for (int index = 0; index < 3; ++index) {
        std::unique_ptr<client::StreamBuffer> buffer = pin_->WaitForCompleted(Patience);
        ASSERT_NE(buffer, nullptr) << "queued buffer " << index << " never came back";
        EXPECT_EQ(buffer->status, STATUS_DEVICE_NOT_CONNECTED);
        EXPECT_EQ(buffer->header.DataUsed, 0u);
    }
}

// A slow link keeps a transfer in flight when the disk goes.
TEST_F(SurpriseRemoval, ARemovalDuringATransferEndsTheStream) {
    sim::SimOptions options = Immediate();
    options.timing.latency = std::chrono::milliseconds(20);
    StreamOneFrame(options);
    ASSERT_EQ(pin_->Queue(pin_->NewBuffer()), STATUS_PENDING);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    Unplug();
    // The buffer queued before may have taken a frame read before the
    // removal.
    std::unique_ptr<client::StreamBuffer> inFlight = pin_->WaitForCompleted(Patience);
    ASSERT_NE(inFlight, nullptr);
    ExpectStreamEnd(2);
}

// A transfer that fails as a removed disk fails ends the stream, even when
// the disk is still listed.
TEST_F(SurpriseRemoval, AGoneStatusFromOneTransferEndsTheStream) {
    StreamOneFrame();
    host::FailNthTransfer(host::FaultSite::DiskRead, 1, host::DiskFailure::NoSuchDevice);
    ExpectStreamEnd(2);
    host::ClearPlannedFault();
}

// Removed while the pin is in `state`, then run: a stream that had not
// started cannot start; a running or paused one ends with the removal's
// status. A running pin is closed as it is, the others after a stop; either
// way everything is freed (the fixture checks).
class SurpriseRemovalInState : public SurpriseRemoval,
                               public ::testing::WithParamInterface<KSSTATE> {};

TEST_P(SurpriseRemovalInState, RunAfterTheRemovalNeverHangs) {
    StreamOneFrame();
    ASSERT_EQ(pin_->SetState(GetParam()), STATUS_SUCCESS);
    Unplug();
    const NTSTATUS run = pin_->SetState(KSSTATE_RUN);
    if (GetParam() == KSSTATE_RUN || GetParam() == KSSTATE_PAUSE) {
        ASSERT_EQ(run, STATUS_SUCCESS);
        ExpectStreamEnd(2);
    } else {
        EXPECT_EQ(run, STATUS_INVALID_DEVICE_STATE);
    }
    if (GetParam() != KSSTATE_RUN) {
        EXPECT_EQ(pin_->SetState(KSSTATE_STOP), STATUS_SUCCESS);
    }
}

INSTANTIATE_TEST_SUITE_P(EveryState, SurpriseRemovalInState,
                         ::testing::Values(KSSTATE_STOP, KSSTATE_ACQUIRE, KSSTATE_PAUSE,
                                           KSSTATE_RUN),
                         PinStateName);

TEST_F(SurpriseRemoval, ACameraPluggedInAgainIsFoundAtTheNextDeviceStart) {
    StreamOneFrame();
    Unplug();
    ExpectStreamEnd(1);
    pin_.reset();
    filter_.reset();
    LastDevice().Stop();
    links_.push_back(host::AttachDisk(sim_));
    ASSERT_EQ(LastDevice().Start(), STATUS_SUCCESS);
    ASSERT_EQ(CreatePin(), STATUS_SUCCESS);
    ASSERT_EQ(pin_->SetState(KSSTATE_RUN), STATUS_SUCCESS);
    for (int index = 0; index < 3; ++index) {
        std::unique_ptr<client::StreamBuffer> buffer = Capture();
        ASSERT_NE(buffer, nullptr);
        EXPECT_EQ(buffer->status, STATUS_SUCCESS);
        EXPECT_EQ(buffer->header.DataUsed, pin_->FrameSize());
    }
}

}  // namespace
}  // namespace driver_test
