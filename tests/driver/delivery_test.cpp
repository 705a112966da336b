// Frame delivery: the converted image bottom-up into the client's buffer,
// OutputWidth pixels a row at the format's stride, stamped with the graph's
// time and the frame duration; the last image again when no new raw frame
// is ready; the newest frame to a slow consumer of a free-running camera;
// only whole rows into a buffer too short for the image.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "capture/capture_engine.h"
#include "host/nt/registry_store.h"
#include "platform/atomics.h"
#include "tests/support/capture_fixture.h"

namespace driver_test {
namespace {

constexpr ULONG OutputWidth = 96;  // the 100-pixel window rounded down to 8
constexpr ULONG WindowPitch = 100 * 4;
constexpr ULONG Rows = 32;
constexpr ULONG RowBytes = OutputWidth * 4;
constexpr ULONG ImageSize = RowBytes * Rows;
constexpr LONGLONG FrameDuration = 333333;

class Delivery : public CaptureTest {
protected:
    // A running pin of the proposed format on a camera, without a clock.
    void Run(bool hold = false) {
        ASSERT_NE(StartCamera(hold), nullptr);
        ASSERT_EQ(CreatePin(), STATUS_SUCCESS);
        ASSERT_EQ(pin_->SetState(KSSTATE_RUN), STATUS_SUCCESS);
    }

    // The ConvertedFrame, read once the capture thread has stopped.
    std::vector<UCHAR> ConvertedFrame() {
        EXPECT_EQ(pin_->SetState(KSSTATE_PAUSE), STATUS_SUCCESS);
        const UCHAR* frame = camera_->CaptureEngine->convertedFrame;
        return std::vector<UCHAR>(frame, frame + WindowPitch * Rows);
    }

    void TearDown() override {
        pin_.reset();
        clock_.reset();
        CaptureTest::TearDown();
    }

