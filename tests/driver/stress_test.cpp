// Stress from the application side. As on Windows, the class driver lets a
// state change overlap the pin's processing, so the driver keeps apart what
// must not overlap: one thread walks the pin through its states while
// another keeps buffers queued and collects them. Then an application whose
// threads all work at once: random state changes, buffers queued and
// cancelled from two threads, property traffic on two filters. Under
// ThreadSanitizer this shows no race, and a hang fails instead of stalling.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <map>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

#include "diskcam/controls.h"
#include "tests/support/capture_fixture.h"
#include "tests/support/watchdog.h"

namespace driver_test {
namespace {

constexpr auto StressTime = std::chrono::seconds(3);
constexpr auto DeadlockLimit = std::chrono::seconds(300);
constexpr size_t BuffersQueued = 3;

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
            if (pin.Queue(pin.NewBuffer(frameSize)) != STATUS_PENDING) {
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
    testing_support::Watchdog watchdog(DeadlockLimit, "the stress test");
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

// What came back, by the id each buffer got when it was queued. A buffer
// address is reused only after its buffer was refused or collected, so a
// refusal forgets an entry only if it is still its own.
class Ledger {
public:
    uint64_t Register(const client::StreamBuffer* buffer) {
        std::lock_guard<std::mutex> lock(mutex_);
        outstanding_[buffer] = ++lastId_;
        return lastId_;
    }
    void Forget(const client::StreamBuffer* buffer, uint64_t id) {
        std::lock_guard<std::mutex> lock(mutex_);
        auto found = outstanding_.find(buffer);
        if (found != outstanding_.end() && found->second == id) {
            outstanding_.erase(found);
        }
    }
    size_t Outstanding() {
        std::lock_guard<std::mutex> lock(mutex_);
        return outstanding_.size();
    }
    // Any outstanding buffer, to cancel; null when none is.
    const client::StreamBuffer* Any(std::mt19937& random) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (outstanding_.empty()) {
            return nullptr;
        }
        auto it = outstanding_.begin();
        std::advance(it, random() % outstanding_.size());
        return it->first;
    }
    // False for a buffer that was not outstanding: unknown, or back twice.
    bool Collect(const client::StreamBuffer* buffer) {
        std::lock_guard<std::mutex> lock(mutex_);
        return outstanding_.erase(buffer) == 1;
    }
    uint64_t Queued() {
        std::lock_guard<std::mutex> lock(mutex_);
        return lastId_;
    }

private:
    std::mutex mutex_;
    std::map<const client::StreamBuffer*, uint64_t> outstanding_;
    uint64_t lastId_ = 0;
};

struct Deliveries {
    int delivered = 0;
    int cancelled = 0;
    int wrong = 0;
    int unknown = 0;
    int torn = 0;
    int older = 0;
};

constexpr int Transitions = 2000;
constexpr size_t MaxQueued = 6;

// An application whose threads all work at once on one camera: a state
// thread, two threads queueing and cancelling buffers, one collecting them,
// and a property thread on each of two filters. The camera runs freely,
// every raw frame uniform with its number as value (modulo 256); without
// colour correction that converts to a grey of the same value, so a torn
// frame shows two greys and an old one a number that went back.
class ClientStress : public CaptureTest {
protected:
    void SetUp() override {
        CaptureTest::SetUp();
        ASSERT_NE(StartNumberedCamera(500, 64), nullptr);
        ASSERT_EQ(CreatePin(), STATUS_SUCCESS);
        second_ = OpenFilter();
        ASSERT_NE(second_, nullptr);
        // In the pool, which the fixture's set-up resets: made after it.
        clock_ = std::make_unique<client::MasterClock>();
        pin_->SetMasterClock(clock_.get());
    }

    void TearDown() override {
        if (pin_ != nullptr) {
            pin_->SetMasterClock(nullptr);
        }
        pin_.reset();
        second_.reset();
        clock_.reset();
        CaptureTest::TearDown();
    }

    void QueueAndCancel(unsigned seed) {
        std::mt19937 random(seed);
        const ULONG frameSize = pin_->FrameSize();
        while (!stop_) {
            if (ledger_.Outstanding() < MaxQueued) {
                auto buffer = pin_->NewBuffer(frameSize);
                const client::StreamBuffer* queued = buffer.get();
                const uint64_t id = ledger_.Register(queued);
                if (pin_->Queue(std::move(buffer)) != STATUS_PENDING) {
                    ledger_.Forget(queued, id);
                }
            }
            if (random() % 6 == 0) {
                const client::StreamBuffer* target = ledger_.Any(random);
                if (target != nullptr) {
                    pin_->Cancel(target);
                }
            }
            std::this_thread::sleep_for(std::chrono::microseconds(random() % 300));
        }
    }

