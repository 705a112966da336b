// The stream queue: the locked leading edge, eject and the headers that come
// back, cancellation at stop and of one buffer, refused buffers; and the
// reference clock.
#include <cstring>
#include <vector>

#include "host/ks/pool_object.h"
#include "host/ks/refusals.h"
#include "host/nt/pool_control.h"
#include "tests/host/ks/ks_test.h"
#include "tests/host/ks/wait.h"

namespace {

namespace Refusal = host::ks::Refusal;

class StreamTest : public KsPinTest {
protected:
};

// What the driver saw of the leading edge in its last Process call.
struct Seen {
    ULONG frameExtent = 0;
    ULONG remaining = 0;
    bool offsetIsOut = false;
};

TEST_F(StreamTest, DriverFillsTheLockedLeadingEdgeAndEjectCompletesIt) {
    static Seen seen;
    minidriver::Recorded().process = [](PKSPIN pin) {
        PKSSTREAM_POINTER leading =
            KsPinGetLeadingEdgeStreamPointer(pin, KSSTREAM_POINTER_STATE_LOCKED);
        seen = {leading->StreamHeader->FrameExtent, leading->OffsetOut.Remaining,
                leading->Offset == &leading->OffsetOut};
        std::memset(leading->OffsetOut.Data, 0x5A, 10);
        KSSTREAM_HEADER* header = leading->StreamHeader;
        header->DataUsed = 10;
        header->PresentationTime = {12345, 1, 1};
        header->Duration = 333333;
        header->OptionsFlags =
            KSSTREAM_HEADER_OPTIONSF_TIMEVALID | KSSTREAM_HEADER_OPTIONSF_DURATIONVALID;
        KsStreamPointerUnlock(leading, TRUE);
        return STATUS_PENDING;
    };
    ASSERT_EQ(pin_->SetState(KSSTATE_RUN), STATUS_SUCCESS);
    auto buffer = std::make_unique<client::StreamBuffer>(100);
    buffer->header.OptionsFlags = KSSTREAM_HEADER_OPTIONSF_DATADISCONTINUITY;
    void* data = buffer->data.data();
    ASSERT_EQ(pin_->Queue(std::move(buffer)), STATUS_PENDING);
    std::unique_ptr<client::StreamBuffer> done = pin_->WaitForCompleted(std::chrono::seconds(5));
    ASSERT_NE(done, nullptr);
    EXPECT_EQ(done->status, STATUS_SUCCESS);
    EXPECT_EQ(seen.frameExtent, 100u);
    EXPECT_EQ(seen.remaining, 100u);
    EXPECT_TRUE(seen.offsetIsOut);
    EXPECT_EQ(done->header.DataUsed, 10u);
    EXPECT_EQ(done->header.PresentationTime.Time, 12345);
    EXPECT_EQ(done->header.Duration, 333333);
    EXPECT_EQ(done->header.OptionsFlags, 0x110u);
    EXPECT_EQ(done->header.FrameExtent, 100u);
    EXPECT_EQ(done->header.Data, data);
    EXPECT_EQ(done->data[9], 0x5A);
    EXPECT_EQ(done->data[10], 0);
}

TEST_F(StreamTest, LeadingEdgeIsNullWithoutBuffersAndStaysWithoutEject) {
    ASSERT_EQ(pin_->SetState(KSSTATE_PAUSE), STATUS_SUCCESS);
    PKSPIN pin = pin_->Kernel();
    EXPECT_EQ(KsPinGetLeadingEdgeStreamPointer(pin, KSSTREAM_POINTER_STATE_LOCKED), nullptr);
    ASSERT_EQ(pin_->Queue(std::make_unique<client::StreamBuffer>(7)), STATUS_PENDING);
    PKSSTREAM_POINTER first = KsPinGetLeadingEdgeStreamPointer(pin, KSSTREAM_POINTER_STATE_LOCKED);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->StreamHeader->FrameExtent, 7u);
    KsStreamPointerUnlock(first, FALSE);
    EXPECT_EQ(pin_->WaitForCompleted(Quiet), nullptr);
    PKSSTREAM_POINTER again = KsPinGetLeadingEdgeStreamPointer(pin, KSSTREAM_POINTER_STATE_LOCKED);
    EXPECT_EQ(again->StreamHeader->FrameExtent, 7u);
    KsStreamPointerUnlock(again, TRUE);
    EXPECT_NE(pin_->WaitForCompleted(Quiet), nullptr);
}

