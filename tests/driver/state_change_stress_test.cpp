// State changes while buffers stream: as on Windows, the class driver lets
// a state change overlap the pin's processing, so the driver keeps apart
// what must not overlap. One thread of the application walks the pin
// through its states while another keeps buffers queued and collects them;
// under ThreadSanitizer this shows no race, and it never deadlocks.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "tests/support/capture_fixture.h"

namespace driver_test {
namespace {

constexpr auto StressTime = std::chrono::seconds(3);
constexpr auto DeadlockLimit = std::chrono::seconds(60);
constexpr size_t BuffersQueued = 3;

// Aborts the test binary if the scope lasts too long: a deadlock fails
// instead of hanging.
class Watchdog {
public:
    Watchdog()
        : thread_([this] {
              std::unique_lock<std::mutex> lock(mutex_);
              if (!done_condition_.wait_for(lock, DeadlockLimit, [this] { return done_; })) {
                  std::fprintf(stderr, "deadlock: the stress test did not end\n");
                  std::abort();
              }
          }) {}
    ~Watchdog() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            done_ = true;
        }
        done_condition_.notify_all();
        thread_.join();
    }

private:
    std::mutex mutex_;
    std::condition_variable done_condition_;
    bool done_ = false;
    std::thread thread_;
};

struct Outcome {
    int delivered = 0;
    int cancelled = 0;
    int wrong = 0;
};

// Keeps BuffersQueued buffers at the pin and collects what comes back until
// `stop`; buffers refused in the stop state are simply dropped.
Outcome Stream(client::Pin& pin, const std::atomic<bool>& stop) {
    Outcome outcome;
    const ULONG frameSize = pin.FrameSize();
    while (!stop) {
        while (pin.Outstanding() < BuffersQueued) {
            if (pin.Queue(std::make_unique<client::StreamBuffer>(frameSize)) != STATUS_PENDING) {
                break;
            }
        }
        std::unique_ptr<client::StreamBuffer> done =
            pin.WaitForCompleted(std::chrono::milliseconds(2));
        if (done == nullptr) {
            continue;
        }
        if (done->status == STATUS_SUCCESS && done->header.DataUsed == frameSize) {
            ++outcome.delivered;
        } else if (done->status == STATUS_CANCELLED && done->header.DataUsed == 0) {
            ++outcome.cancelled;
        } else {
            ++outcome.wrong;
        }
    }
    return outcome;
}

using StateChangeStress = CaptureTest;

TEST_F(StateChangeStress, StateChangesWhileBuffersAreQueuedAndCompleted) {
    ASSERT_NE(StartCamera(), nullptr);
    ASSERT_EQ(CreatePin(), STATUS_SUCCESS);
    client::MasterClock clock;
    pin_->SetMasterClock(&clock);
    Watchdog watchdog;
    std::atomic<bool> stop{false};
    Outcome outcome;
    std::thread streamer([&] { outcome = Stream(*pin_, stop); });
    // Every step of the state machine, up and down, with short stays.
    const KSSTATE walk[] = {KSSTATE_RUN,   KSSTATE_PAUSE,   KSSTATE_RUN,
                            KSSTATE_STOP,  KSSTATE_ACQUIRE, KSSTATE_RUN,
                            KSSTATE_PAUSE, KSSTATE_ACQUIRE, KSSTATE_STOP};
    int steps = 0;
    const auto end = std::chrono::steady_clock::now() + StressTime;
    while (std::chrono::steady_clock::now() < end) {
        for (KSSTATE state : walk) {
            ASSERT_EQ(pin_->SetState(state), STATUS_SUCCESS) << "step " << steps;
            ++steps;
            std::this_thread::sleep_for(std::chrono::microseconds(500 * (steps % 4)));
        }
    }
    stop = true;
    streamer.join();
    // The walk ended in stop: every buffer came back, none stayed queued.
    while (pin_->WaitForCompleted(std::chrono::milliseconds(100)) != nullptr) {
    }
    EXPECT_EQ(pin_->Outstanding(), 0u);
    pin_->SetMasterClock(nullptr);
    pin_.reset();
    EXPECT_GT(outcome.delivered, 0);
    EXPECT_GT(outcome.cancelled, 0);
    EXPECT_EQ(outcome.wrong, 0);
}

}  // namespace
}  // namespace driver_test
