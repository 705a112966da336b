// Frames counted as capture applications count them: each buffer's
// KS_FRAME_INFO (a repeated image flagged, the picture number counting
// deliveries and drops, the drops being raw frames no delivery carried), the
// dropped-frames property on the pin, and stream headers of exactly the size
// the pin declares.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "tests/support/capture_fixture.h"

namespace driver_test {
namespace {

constexpr ULONG ImageSize = 96 * 4 * 32;
constexpr ULONG VideoHeaderSize = sizeof(KSSTREAM_HEADER) + sizeof(KS_FRAME_INFO);
constexpr NTSTATUS InvalidBufferSize = static_cast<NTSTATUS>(0xC0000206);

class FrameCounts : public CaptureTest {
protected:
    void Run() {
        ASSERT_EQ(CreatePin(), STATUS_SUCCESS);
        ASSERT_EQ(pin_->SetState(KSSTATE_RUN), STATUS_SUCCESS);
    }

    // A get of KSPROPERTY_DROPPEDFRAMES_CURRENT, or of it as a set.
    client::RequestResult DroppedFrames(KSPROPERTY_DROPPEDFRAMES_CURRENT_S* reply,
                                        ULONG flags = KSPROPERTY_TYPE_GET) {
        KSPROPERTY_DROPPEDFRAMES_CURRENT_S request{};
        request.Property.Set = {STATIC_PROPSETID_VIDCAP_DROPPEDFRAMES};
        request.Property.Id = KSPROPERTY_DROPPEDFRAMES_CURRENT;
        request.Property.Flags = flags;
        *reply = request;
        return pin_->Property(&request, sizeof request, reply, sizeof *reply);
    }

