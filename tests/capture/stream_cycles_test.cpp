// Hundreds of start, pause, resume and teardown cycles with the camera
// delivering a frame on every read, processing running on the pin's worker
// and a control thread changing settings throughout. Every run delivers
// frames, delivered sequences never go back within a stream, and nothing
// races (ThreadSanitizer), leaks or deadlocks.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "camera/sensor.h"
#include "pipeline/image_pipeline.h"
#include "platform/atomics.h"
#include "tests/capture/engine_fixture.h"

namespace capture_test {
namespace {

constexpr int Cycles = 200;

// What property requests will do: sensor settings marked pending for the
// capture thread, pipeline settings under the device's pipeline lock.
void ChangeSettings(CameraDevice* camera, int round) {
    AtomicExchange(&camera->Exposure, 8 + round % 32);
    AtomicOr(&camera->PendingChanges, PendingExposure);
    SetWhiteBalance(camera, round & 1);
    RelaxedWrite(&camera->Brightness, 200 + round % 100);
    AcquirePassiveLock(&camera->PipelineLock);
    if (camera->ImagePipeline != nullptr) {
        SetBrightness(camera->ImagePipeline, 200 + round % 100);
        SetHue(camera->ImagePipeline, round % 360);
    }
    ReleasePassiveLock(&camera->PipelineLock);
}

class StreamCyclesTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        StartDevice(Immediate(), 64, 32);
        control_ = std::thread([this] {
            for (int round = 0; !done_; ++round) {
                ChangeSettings(camera_, round);
            }
        });
    }

    void TearDown() override {
        done_ = true;
        control_.join();
        EngineTest::TearDown();
    }

    // Runs and waits for one more delivery.
    void RunUntilDelivered() {
        size_t delivered = pin_->Sequences().size();
        ASSERT_EQ(pin_->Run(), STATUS_SUCCESS);
        pin_->WaitForDeliveries(delivered + 1);
    }

    void Cycle(int cycle) {
        size_t streamStart = pin_->Sequences().size();
        RunUntilDelivered();
        pin_->Pause();
        RunUntilDelivered();
        pin_->Pause();
        if (cycle % 10 == 9) {
            pin_->Stop();
            ASSERT_EQ(pin_->Acquire(&format_), STATUS_SUCCESS);
        } else {
            pin_->Teardown();
        }
        EXPECT_EQ(LiveFrameBuffers(), 0u);
        std::vector<LONG> sequences = pin_->Sequences();
        for (size_t i = streamStart + 1; i < sequences.size(); ++i) {
            ASSERT_GE(sequences[i], sequences[i - 1]) << "cycle " << cycle << ", delivery " << i;
        }
    }

    std::atomic<bool> done_{false};
    std::thread control_;
};

TEST_F(StreamCyclesTest, CyclesDeliverFramesInOrderWithSerialisedProcessing) {
    AcquirePin({});
    for (int cycle = 0; cycle < Cycles && !HasFatalFailure(); ++cycle) {
        Cycle(cycle);
    }
    pin_->Stop();
    EXPECT_EQ(LivePipelines(), 0u);
    EXPECT_EQ(LiveThreadObjects(), 0u);
}

TEST_F(StreamCyclesTest, CyclesStayClearOfFreedBuffersWhenProcessingIsNotSerialised) {
    TestPin::Options options;
    options.serialised = false;
    AcquirePin(options);
    for (int cycle = 0; cycle < Cycles && !HasFatalFailure(); ++cycle) {
        Cycle(cycle);
    }
    pin_->Stop();
    EXPECT_EQ(LivePipelines(), 0u);
    EXPECT_EQ(LiveThreadObjects(), 0u);
}

}  // namespace
}  // namespace capture_test