    void Collect(bool* quiet) {
        std::unique_ptr<client::StreamBuffer> done =
            pin_->WaitForCompleted(std::chrono::milliseconds(2));
        *quiet = done == nullptr;
        if (done == nullptr) {
            return;
        }
        const uint64_t readBy = sim_->FramesRead();
        if (!ledger_.Collect(done.get())) {
            ++deliveries_.unknown;
        } else if (done->status == STATUS_CANCELLED && done->header.DataUsed == 0) {
            ++deliveries_.cancelled;
        } else if (done->status == STATUS_SUCCESS && done->header.DataUsed == done->data.size()) {
            ++deliveries_.delivered;
            Check(*done, readBy);
        } else {
            ++deliveries_.wrong;
        }
    }

    // Deliveries are whole greys and never go back.
    void Check(const client::StreamBuffer& buffer, uint64_t readBy) {
        const int64_t shown = FrameShown(buffer, readBy);
        if (shown < 0) {
            ++deliveries_.torn;
            return;
        }
        if (static_cast<uint64_t>(shown) < lastShown_) {
            ++deliveries_.older;
        }
        lastShown_ = static_cast<uint64_t>(shown);
    }

    // Sets and gets as a control panel sends them while the camera streams;
    // a window change is refused while the pin exists.
    void SendProperties(client::Filter& filter, unsigned seed) {
        std::mt19937 random(seed);
        while (!stop_) {
            int32_t value = 0;
            switch (random() % 5) {
                case 0:
                    value = 1 + static_cast<int32_t>(random() % 8191);
                    EXPECT_EQ(Control(filter, 2, diskcam::ControlSet, &value), STATUS_SUCCESS);
                    break;
                case 1:
                    value = static_cast<int32_t>(random() % 2);
                    EXPECT_EQ(Control(filter, 10 + random() % 2, diskcam::ControlSet, &value),
                              STATUS_SUCCESS);
                    break;
                case 2:
                    EXPECT_EQ(Control(filter, 2, diskcam::ControlGet, &value), STATUS_SUCCESS);
                    EXPECT_GE(value, 1);
                    EXPECT_LE(value, 8191);
                    break;
                case 3:
                    EXPECT_EQ(Control(filter, 38, diskcam::ControlGet, &value), STATUS_SUCCESS);
                    EXPECT_EQ(value, 4384);
                    break;
                default:
                    EXPECT_EQ(SetWindow(filter, 0, 0, 0, 128, 64), STATUS_INVALID_DEVICE_STATE);
                    break;
            }
            std::this_thread::sleep_for(std::chrono::microseconds(random() % 500));
        }
    }

    std::unique_ptr<client::Filter> second_;
    std::unique_ptr<client::MasterClock> clock_;
    Ledger ledger_;
    Deliveries deliveries_;
    uint64_t lastShown_ = 0;
    std::atomic<bool> stop_{false};
};

TEST_F(ClientStress, AllThreadsOfAnApplicationAtOnce) {
    testing_support::Watchdog watchdog(DeadlockLimit, "the stress test");
    std::atomic<bool> collecting{true};
    std::thread collector([&] {
        bool quiet = false;
        while (collecting || !quiet) {
            Collect(&quiet);
        }
    });
    std::thread queuers[] = {std::thread([&] { QueueAndCancel(1); }),
                             std::thread([&] { QueueAndCancel(2); })};
    std::thread panels[] = {std::thread([&] { SendProperties(*filter_, 3); }),
                            std::thread([&] { SendProperties(*second_, 4); })};
    std::mt19937 random(5);
    const KSSTATE states[] = {KSSTATE_STOP, KSSTATE_ACQUIRE, KSSTATE_PAUSE, KSSTATE_RUN};
    for (int transition = 0; transition < Transitions; ++transition) {
        ASSERT_EQ(pin_->SetState(states[random() % 4]), STATUS_SUCCESS) << transition;
        std::this_thread::sleep_for(std::chrono::microseconds(random() % 2000));
    }
    stop_ = true;
    for (std::thread& thread : queuers) {
        thread.join();
    }
    for (std::thread& thread : panels) {
        thread.join();
    }
    // In stop every buffer still queued comes back, and nothing after it.
    ASSERT_EQ(pin_->SetState(KSSTATE_STOP), STATUS_SUCCESS);
    collecting = false;
    collector.join();
    EXPECT_EQ(ledger_.Outstanding(), 0u);
    EXPECT_EQ(pin_->Outstanding(), 0u);
    EXPECT_EQ(deliveries_.unknown, 0) << "buffers back twice or never queued";
    EXPECT_EQ(deliveries_.wrong, 0) << "buffers back with another status or length";
    EXPECT_EQ(deliveries_.torn, 0) << "frames of two raw frames";
    EXPECT_EQ(deliveries_.older, 0) << "frames older than one delivered before";
    EXPECT_GT(deliveries_.delivered, 0);
    EXPECT_GT(deliveries_.cancelled, 0);
    std::printf("%llu buffers queued, %d delivered, %d cancelled\n",
                static_cast<unsigned long long>(ledger_.Queued()), deliveries_.delivered,
                deliveries_.cancelled);
}

}  // namespace
}  // namespace driver_test
