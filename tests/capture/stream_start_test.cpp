// Stream start: every status it fails with, and that a failed start leaves
// nothing allocated, nothing running and the engine idle, ready to try again.
#include <gtest/gtest.h>

#include "host/nt/pool_control.h"
#include "host/nt/threads_control.h"
#include "pipeline/image_pipeline.h"
#include "platform/atomics.h"
#include "platform/pool.h"
#include "tests/capture/engine_fixture.h"

namespace capture_test {
namespace {

class StreamStartTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        StartDevice(Stepped());
        // One band, so that the capture thread is the stream's only thread.
        RelaxedWrite(&camera_->ConversionThreads, 1u);
    }

    void ExpectNothingStarted() {
        EXPECT_EQ(RelaxedRead(&engine_->streamState), StreamIdle);
        EXPECT_EQ(LiveFrameBuffers(), 0u);
        EXPECT_EQ(LiveThreadObjects(), 0u);
        EXPECT_EQ(host::RunningSystemThreads(), 0);
        EXPECT_EQ(engine_->slotBuffer[0], nullptr);
        EXPECT_EQ(engine_->slotBuffer[1], nullptr);
        EXPECT_EQ(engine_->convertedFrame, nullptr);
        EXPECT_EQ(camera_->ImagePipeline->workBuffer, nullptr);
        EXPECT_EQ(camera_->ImagePipeline->outputBuffer, nullptr);
    }
};

TEST_F(StreamStartTest, AStartedStreamHoldsTwoSlotsAConvertedAndAWorkingFrame) {
    AcquirePin({});
    ASSERT_EQ(StartStream(camera_), STATUS_SUCCESS);
    EXPECT_EQ(RelaxedRead(&engine_->streamState), StreamRunning);
    EXPECT_EQ(LiveFrameBuffers(), 4u);
    EXPECT_EQ(host::RunningSystemThreads(), 1);
    EXPECT_EQ(camera_->ImagePipeline->outputBuffer, engine_->convertedFrame);

    TearDownStream(camera_);
    EXPECT_EQ(RelaxedRead(&engine_->streamState), StreamIdle);
    EXPECT_EQ(LiveFrameBuffers(), 0u);
    EXPECT_EQ(LiveThreadObjects(), 0u);
    EXPECT_EQ(host::RunningSystemThreads(), 0);
    EXPECT_EQ(camera_->LinkHandle, nullptr);
}

TEST_F(StreamStartTest, TheConvertedFrameStartsZeroFilled) {
    AcquirePin({});
    ASSERT_EQ(StartStream(camera_), STATUS_SUCCESS);
    const size_t bytes = size_t{64} * 48 * 4;
    std::vector<uint8_t> zeros(bytes, 0);
    EXPECT_EQ(std::vector<uint8_t>(engine_->convertedFrame, engine_->convertedFrame + bytes),
              zeros);
    TearDownStream(camera_);
}

TEST_F(StreamStartTest, WithoutAnEngineTheStartIsRefused) {
    AcquirePin({});
    camera_->CaptureEngine = nullptr;
    EXPECT_EQ(StartStream(camera_), STATUS_INVALID_DEVICE_STATE);
    camera_->CaptureEngine = engine_;
    ExpectNothingStarted();
}

TEST_F(StreamStartTest, WithoutAnAttachedPipelineTheStartIsRefused) {
    EXPECT_EQ(StartStream(camera_), STATUS_INVALID_DEVICE_STATE);
    EXPECT_FALSE(sim_->Configured());
    EXPECT_EQ(LiveFrameBuffers(), 0u);
    EXPECT_EQ(host::RunningSystemThreads(), 0);
}

TEST_F(StreamStartTest, WithoutACameraTheStartIsRefused) {
    AcquirePin({});
    sim_->FailNextTransfers(1);  // the identification read
    EXPECT_EQ(StartStream(camera_), STATUS_INVALID_DEVICE_STATE);
    ExpectNothingStarted();
}

TEST_F(StreamStartTest, AFrameSizeOfZeroIsRefused) {
    AcquirePin({});
    RelaxedWrite(&camera_->WindowWidth, 0);
    EXPECT_EQ(StartStream(camera_), STATUS_INVALID_DEVICE_STATE);
    ExpectNothingStarted();
}

TEST_F(StreamStartTest, ASecondStartWhileStreamingIsRefusedAndChangesNothing) {
    AcquirePin({});
    ASSERT_EQ(StartStream(camera_), STATUS_SUCCESS);
    UCHAR* converted = engine_->convertedFrame;
    EXPECT_EQ(StartStream(camera_), STATUS_INVALID_DEVICE_STATE);
    EXPECT_EQ(engine_->convertedFrame, converted);
    EXPECT_EQ(LiveFrameBuffers(), 4u);
    EXPECT_EQ(host::RunningSystemThreads(), 1);

    PauseStream(engine_);
    EXPECT_EQ(StartStream(camera_), STATUS_INVALID_DEVICE_STATE);
    EXPECT_EQ(RelaxedRead(&engine_->streamState), StreamPaused);
    TearDownStream(camera_);
}