TEST_F(StreamTest, BuffersAreRefusedInStopAndWithAForeignHeaderSize) {
    EXPECT_EQ(pin_->Queue(std::make_unique<client::StreamBuffer>(16)),
              Refusal::StreamingWhileStopped);
    ASSERT_EQ(pin_->SetState(KSSTATE_PAUSE), STATUS_SUCCESS);
    auto buffer = std::make_unique<client::StreamBuffer>(16);
    buffer->header.Size = 48;
    EXPECT_EQ(pin_->Queue(std::move(buffer)), Refusal::RequestTooShort);
    EXPECT_EQ(pin_->Outstanding(), 0u);
}

// A frame behind a locked stream pointer cannot be cancelled: a stop
// cancels the others at once and that one when the driver lets go of it.
TEST_F(StreamTest, StopCancelsALockedFrameWhenTheDriverUnlocksIt) {
    ASSERT_EQ(pin_->SetState(KSSTATE_PAUSE), STATUS_SUCCESS);
    ASSERT_EQ(pin_->Queue(std::make_unique<client::StreamBuffer>(16)), STATUS_PENDING);
    ASSERT_EQ(pin_->Queue(std::make_unique<client::StreamBuffer>(16)), STATUS_PENDING);
    PKSSTREAM_POINTER leading =
        KsPinGetLeadingEdgeStreamPointer(pin_->Kernel(), KSSTREAM_POINTER_STATE_LOCKED);
    ASSERT_NE(leading, nullptr);
    leading->StreamHeader->DataUsed = 16;
    ASSERT_EQ(pin_->SetState(KSSTATE_STOP), STATUS_SUCCESS);
    std::unique_ptr<client::StreamBuffer> second = pin_->WaitForCompleted(Quiet);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->status, STATUS_CANCELLED);
    EXPECT_EQ(pin_->WaitForCompleted(Quiet), nullptr) << "the locked frame waits";
    KsStreamPointerUnlock(leading, FALSE);
    std::unique_ptr<client::StreamBuffer> first = pin_->WaitForCompleted(Quiet);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->status, STATUS_CANCELLED);
    EXPECT_EQ(first->header.DataUsed, 0u);
}

TEST_F(StreamTest, ALockedFrameEjectedAfterTheStopCompletesWithItsData) {
    ASSERT_EQ(pin_->SetState(KSSTATE_PAUSE), STATUS_SUCCESS);
    ASSERT_EQ(pin_->Queue(std::make_unique<client::StreamBuffer>(16)), STATUS_PENDING);
    PKSSTREAM_POINTER leading =
        KsPinGetLeadingEdgeStreamPointer(pin_->Kernel(), KSSTREAM_POINTER_STATE_LOCKED);
    ASSERT_NE(leading, nullptr);
    leading->StreamHeader->DataUsed = 16;
    ASSERT_EQ(pin_->SetState(KSSTATE_STOP), STATUS_SUCCESS);
    KsStreamPointerUnlock(leading, TRUE);
    std::unique_ptr<client::StreamBuffer> done = pin_->WaitForCompleted(Quiet);
    ASSERT_NE(done, nullptr);
    EXPECT_EQ(done->status, STATUS_SUCCESS);
    EXPECT_EQ(done->header.DataUsed, 16u);
}

// A cancelled buffer comes back cancelled at once and the queue closes up;
// one behind the locked leading edge waits for the driver, which may still
// complete it with its data; a buffer no longer queued is left alone.
TEST_F(StreamTest, ACancelledBufferComesBackCancelledUnlessTheDriverHoldsIt) {
    ASSERT_EQ(pin_->SetState(KSSTATE_PAUSE), STATUS_SUCCESS);
    std::vector<const client::StreamBuffer*> queued;
    for (int i = 0; i < 3; ++i) {
        auto buffer = std::make_unique<client::StreamBuffer>(16);
        queued.push_back(buffer.get());
        ASSERT_EQ(pin_->Queue(std::move(buffer)), STATUS_PENDING);
    }
    pin_->Cancel(queued[1]);
    std::unique_ptr<client::StreamBuffer> middle = pin_->WaitForCompleted(Quiet);
    ASSERT_EQ(middle.get(), queued[1]);
    EXPECT_EQ(middle->status, STATUS_CANCELLED);
    EXPECT_EQ(middle->header.DataUsed, 0u);

    PKSSTREAM_POINTER leading =
        KsPinGetLeadingEdgeStreamPointer(pin_->Kernel(), KSSTREAM_POINTER_STATE_LOCKED);
    ASSERT_EQ(leading->StreamHeader->Data, queued[0]->data.data());
    leading->StreamHeader->DataUsed = 16;
    pin_->Cancel(queued[0]);
    EXPECT_EQ(pin_->WaitForCompleted(Quiet), nullptr) << "the locked frame waits";
    KsStreamPointerUnlock(leading, TRUE);
    std::unique_ptr<client::StreamBuffer> first = pin_->WaitForCompleted(Quiet);
    ASSERT_EQ(first.get(), queued[0]);
    EXPECT_EQ(first->status, STATUS_SUCCESS);
    EXPECT_EQ(first->header.DataUsed, 16u);
    pin_->Cancel(first.get());
    EXPECT_EQ(pin_->WaitForCompleted(Quiet), nullptr);

    leading = KsPinGetLeadingEdgeStreamPointer(pin_->Kernel(), KSSTREAM_POINTER_STATE_LOCKED);
    ASSERT_EQ(leading->StreamHeader->Data, queued[2]->data.data());
    pin_->Cancel(queued[2]);
    KsStreamPointerUnlock(leading, FALSE);
    std::unique_ptr<client::StreamBuffer> last = pin_->WaitForCompleted(Quiet);
    ASSERT_EQ(last.get(), queued[2]);
    EXPECT_EQ(last->status, STATUS_CANCELLED);
    EXPECT_EQ(last->header.DataUsed, 0u);
    EXPECT_EQ(pin_->Outstanding(), 0u);
}

