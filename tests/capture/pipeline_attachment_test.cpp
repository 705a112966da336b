// Attach and detach of the device's single pipeline: one pin at a time, only
// for 32-bit uncompressed RGB, built from the current settings, and nothing
// left attached when an attach fails.
#include <gtest/gtest.h>

#include "host/nt/pool_control.h"
#include "pipeline/image_pipeline.h"
#include "platform/atomics.h"
#include "platform/pool.h"
#include "tests/capture/engine_fixture.h"

namespace capture_test {
namespace {

// Attach only keeps the pin; nothing here streams.
class IdlePin final : public CapturePinOperations {
public:
    void RequestProcessing() override {}
};

class PipelineAttachmentTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        StartDevice(Immediate());
        format_ = Rgb32Format(camera_);
    }

    void ExpectNothingAttached() {
        EXPECT_EQ(AtomicRead(&camera_->PipelineAttached), 0u);
        EXPECT_EQ(camera_->ImagePipeline, nullptr);
        EXPECT_EQ(camera_->AttachedPin, nullptr);
        EXPECT_EQ(camera_->PinFormat, nullptr);
        EXPECT_EQ(LivePipelines(), 0u);
    }

    IdlePin first_;
    IdlePin second_;
};

TEST_F(PipelineAttachmentTest, ASecondPinGetsASharingViolationAndChangesNothing) {
    ASSERT_EQ(AttachPipeline(camera_, &first_, &format_), STATUS_SUCCESS);
    ImagePipeline* pipeline = camera_->ImagePipeline;
    KS_VIDEOINFOHEADER otherFormat = format_;

    EXPECT_EQ(AttachPipeline(camera_, &second_, &otherFormat), STATUS_SHARING_VIOLATION);
    EXPECT_EQ(camera_->ImagePipeline, pipeline);
    EXPECT_EQ(camera_->AttachedPin, &first_);
    EXPECT_EQ(camera_->PinFormat, &format_);
    EXPECT_EQ(LivePipelines(), 1u);

    DetachPipeline(camera_);
    ExpectNothingAttached();
    EXPECT_EQ(AttachPipeline(camera_, &second_, &otherFormat), STATUS_SUCCESS);
    DetachPipeline(camera_);
}

TEST_F(PipelineAttachmentTest, FormatsOtherThanUncompressedRgb32AreRefused) {
    format_.bmiHeader.biBitCount = 24;
    EXPECT_EQ(AttachPipeline(camera_, &first_, &format_), STATUS_INVALID_PARAMETER);
    ExpectNothingAttached();

    format_.bmiHeader.biBitCount = 32;
    format_.bmiHeader.biCompression = 3;  // bit fields
    EXPECT_EQ(AttachPipeline(camera_, &first_, &format_), STATUS_INVALID_PARAMETER);
    ExpectNothingAttached();
}

TEST_F(PipelineAttachmentTest, WithoutMemoryForThePipelineNothingStaysAttached) {
    host::FailPoolAllocationsWithTag(PoolTagPipeline);
    EXPECT_EQ(AttachPipeline(camera_, &first_, &format_), STATUS_INSUFFICIENT_RESOURCES);
    host::ClearPoolFaults();
    ExpectNothingAttached();
    EXPECT_EQ(AttachPipeline(camera_, &first_, &format_), STATUS_SUCCESS);
    DetachPipeline(camera_);
}

TEST_F(PipelineAttachmentTest, TheNewPipelineCarriesTheCurrentSettings) {
    camera_->WhiteBalance = 1;
    camera_->BayerPhase = 3;
    camera_->ColorEnable = 0;
    camera_->RedGain = 90;
    camera_->GreenGain = 110;
    camera_->BlueGain = 250;
    camera_->ColorCorrection = 0;
    camera_->Brightness = 300;
    camera_->Contrast = 12;
    camera_->Saturation = 7;
    camera_->Hue = 45;
    ASSERT_EQ(AttachPipeline(camera_, &first_, &format_), STATUS_SUCCESS);

    ImagePipeline* fromSettings = camera_->ImagePipeline;
    EXPECT_EQ(fromSettings->whiteBalanceEnabled, 1);
    EXPECT_EQ(fromSettings->bayerPhase, 3);
    EXPECT_EQ(fromSettings->colourEnabled, 0);
    EXPECT_EQ(fromSettings->redGainSetting, 90);
    EXPECT_EQ(fromSettings->greenGainSetting, 110);
    EXPECT_EQ(fromSettings->blueGainSetting, 250);
    EXPECT_EQ(fromSettings->colourCorrection, 0);
    EXPECT_EQ(fromSettings->brightness, 300);
    EXPECT_EQ(fromSettings->contrast, 12);
    EXPECT_EQ(fromSettings->saturation, 7);
    EXPECT_EQ(fromSettings->hue, 45);

    DetachPipeline(camera_);
}

}  // namespace
}  // namespace capture_test