TEST_F(StreamStartTest, EveryAllocationOfAStartCanFailWithoutALeak) {
    AcquirePin({});
    int refusedForMemory = 0;
    for (uint64_t n = 1;; ++n) {
        ASSERT_LT(n, 100u);
        host::FailPoolAllocation(n);
        NTSTATUS status = StartStream(camera_);
        host::ClearPoolFaults();
        if (status == STATUS_SUCCESS) {
            break;
        }
        // The interface list of camera discovery, or a frame buffer.
        ASSERT_TRUE(status == STATUS_INVALID_DEVICE_STATE ||
                    status == STATUS_INSUFFICIENT_RESOURCES)
            << std::hex << status;
        refusedForMemory += status == STATUS_INSUFFICIENT_RESOURCES;
        ExpectNothingStarted();
    }
    // Slot 0, slot 1, the ConvertedFrame and the WorkingFrame.
    EXPECT_EQ(refusedForMemory, 4);
    TearDownStream(camera_);
    EXPECT_EQ(LiveFrameBuffers(), 0u);
    EXPECT_EQ(LiveThreadObjects(), 0u);
}

// Two conversion workers beside the capture thread, from the start to the
// teardown; a pause stops only the capture thread.
TEST_F(StreamStartTest, TheWorkersLiveAsLongAsTheStream) {
    RelaxedWrite(&camera_->ConversionThreads, 3u);
    AcquirePin({});
    ASSERT_EQ(StartStream(camera_), STATUS_SUCCESS);
    EXPECT_EQ(camera_->ImagePipeline->bandCount, 3);
    EXPECT_EQ(host::RunningSystemThreads(), 3);
    PauseStream(engine_);
    EXPECT_EQ(host::RunningSystemThreads(), 2);
    ASSERT_EQ(ResumeStream(engine_), STATUS_SUCCESS);
    EXPECT_EQ(host::RunningSystemThreads(), 3);
    TearDownStream(camera_);
    EXPECT_EQ(host::RunningSystemThreads(), 0);
    EXPECT_EQ(LiveThreadObjects(), 0u);
    EXPECT_EQ(camera_->ImagePipeline->bandCount, 1);
}

// A worker that cannot be created costs its band, not the stream.
TEST_F(StreamStartTest, WorkersThatCannotStartLeaveFewerBands) {
    RelaxedWrite(&camera_->ConversionThreads, 3u);
    AcquirePin({});
    host::FailNextThreadCreations(1);
    ASSERT_EQ(StartStream(camera_), STATUS_SUCCESS);
    EXPECT_EQ(camera_->ImagePipeline->bandCount, 1);
    EXPECT_EQ(host::RunningSystemThreads(), 1);
    TearDownStream(camera_);
    EXPECT_EQ(LiveThreadObjects(), 0u);
}

TEST_F(StreamStartTest, AThreadThatCannotBeCreatedFailsTheStart) {
    AcquirePin({});
    host::FailNextThreadCreations(1);
    EXPECT_EQ(StartStream(camera_), STATUS_INSUFFICIENT_RESOURCES);
    ExpectNothingStarted();
    EXPECT_EQ(Stopping(), 1);

    ASSERT_EQ(StartStream(camera_), STATUS_SUCCESS);
    TearDownStream(camera_);
}

TEST_F(StreamStartTest, AFailedResumeStaysPausedWithItsBuffersAndTriesAgain) {
    TestPin::Options options;
    options.stepCaptureThread = true;
    AcquirePin(options);
    ASSERT_EQ(pin_->Run(), STATUS_SUCCESS);
    NextFrame();
    pin_->Pause();

    host::FailNextThreadCreations(1);
    EXPECT_EQ(pin_->Run(), STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(RelaxedRead(&engine_->streamState), StreamPaused);
    EXPECT_EQ(LiveFrameBuffers(), 4u);
    EXPECT_EQ(host::RunningSystemThreads(), 0);
    EXPECT_EQ(Stopping(), 1);

    ASSERT_EQ(pin_->Run(), STATUS_SUCCESS);
    EXPECT_EQ(RelaxedRead(&engine_->streamState), StreamRunning);
    NextFrame();
    EXPECT_EQ(AtomicRead(&engine_->framesCaptured), 2);
}

TEST_F(StreamStartTest, TeardownOfAStreamThatNeverStartedDoesNothing) {
    AcquirePin({});
    size_t writes = disk_->Writes().size();
    TearDownStream(camera_);
    EXPECT_EQ(disk_->Writes().size(), writes);
    EXPECT_EQ(RelaxedRead(&engine_->streamState), StreamIdle);
}

}  // namespace
}  // namespace capture_test