class StreamDeathTest : public KsDeathTest {
protected:
    // A paused pin with one buffer queued, and its leading edge.
    PKSSTREAM_POINTER PausedPinsLeadingEdge(KSSTREAM_POINTER_STATE state) {
        filter_ = OpenFilter();
        pin_ = CreatePin(*filter_);
        EXPECT_EQ(pin_->SetState(KSSTATE_PAUSE), STATUS_SUCCESS);
        EXPECT_EQ(pin_->Queue(std::make_unique<client::StreamBuffer>(16)), STATUS_PENDING);
        return KsPinGetLeadingEdgeStreamPointer(pin_->Kernel(), state);
    }
    void TearDown() override {
        pin_.reset();
        filter_.reset();
        KsDeathTest::TearDown();
    }

    std::unique_ptr<client::Filter> filter_;
    std::unique_ptr<client::Pin> pin_;
};

TEST_F(StreamDeathTest, ClosingAPinWhoseLeadingEdgeIsLockedStops) {
    PKSSTREAM_POINTER leading = PausedPinsLeadingEdge(KSSTREAM_POINTER_STATE_LOCKED);
    EXPECT_DEATH(pin_.reset(), "closed with its leading edge still locked");
    KsStreamPointerUnlock(leading, FALSE);
}

TEST_F(StreamDeathTest, UnlockingAnUnlockedPointerStopsTheMachine) {
    PKSSTREAM_POINTER leading = PausedPinsLeadingEdge(KSSTREAM_POINTER_STATE_UNLOCKED);
    EXPECT_DEATH(KsStreamPointerUnlock(leading, TRUE), "not locked");
}

using ReferenceClockTest = StreamTest;

TEST_F(ReferenceClockTest, TimeIsMonotonicIn100NanosecondUnits) {
    client::MasterClock master;
    pin_->SetMasterClock(&master);
    PIKSREFERENCECLOCK clock = nullptr;
    ASSERT_EQ(KsPinGetReferenceClockInterface(pin_->Kernel(), &clock), STATUS_SUCCESS);
    const LONGLONG before = clock->GetTime();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const LONGLONG after = clock->GetTime();
    EXPECT_GE(after - before, 200000);    // 20 ms
    EXPECT_LT(after - before, 50000000);  // well under 5 s
    clock->Release();
}

TEST_F(ReferenceClockTest, ReferencesAreCountedAndTheLastReleaseFreesTheClock) {
    {
        client::MasterClock master;
        pin_->SetMasterClock(&master);
        PIKSREFERENCECLOCK clock = nullptr;
        ASSERT_EQ(KsPinGetReferenceClockInterface(pin_->Kernel(), &clock), STATUS_SUCCESS);
        EXPECT_EQ(master.References(), 3u);  // the client's, the pin's, the driver's
        EXPECT_EQ(clock->Release(), 2u);
        pin_->SetMasterClock(nullptr);
        EXPECT_EQ(master.References(), 1u);
        EXPECT_EQ(host::PoolStatsForTag(host::ks::ClockTag).liveAllocations, 1u);
    }
    EXPECT_EQ(host::PoolStatsForTag(host::ks::ClockTag).liveAllocations, 0u);
}

}  // namespace
