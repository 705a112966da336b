// Processing: on a worker, one call at a time, only in run, triggered by
// attempts and arriving buffers; state changes may overlap it unless the
// driver takes the processing mutex.
#include <atomic>
#include <vector>

#include "tests/host/ks/ks_test.h"
#include "tests/host/ks/wait.h"

namespace {

class ProcessingTest : public KsPinTest {
protected:
    int Calls() const { return minidriver::Recorded().processCalls; }
    // Entering run makes an attempt of its own; letting it pass while the
    // queue is empty keeps it from joining the calls a test counts.
    void RunWithEmptyQueue() {
        ASSERT_EQ(pin_->SetState(KSSTATE_RUN), STATUS_SUCCESS);
        std::this_thread::sleep_for(Quiet);
    }
    void Queue() {
        ASSERT_EQ(pin_->Queue(std::make_unique<client::StreamBuffer>(64)), STATUS_PENDING);
    }
};

TEST_F(ProcessingTest, RunsOnAWorkerNeverOnTheCallersThread) {
    RunWithEmptyQueue();
    Queue();
    ASSERT_TRUE(WaitUntil([&] { return Calls() >= 1; }));
    const int before = Calls();
    KsPinAttemptProcessing(pin_->Kernel(), FALSE);
    ASSERT_TRUE(WaitUntil([&] { return Calls() > before; }));
    EXPECT_NE(minidriver::Recorded().processThread, std::this_thread::get_id());
}

TEST_F(ProcessingTest, NeverTwoCallsAtOnceWhoeverAsks) {
    minidriver::Recorded().process = [](PKSPIN) {
        std::this_thread::sleep_for(std::chrono::microseconds(200));
        return STATUS_PENDING;
    };
    ASSERT_EQ(pin_->SetState(KSSTATE_RUN), STATUS_SUCCESS);
    Queue();
    // Attempts that arrive together coalesce into one call, so the askers
    // keep asking until several calls have run.
    std::vector<std::thread> askers;
    for (int i = 0; i < 4; ++i) {
        askers.emplace_back([this] {
            WaitUntil([&] {
                KsPinAttemptProcessing(pin_->Kernel(), TRUE);
                return Calls() > 10;
            });
        });
    }
    for (std::thread& asker : askers) {
        asker.join();
    }
    ASSERT_GT(Calls(), 10);
    EXPECT_EQ(minidriver::Recorded().mostProcessRunning, 1);
}

TEST_F(ProcessingTest, PinThatAsksForRunOnlyIsNotProcessedInPause) {
    ASSERT_EQ(pin_->SetState(KSSTATE_PAUSE), STATUS_SUCCESS);
    Queue();
    KsPinAttemptProcessing(pin_->Kernel(), TRUE);
    std::this_thread::sleep_for(Quiet);
    EXPECT_EQ(Calls(), 0);
    ASSERT_EQ(pin_->SetState(KSSTATE_RUN), STATUS_SUCCESS);
    EXPECT_TRUE(WaitUntil([&] { return Calls() == 1; })) << "entering run opens the gate";
}

TEST_F(ProcessingTest, NoCallWithoutAQueuedBuffer) {
    ASSERT_EQ(pin_->SetState(KSSTATE_RUN), STATUS_SUCCESS);
    std::this_thread::sleep_for(Quiet);
    KsPinAttemptProcessing(pin_->Kernel(), TRUE);
    std::this_thread::sleep_for(Quiet);
    EXPECT_EQ(Calls(), 0);
    Queue();
    EXPECT_TRUE(WaitUntil([&] { return Calls() == 1; })) << "an arriving buffer starts it";
}

TEST_F(ProcessingTest, PendingWaitsForTheNextTrigger) {
    RunWithEmptyQueue();
    Queue();
    ASSERT_TRUE(WaitUntil([&] { return Calls() >= 1; }));
    std::this_thread::sleep_for(Quiet);
    const int settled = Calls();
    Queue();  // the queue was not empty: no new trigger
    std::this_thread::sleep_for(Quiet);
    EXPECT_EQ(Calls(), settled);
    KsPinAttemptProcessing(pin_->Kernel(), TRUE);
    EXPECT_TRUE(WaitUntil([&] { return Calls() == settled + 1; }));
}

TEST_F(ProcessingTest, SuccessRunsAgainWhileBuffersWait) {
    minidriver::Recorded().process = [](PKSPIN pin) {
        PKSSTREAM_POINTER leading =
            KsPinGetLeadingEdgeStreamPointer(pin, KSSTREAM_POINTER_STATE_LOCKED);
        KsStreamPointerUnlock(leading, TRUE);
        return STATUS_SUCCESS;
    };
    ASSERT_EQ(pin_->SetState(KSSTATE_PAUSE), STATUS_SUCCESS);
    Queue();
    Queue();
    Queue();
    ASSERT_EQ(pin_->SetState(KSSTATE_RUN), STATUS_SUCCESS);
    for (int i = 0; i < 3; ++i) {
        ASSERT_NE(pin_->WaitForCompleted(std::chrono::seconds(5)), nullptr);
    }
    // The last buffer completes inside the third call, before it returns.
    ASSERT_TRUE(WaitUntil([&] { return Calls() >= 3; }));
    std::this_thread::sleep_for(Quiet);
    EXPECT_EQ(Calls(), 3);
}

TEST_F(ProcessingTest, AStateChangeDoesNotWaitForProcessing) {
    std::atomic<bool> inProcess{false};
    std::atomic<bool> release{false};
    minidriver::Recorded().process = [&](PKSPIN) {
        inProcess = true;
        WaitUntil([&] { return release.load(); });
        return STATUS_PENDING;
    };
    ASSERT_EQ(pin_->SetState(KSSTATE_RUN), STATUS_SUCCESS);
    Queue();
    ASSERT_TRUE(WaitUntil([&] { return inProcess.load(); }));
    EXPECT_EQ(pin_->SetState(KSSTATE_PAUSE), STATUS_SUCCESS);
    EXPECT_TRUE(minidriver::Recorded().processRunning == 1) << "the step ran during the call";
    release = true;
    // The step reads `release` on this frame: it must be over before the
    // frame goes.
    ASSERT_TRUE(WaitUntil([] { return minidriver::Recorded().processRunning == 0; }));
}

TEST_F(ProcessingTest, ADriverThatTakesTheProcessingMutexKeepsStateChangesApart) {
    minidriver::Recorded().stateChangeTakesProcessingMutex = true;
    minidriver::Recorded().process = [](PKSPIN) {
        std::this_thread::sleep_for(std::chrono::microseconds(500));
        return STATUS_PENDING;
    };
    ASSERT_EQ(pin_->SetState(KSSTATE_PAUSE), STATUS_SUCCESS);
    Queue();
    std::atomic<bool> done{false};
    std::thread asker([&] {
        while (!done) {
            KsPinAttemptProcessing(pin_->Kernel(), TRUE);
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
    });
    for (int i = 0; i < 20; ++i) {
        ASSERT_EQ(pin_->SetState(KSSTATE_RUN), STATUS_SUCCESS);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        ASSERT_EQ(pin_->SetState(KSSTATE_PAUSE), STATUS_SUCCESS);
    }
    done = true;
    asker.join();
    EXPECT_GT(Calls(), 0);
    EXPECT_FALSE(minidriver::Recorded().processDuringStateChange);
}

}  // namespace
