// Which raw slot the capture thread fills and which one the processing step
// takes: frames never go back in time, a slot being processed is never
// overwritten, a frame waiting for the processing step is given up only for
// a newer frame read whole, and a poll that finds no frame leaves every slot
// as it was. The capture thread parks in every request, so each state below
// is exact.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "capture/raw_slots.h"
#include "platform/atomics.h"
#include "tests/capture/engine_fixture.h"

namespace capture_test {
namespace {

class RawSlotTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        StartDevice(Stepped());
        TestPin::Options options;
        options.stepCaptureThread = true;
        AcquirePin(options);
        ASSERT_EQ(pin_->Run(), STATUS_SUCCESS);
    }

    void ExpectSlot(int slot, LONG state, LONG sequence) {
        Slots slots = ReadSlots();
        EXPECT_EQ(slots.state[slot], state) << "slot " << slot;
        EXPECT_EQ(slots.sequence[slot], sequence) << "slot " << slot;
    }

    void ExpectBothFree() {
        Slots slots = ReadSlots();
        EXPECT_EQ(slots.state[0], SlotFree);
        EXPECT_EQ(slots.state[1], SlotFree);
    }
};

TEST_F(RawSlotTest, TheThreadOverwritesTheOlderOfTwoFilledSlots) {
    NextFrame();
    NextFrame();
    ExpectSlot(0, SlotFilled, 1);
    ExpectSlot(1, SlotFilled, 2);
    NextFrame();
    ExpectSlot(0, SlotFilled, 3);
    ExpectSlot(1, SlotFilled, 2);
    // Slot 1 now holds the older frame, so it is the one overwritten.
    NextFrame();
    ExpectSlot(0, SlotFilled, 3);
    ExpectSlot(1, SlotFilled, 4);
}

TEST_F(RawSlotTest, ProcessingTakesTheNewestSlotAndDropsTheOlder) {
    NextFrame();
    NextFrame();
    pin_->ProcessOnce();
    EXPECT_EQ(pin_->Sequences(), (std::vector<LONG>{2}));
    ExpectBothFree();

    NextFrame();
    NextFrame();
    NextFrame();  // overwrites frame 3 in slot 0
    ExpectSlot(0, SlotFilled, 5);
    ExpectSlot(1, SlotFilled, 4);
    pin_->ProcessOnce();
    EXPECT_EQ(pin_->Sequences(), (std::vector<LONG>{2, 5}));
    ExpectBothFree();
}

TEST_F(RawSlotTest, ASlotBeingProcessedIsNeverOverwritten) {
    NextFrame();
    NextFrame();
    int slot = NoSlot;
    LONG sequence = 0;
    ASSERT_TRUE(BeginProcessing(engine_, &slot, &sequence));
    EXPECT_EQ(slot, 1);
    EXPECT_EQ(sequence, 2);
    ExpectSlot(0, SlotFree, 1);

    NextFrame();
    ExpectSlot(0, SlotFilled, 3);
    ExpectSlot(1, SlotProcessing, 2);

    // The next frame waits in the camera until the conversion gives its
    // slot back; then it goes there, next to the one that waited.
    const uint64_t requests = pin_->Requests();
    ASSERT_TRUE(sim_->ReleaseFrame());
    pin_->ReleaseRequests(requests);
    EndProcessingSlot(engine_, slot);
    pin_->WaitForRequests(requests + 1);
    ExpectSlot(0, SlotFilled, 3);
    ExpectSlot(1, SlotFilled, 4);
}

TEST_F(RawSlotTest, AFrameThatArrivedDuringAConversionIsDeliveredNext) {
    NextFrame();
    int slot = NoSlot;
    LONG sequence = 0;
    ASSERT_TRUE(BeginProcessing(engine_, &slot, &sequence));
    NextFrame();  // arrives while frame 1 is converted
    // No frame is ready: the thread must not poll into the slot that holds
    // frame 2, which would give it up.
    const size_t reads = disk_->Reads();
    pin_->ReleaseRequests(pin_->Requests());
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(disk_->Reads(), reads);
    ExpectSlot(1, SlotFilled, 2);
    EndProcessingSlot(engine_, slot);
    pin_->ProcessOnce();
    EXPECT_EQ(pin_->Sequences(), (std::vector<LONG>{2}));
}

