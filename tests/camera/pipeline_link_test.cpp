// The camera's two links into an attached ImagePipeline: the Bayer phase
// pushed after a flip reaches the sensor, and the white-balance switch.
#include <gtest/gtest.h>

#include "camera/sensor.h"
#include "pipeline/image_pipeline.h"
#include "tests/support/driver_fixture.h"

namespace {

using testing_support::DriverTest;

class PipelineLinkTest : public DriverTest {
protected:
    void SetUp() override {
        DriverTest::SetUp();
        sim_ = AttachCamera();
        camera_ = AddDevice();
        ASSERT_NE(camera_, nullptr);
        pipeline_ = CreateImagePipeline();
        ASSERT_NE(pipeline_, nullptr);
        camera_->ImagePipeline = pipeline_;
    }

    void TearDown() override {
        camera_->ImagePipeline = nullptr;
        FreeImagePipeline(pipeline_);
        DriverTest::TearDown();
    }

    std::shared_ptr<sim::SimCamera> sim_;
    CameraDevice* camera_ = nullptr;
    ImagePipeline* pipeline_ = nullptr;
};

// The flip applies to frames read after it: the camera's phase follows at
// once, the pipeline's is set per frame from the slot it converts.
TEST_F(PipelineLinkTest, AnAppliedFlipChangesThePhaseOfLaterFramesOnly) {
    SetReadoutWindow(camera_, 0, 1, 64, 64, 0);
    ASSERT_TRUE(camera_->ConfigureSensor());
    ASSERT_NE(camera_->OpenLink(), nullptr);
    EXPECT_EQ(camera_->BayerPhase, 1u);
    const LONG pipelinePhase = pipeline_->bayerPhase;
    camera_->FlipV = 1;
    camera_->PendingChanges = PendingFlip;
    camera_->ApplyPendingChanges(false);
    EXPECT_EQ(camera_->BayerPhase, 0u);  // odd first row, then flipped back
    EXPECT_EQ(pipeline_->bayerPhase, pipelinePhase);

    camera_->FlipV = 0;
    camera_->PendingChanges = PendingFlip;
    camera_->ApplyPendingChanges(false);
    EXPECT_EQ(camera_->BayerPhase, 1u);
    EXPECT_EQ(pipeline_->bayerPhase, pipelinePhase);
    camera_->CloseLink();
}

TEST_F(PipelineLinkTest, AFailedFlipLeavesThePipelinePhase) {
    SetReadoutWindow(camera_, 0, 1, 64, 64, 0);
    ASSERT_TRUE(camera_->ConfigureSensor());
    ASSERT_NE(camera_->OpenLink(), nullptr);
    SetBayerPhase(pipeline_, 1);
    camera_->FlipV = 1;
    camera_->PendingChanges = PendingFlip;
    sim_->FailNextTransfers(1);
    camera_->ApplyPendingChanges(false);
    EXPECT_EQ(pipeline_->bayerPhase, 1);
    camera_->CloseLink();
}

TEST_F(PipelineLinkTest, SwitchingWhiteBalanceOffKeepsTheLastEstimate) {
    SetWhiteBalance(camera_, 1);
    EXPECT_EQ(camera_->WhiteBalance, 1u);
    EXPECT_EQ(pipeline_->whiteBalanceEnabled, 1);
    // As if a frame had been balanced.
    SetRedGain(pipeline_, 76);
    SetGreenGain(pipeline_, 128);
    SetBlueGain(pipeline_, 384);
    EXPECT_EQ(camera_->RedGain, 128);

    SetWhiteBalance(camera_, 0);
    EXPECT_EQ(pipeline_->whiteBalanceEnabled, 0);
    EXPECT_EQ(camera_->RedGain, 76);
    EXPECT_EQ(camera_->GreenGain, 128);
    EXPECT_EQ(camera_->BlueGain, 384);
}

TEST_F(PipelineLinkTest, WithoutAPipelineOnlyTheSettingChanges) {
    camera_->ImagePipeline = nullptr;
    SetWhiteBalance(camera_, 1);
    SetWhiteBalance(camera_, 0);
    EXPECT_EQ(camera_->WhiteBalance, 0u);
    EXPECT_EQ(camera_->RedGain, 128);
    EXPECT_EQ(pipeline_->whiteBalanceEnabled, 0);
}

}  // namespace
