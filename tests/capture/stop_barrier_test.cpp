// Stop is a barrier, whatever the class driver guarantees: a processing run
// that passed the engine's mark before a stop holds the stop until it ends,
// and one that comes after it, also after teardown and detach, touches no
// buffer. These pins process at any time, outside the state mutex.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/atomics.h"
#include "tests/capture/engine_fixture.h"

namespace capture_test {
namespace {

class StopBarrierTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        StartDevice(Stepped());
    }

    void AcquireUnserialisedPin(std::function<void(bool)> afterProcessingStep = nullptr) {
        TestPin::Options options;
        options.stepCaptureThread = true;
        options.serialised = false;
        options.afterProcessingStep = std::move(afterProcessingStep);
        AcquirePin(options);
        ASSERT_EQ(pin_->Run(), STATUS_SUCCESS);
    }
};

TEST_F(StopBarrierTest, ProcessingAfterTeardownAndDetachTouchesNothing) {
    AcquireUnserialisedPin();
    NextFrame();
    pin_->ProcessOnce();
    NextFrame();
    pin_->Teardown();
    ASSERT_GT(AtomicRead(&engine_->framesCaptured), 0);

    pin_->ProcessOnce();
    EXPECT_EQ(pin_->RefusedRuns(), 1u);
    // The pipeline is freed too: AddressSanitizer sees any use of it.
    pin_->Stop();
    pin_->ProcessOnce();
    EXPECT_EQ(pin_->RefusedRuns(), 2u);
    EXPECT_EQ(pin_->Sequences(), (std::vector<LONG>{1}));
    EXPECT_EQ(AtomicRead(&engine_->processingActive), 0);
}

TEST_F(StopBarrierTest, ARunAfterPauseTakesNoSlot) {
    AcquireUnserialisedPin();
    NextFrame();
    pin_->Pause();
    pin_->ProcessOnce();
    EXPECT_EQ(pin_->RefusedRuns(), 1u);
    EXPECT_TRUE(pin_->Sequences().empty());
    Slots slots = ReadSlots();
    EXPECT_EQ(slots.state[0], SlotFilled);
    EXPECT_EQ(slots.sequence[0], 1);
}

TEST_F(StopBarrierTest, APauseWaitsForARunThatPassedTheMark) {
    std::mutex mutex;
    std::condition_variable changed;
    bool inRun = false;
    bool goOn = false;
    std::atomic<bool> pauseReturned{false};
    bool pauseReturnedBeforeCopy = true;
    AcquireUnserialisedPin([&](bool copying) {
        if (!copying) {
            return;
        }
        std::unique_lock<std::mutex> lock(mutex);
        inRun = true;
        changed.notify_all();
        changed.wait(lock, [&] { return goOn; });
        pauseReturnedBeforeCopy = pauseReturned;
    });
    NextFrame();

    std::thread processing([&] { pin_->ProcessOnce(); });
    {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [&] { return inRun; });
    }
    std::thread pausing([&] {
        pin_->Pause();
        pauseReturned = true;
    });
    // The pause has marked the engine stopping and now waits for the run.
    while (Stopping() == 0) {
        std::this_thread::yield();
    }
    {
        std::lock_guard<std::mutex> lock(mutex);
        goOn = true;
    }
    changed.notify_all();
    processing.join();
    pausing.join();
    EXPECT_FALSE(pauseReturnedBeforeCopy);
    EXPECT_EQ(pin_->Sequences(), (std::vector<LONG>{1}));
}

}  // namespace
}  // namespace capture_test