// The thread polls into the older of two filled slots; the newer is
// delivered meanwhile; the poll brings nothing. The older frame must not
// come back and be delivered after the newer one.
TEST_F(RawSlotTest, AFrameOlderThanADeliveredOneNeverComesBack) {
    NextFrame();
    NextFrame();
    const int filling = BeginFill(engine_);
    ASSERT_EQ(filling, 0);
    pin_->ProcessOnce();
    EndFill(engine_, filling, FillResult::Untouched, 0);
    pin_->ProcessOnce();
    EXPECT_EQ(pin_->Sequences(), (std::vector<LONG>{2, 2}));
    ExpectBothFree();
}

// The capture thread counts a frame just before it marks the slot filled;
// a processing run in between has no image to deliver yet.
TEST_F(RawSlotTest, NothingIsDeliveredWhileTheFirstFrameGoesIntoItsSlot) {
    const int filling = BeginFill(engine_);
    ASSERT_NE(filling, NoSlot);
    const LONG sequence = AtomicIncrement(&engine_->framesCaptured);
    pin_->ProcessOnce();
    EXPECT_TRUE(pin_->Sequences().empty());
    EndFill(engine_, filling, FillResult::Complete, sequence);
    pin_->ProcessOnce();
    EXPECT_EQ(pin_->Sequences(), (std::vector<LONG>{1}));
}

TEST_F(RawSlotTest, WithNoFilledSlotThePreviousImageIsDeliveredAgain) {
    NextFrame();
    pin_->ProcessOnce();
    std::vector<uint8_t> first = pin_->LastImage();
    pin_->ProcessOnce();
    EXPECT_EQ(pin_->Sequences(), (std::vector<LONG>{1, 1}));
    EXPECT_EQ(pin_->LastImage(), first);
}

TEST_F(RawSlotTest, ATransferThatFailsIsNotCountedNorSignalled) {
    NextFrame();
    NextFrame();
    // The status read of the next attempt fails; the attempt after it reads
    // the released frame.
    sim_->FailNextTransfers(1);
    NextFrame();
    EXPECT_EQ(AtomicRead(&engine_->framesCaptured), 3);
    EXPECT_EQ(pin_->Requests(), 3u);
    EXPECT_EQ(sim_->FramesRead(), 3u);
    ExpectSlot(0, SlotFilled, 3);
    ExpectSlot(1, SlotFilled, 2);
}

TEST_F(RawSlotTest, APollWithoutAFrameLeavesEverySlotAsItWas) {
    NextFrame();
    NextFrame();
    // No frame is ready: the thread's next polls, into the older slot, find
    // none. Once one has begun, pausing ends the thread after it.
    size_t reads = disk_->Reads();
    pin_->ReleaseRequests(pin_->Requests());
    while (disk_->Reads() == reads) {
        std::this_thread::yield();
    }
    pin_->Pause();
    ExpectSlot(0, SlotFilled, 1);
    ExpectSlot(1, SlotFilled, 2);
    EXPECT_EQ(AtomicRead(&engine_->framesCaptured), 2);
    EXPECT_EQ(pin_->Requests(), 2u);
}

TEST_F(RawSlotTest, FramesCapturedCountsAcrossPauseAndRestartsWithTheStream) {
    NextFrame();
    NextFrame();
    pin_->ProcessOnce();
    pin_->Pause();
    EXPECT_EQ(AtomicRead(&engine_->framesCaptured), 2);

    ASSERT_EQ(pin_->Run(), STATUS_SUCCESS);
    EXPECT_EQ(AtomicRead(&engine_->framesCaptured), 2);
    NextFrame();
    // Resuming freed both slots: frame 2 is gone from slot 1.
    ExpectSlot(0, SlotFilled, 3);
    ExpectSlot(1, SlotFree, 0);
    EXPECT_EQ(AtomicRead(&engine_->framesCaptured), 3);

    pin_->Teardown();
    ASSERT_EQ(pin_->Run(), STATUS_SUCCESS);
    EXPECT_EQ(AtomicRead(&engine_->framesCaptured), 0);
    NextFrame();
    ExpectSlot(0, SlotFilled, 1);
}

TEST_F(RawSlotTest, AfterResumeTheLastImageIsDeliveredBeforeNewFrames) {
    NextFrame();
    NextFrame();
    pin_->ProcessOnce();
    std::vector<uint8_t> beforePause = pin_->LastImage();
    pin_->Pause();
    ASSERT_EQ(pin_->Run(), STATUS_SUCCESS);
    pin_->ProcessOnce();
    EXPECT_EQ(pin_->Sequences(), (std::vector<LONG>{2, 2}));
    EXPECT_EQ(pin_->LastImage(), beforePause);
}

}  // namespace
}  // namespace capture_test