    // The frame information of a buffer that came back whole.
    KS_FRAME_INFO Info(const std::unique_ptr<client::StreamBuffer>& buffer) {
        EXPECT_NE(buffer, nullptr);
        if (buffer == nullptr || !buffer->FrameInfo()) {
            ADD_FAILURE() << "no frame information";
            return {};
        }
        EXPECT_EQ(buffer->status, STATUS_SUCCESS);
        EXPECT_EQ(buffer->FrameInfo()->ExtendedHeaderSize, sizeof(KS_FRAME_INFO));
        return *buffer->FrameInfo();
    }
};

TEST_F(FrameCounts, AHeldFrameComesNewThenRepeatedAndThePropertyAgrees) {
    ASSERT_NE(StartCamera(/*hold=*/true), nullptr);
    Run();
    ASSERT_EQ(pin_->StreamHeaderSize(), VideoHeaderSize);
    KSPROPERTY_DROPPEDFRAMES_CURRENT_S reply;
    client::RequestResult result = DroppedFrames(&reply);
    ASSERT_EQ(result.status, STATUS_SUCCESS);
    EXPECT_EQ(result.bytesReturned, sizeof reply);
    EXPECT_EQ(reply.PictureNumber, 0);
    EXPECT_EQ(reply.AverageFrameSize, 0u);

    ASSERT_TRUE(sim_->ReleaseFrame());
    const KS_FRAME_INFO first = Info(Capture());
    EXPECT_EQ(first.dwFrameFlags, static_cast<DWORD>(KS_VIDEO_FLAG_FRAME));
    EXPECT_EQ(first.PictureNumber, 1);
    EXPECT_EQ(first.DropCount, 0);
    const KS_FRAME_INFO again = Info(Capture());
    EXPECT_EQ(again.dwFrameFlags, static_cast<DWORD>(KS_VIDEO_FLAG_REPEAT_FIELD));
    EXPECT_EQ(again.PictureNumber, 2);
    EXPECT_EQ(again.DropCount, 0);

    ASSERT_EQ(DroppedFrames(&reply).status, STATUS_SUCCESS);
    EXPECT_EQ(reply.PictureNumber, 2);
    EXPECT_EQ(reply.DropCount, 0);
    EXPECT_EQ(reply.AverageFrameSize, ImageSize);
    EXPECT_EQ(DroppedFrames(&reply, KSPROPERTY_TYPE_SET).status, STATUS_INVALID_DEVICE_REQUEST);
}

// The class driver probes each stream header against the size the pin
// declared, as Windows does: a header of another size never reaches it.
TEST_F(FrameCounts, AHeaderOfAnotherSizeThanThePinsIsRefused) {
    ASSERT_NE(StartCamera(), nullptr);
    Run();
    for (ULONG size : {ULONG{sizeof(KSSTREAM_HEADER)}, VideoHeaderSize - 8, VideoHeaderSize + 8}) {
        EXPECT_EQ(pin_->Queue(std::make_unique<client::StreamBuffer>(pin_->FrameSize(), size)),
                  InvalidBufferSize)
            << size;
    }
    EXPECT_EQ(pin_->Outstanding(), 0u);
    EXPECT_EQ(pin_->Queue(pin_->NewBuffer()), STATUS_PENDING);
    EXPECT_NE(pin_->WaitForCompleted(Patience), nullptr);
}

// A camera running at 500 frames a second, each raw frame showing its
// number, and a consumer that takes a buffer every 10 ms: the frames read in
// between are the drops, and each buffer says how many there were so far.
TEST_F(FrameCounts, DropsAreTheRawFramesNoDeliveryCarried) {
    ASSERT_NE(StartNumberedCamera(500, 96), nullptr);
    Run();
    uint64_t previous = 0;
    LONGLONG distinct = 0;
    KS_FRAME_INFO info{};
    for (LONGLONG delivery = 1; delivery <= 20; ++delivery) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        std::unique_ptr<client::StreamBuffer> buffer = Capture();
        ASSERT_NE(buffer, nullptr);
        const int64_t shown = FrameShown(*buffer, sim_->FramesRead());
        ASSERT_GT(shown, 0) << "delivery " << delivery;
        const bool repeated = static_cast<uint64_t>(shown) == previous;
        distinct += repeated ? 0 : 1;
        previous = static_cast<uint64_t>(shown);
        info = Info(buffer);
        EXPECT_EQ((info.dwFrameFlags & KS_VIDEO_FLAG_REPEAT_FIELD) != 0, repeated) << delivery;
        EXPECT_EQ(info.DropCount, shown - distinct) << "delivery " << delivery;
        EXPECT_EQ(info.PictureNumber, delivery + info.DropCount) << "delivery " << delivery;
    }
    EXPECT_GT(info.DropCount, 0);
    ASSERT_EQ(pin_->SetState(KSSTATE_PAUSE), STATUS_SUCCESS);
    KSPROPERTY_DROPPEDFRAMES_CURRENT_S reply;
    ASSERT_EQ(DroppedFrames(&reply).status, STATUS_SUCCESS);
    EXPECT_EQ(reply.PictureNumber, info.PictureNumber);
    EXPECT_EQ(reply.DropCount, info.DropCount);
}

// A new stream counts from the start again; a pause and resume do not.
TEST_F(FrameCounts, ANewStreamCountsAfresh) {
    ASSERT_NE(StartCamera(/*hold=*/true), nullptr);
    Run();
    ASSERT_TRUE(sim_->ReleaseFrame());
    ASSERT_NE(Capture(), nullptr);
    ASSERT_EQ(pin_->SetState(KSSTATE_PAUSE), STATUS_SUCCESS);
    ASSERT_EQ(pin_->SetState(KSSTATE_RUN), STATUS_SUCCESS);
    EXPECT_EQ(Info(Capture()).PictureNumber, 2);
    ASSERT_EQ(pin_->SetState(KSSTATE_ACQUIRE), STATUS_SUCCESS);
    ASSERT_EQ(pin_->SetState(KSSTATE_RUN), STATUS_SUCCESS);
    ASSERT_TRUE(sim_->ReleaseFrame());
    const KS_FRAME_INFO info = Info(Capture());
    EXPECT_EQ(info.PictureNumber, 1);
    EXPECT_EQ(info.DropCount, 0);
}

}  // namespace
}  // namespace driver_test