    std::unique_ptr<client::MasterClock> clock_;
};

// Row r of the buffer, `step` bytes apart, is converted row Rows - 1 - r.
void ExpectBottomUp(const std::vector<UCHAR>& buffer, const std::vector<UCHAR>& converted,
                    ULONG step, ULONG rows) {
    for (ULONG row = 0; row < rows; ++row) {
        const UCHAR* source = converted.data() + (Rows - 1 - row) * WindowPitch;
        ASSERT_EQ(std::memcmp(buffer.data() + row * step, source, RowBytes), 0) << "row " << row;
    }
}

bool AllBytesAre(const UCHAR* bytes, size_t count, UCHAR value) {
    for (size_t i = 0; i < count; ++i) {
        if (bytes[i] != value) {
            return false;
        }
    }
    return true;
}

TEST_F(Delivery, RowsAreBottomUpAndOutputWidthPixelsLong) {
    Run();
    std::unique_ptr<client::StreamBuffer> buffer = Capture();
    ASSERT_NE(buffer, nullptr);
    EXPECT_EQ(buffer->status, STATUS_SUCCESS);
    ASSERT_EQ(buffer->data.size(), ImageSize);
    EXPECT_EQ(buffer->header.DataUsed, ImageSize);
    ExpectBottomUp(buffer->data, ConvertedFrame(), RowBytes, Rows);
}

// A whole buffer of a wider format, and one that ends after the third row.
// One held raw frame, so that both buffers carry the image compared.
TEST_F(Delivery, AWiderFormatGetsRowsAtItsOwnStride) {
    ASSERT_NE(StartCamera(/*hold=*/true), nullptr);
    filter_ = OpenFilter();
    std::vector<UCHAR> format = ProposedFormat(*filter_);
    const ULONG stride = 104 * 4;
    FormatHeader(format)->bmiHeader.biWidth = 104;
    FormatHeader(format)->bmiHeader.biSizeImage = stride * Rows;
    ASSERT_EQ(CreatePin(format), STATUS_SUCCESS);
    ASSERT_EQ(pin_->FrameSize(), stride * Rows);
    ASSERT_EQ(pin_->SetState(KSSTATE_RUN), STATUS_SUCCESS);
    ASSERT_TRUE(sim_->ReleaseFrame());
    std::unique_ptr<client::StreamBuffer> buffer = Capture(0, 0x5A);
    ASSERT_NE(buffer, nullptr);
    EXPECT_EQ(buffer->header.DataUsed, stride * Rows);
    const ULONG extent = 2 * stride + RowBytes;
    std::unique_ptr<client::StreamBuffer> shorter = Capture(extent);
    ASSERT_NE(shorter, nullptr);
    EXPECT_EQ(shorter->header.DataUsed, extent);
    const std::vector<UCHAR> converted = ConvertedFrame();
    ExpectBottomUp(buffer->data, converted, stride, Rows);
    ExpectBottomUp(shorter->data, converted, stride, 3);
    for (ULONG row = 0; row < Rows; ++row) {
        EXPECT_TRUE(
            AllBytesAre(buffer->data.data() + row * stride + RowBytes, stride - RowBytes, 0x5A))
            << "padding of row " << row;
    }
}

TEST_F(Delivery, WithAClockTheBufferCarriesTimeDurationAndExactlyBothFlags) {
    ASSERT_NE(StartCamera(), nullptr);
    clock_ = std::make_unique<client::MasterClock>();
    ASSERT_EQ(CreatePin(), STATUS_SUCCESS);
    pin_->SetMasterClock(clock_.get());
    ASSERT_EQ(pin_->SetState(KSSTATE_RUN), STATUS_SUCCESS);
    const LONGLONG before = clock_->Time();
    auto buffer = pin_->NewBuffer();
    buffer->header.OptionsFlags =
        KSSTREAM_HEADER_OPTIONSF_DATADISCONTINUITY | KSSTREAM_HEADER_OPTIONSF_SPLICEPOINT;
    ASSERT_EQ(pin_->Queue(std::move(buffer)), STATUS_PENDING);
    buffer = pin_->WaitForCompleted(Patience);
    const LONGLONG after = clock_->Time();
    ASSERT_NE(buffer, nullptr);
    const KSSTREAM_HEADER& header = buffer->header;
    EXPECT_EQ(header.OptionsFlags, 0x110u);
    EXPECT_GE(header.PresentationTime.Time, before);
    EXPECT_LE(header.PresentationTime.Time, after);
    EXPECT_EQ(header.PresentationTime.Numerator, 1u);
    EXPECT_EQ(header.PresentationTime.Denominator, 1u);
    EXPECT_EQ(header.Duration, FrameDuration);
    EXPECT_EQ(header.DataUsed, ImageSize);
}

TEST_F(Delivery, WithoutAClockTimeIsZeroAndTheFlagsStayAsQueued) {
    Run();
    auto buffer = pin_->NewBuffer();
    buffer->header.OptionsFlags = KSSTREAM_HEADER_OPTIONSF_DATADISCONTINUITY;
    buffer->header.PresentationTime.Time = 12345;
    ASSERT_EQ(pin_->Queue(std::move(buffer)), STATUS_PENDING);
    buffer = pin_->WaitForCompleted(Patience);
    ASSERT_NE(buffer, nullptr);
    const KSSTREAM_HEADER& header = buffer->header;
    EXPECT_EQ(header.OptionsFlags, KSSTREAM_HEADER_OPTIONSF_DATADISCONTINUITY);
    EXPECT_EQ(header.PresentationTime.Time, 0);
    EXPECT_EQ(header.PresentationTime.Numerator, 1u);
    EXPECT_EQ(header.PresentationTime.Denominator, 1u);
    EXPECT_EQ(header.Duration, FrameDuration);
    EXPECT_EQ(header.DataUsed, ImageSize);
}

TEST_F(Delivery, NothingIsDeliveredBeforeTheFirstRawFrame) {
    Run(/*hold=*/true);
    auto buffer = pin_->NewBuffer();
    ASSERT_EQ(pin_->Queue(std::move(buffer)), STATUS_PENDING);
    EXPECT_EQ(pin_->WaitForCompleted(std::chrono::milliseconds(100)), nullptr);
    EXPECT_EQ(pin_->Outstanding(), 1u);
    ASSERT_TRUE(sim_->ReleaseFrame());
    EXPECT_NE(pin_->WaitForCompleted(Patience), nullptr);
}

TEST_F(Delivery, WithoutANewRawFrameTheLastImageComesAgain) {
    Run(/*hold=*/true);
    ASSERT_TRUE(sim_->ReleaseFrame());
    std::unique_ptr<client::StreamBuffer> first = Capture(0, 0x11);
    ASSERT_NE(first, nullptr);
    std::unique_ptr<client::StreamBuffer> again = Capture(0, 0x22);
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(sim_->FramesRead(), 1u);
    EXPECT_EQ(again->header.DataUsed, ImageSize);
    EXPECT_EQ(again->data, first->data);
}

// A camera running freely at 500 frames a second, each raw frame uniform
// with its number as value (modulo 256), and a consumer that takes a buffer
// only every 10 ms. Without colour correction a uniform raw frame converts
// to a uniform grey of its own value.
class FreeRunningDelivery : public Delivery {
protected:
    void Run() {
        ASSERT_NE(StartNumberedCamera(500, 64), nullptr);
        ASSERT_EQ(CreatePin(), STATUS_SUCCESS);
        ASSERT_EQ(pin_->SetState(KSSTATE_RUN), STATUS_SUCCESS);
    }
};

// Every delivery is the newest complete raw frame when the buffer arrived,
// or newer: none older, a repeat only while no newer one was read, and
// frames in between only where a newer frame replaced them before the pin
// took one.
TEST_F(FreeRunningDelivery, ASlowConsumerGetsTheNewestFrameEveryTime) {
    Run();
    ASSERT_NE(Capture(), nullptr);
    uint64_t previous = 0;
    for (int delivery = 0; delivery < 30; ++delivery) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        const uint64_t readBefore = sim_->FramesRead();
        std::unique_ptr<client::StreamBuffer> buffer = Capture();
        ASSERT_NE(buffer, nullptr);
        const uint64_t readAfter = sim_->FramesRead();
        ASSERT_LT(readAfter - readBefore, 200u);
        const int64_t frame = FrameShown(*buffer, readAfter);
        ASSERT_GE(frame, 0) << "delivery " << delivery << " is not one grey";
        const uint64_t shown = static_cast<uint64_t>(frame);
        EXPECT_GE(shown + 1, readBefore) << "delivery " << delivery;
        EXPECT_GE(shown, previous) << "delivery " << delivery;
        if (shown == previous) {
            // A repeat: no frame newer than the previous one was read whole
            // (frames up to readBefore - 1 were) when the buffer came.
            EXPECT_LE(readBefore, previous + 1) << "delivery " << delivery;
        }
        previous = shown;
    }
}

// The copy plans from the window the pin was created with: a path that
// changed the device's fields behind the lock cannot make it read past the
// converted frame or deliver a wrong size.
TEST_F(Delivery, TheCopyPlansFromThePinsWindowNotTheDevicesFields) {
    Run();
    const LONG saved[] = {camera_->OutputWidth, camera_->OutputHeight, camera_->WindowWidth};
    RelaxedWrite(&camera_->OutputWidth, 4384);
    RelaxedWrite(&camera_->OutputHeight, 3288);
    RelaxedWrite(&camera_->WindowWidth, 4384);
    std::unique_ptr<client::StreamBuffer> buffer = Capture();
    RelaxedWrite(&camera_->OutputWidth, saved[0]);
    RelaxedWrite(&camera_->OutputHeight, saved[1]);
    RelaxedWrite(&camera_->WindowWidth, saved[2]);
    ASSERT_NE(buffer, nullptr);
    EXPECT_EQ(buffer->header.DataUsed, ImageSize);
    ExpectBottomUp(buffer->data, ConvertedFrame(), RowBytes, Rows);
}

TEST_F(Delivery, AShortBufferGetsTheWholeRowsThatFit) {
    Run();
    const ULONG extent = 3 * RowBytes + 10;
    std::unique_ptr<client::StreamBuffer> buffer = Capture(extent, 0x77);
    ASSERT_NE(buffer, nullptr);
    EXPECT_EQ(buffer->status, STATUS_SUCCESS);
    EXPECT_EQ(buffer->header.DataUsed, 3 * RowBytes);
    EXPECT_TRUE(AllBytesAre(buffer->data.data() + 3 * RowBytes, 10, 0x77));
    ExpectBottomUp(buffer->data, ConvertedFrame(), RowBytes, 3);
}

TEST_F(Delivery, ABufferShorterThanARowGetsNothing) {
    Run();
    std::unique_ptr<client::StreamBuffer> buffer = Capture(RowBytes - 1, 0x77);
    ASSERT_NE(buffer, nullptr);
    EXPECT_EQ(buffer->header.DataUsed, 0u);
    EXPECT_TRUE(AllBytesAre(buffer->data.data(), RowBytes - 1, 0x77));
}

}  // namespace
}  // namespace driver_test
