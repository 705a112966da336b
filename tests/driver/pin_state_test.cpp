// Device start, filter and pin lifetimes, and the pin's state machine: each
// step along stop, acquire, pause and run, as a capture application drives
// it through the client API.
#include <gtest/gtest.h>

#include "camera/sensor.h"
#include "capture/capture_engine.h"
#include "capture/capture_pin.h"
#include "host/ks/refusals.h"
#include "host/nt/pool_control.h"
#include "host/nt/registry_store.h"
#include "platform/pool.h"
#include "tests/support/capture_fixture.h"

namespace driver_test {
namespace {

const GUID VideoCategory = {STATIC_KSCATEGORY_VIDEO};
const GUID CaptureCategory = {STATIC_KSCATEGORY_CAPTURE};
const GUID CameraCategory = {STATIC_KSCATEGORY_VIDEO_CAMERA};

CapturePin* CapturePinOf(client::Pin& pin) {
    return static_cast<CapturePin*>(pin.Kernel()->Context);
}

size_t EndsOfConfiguration(const sim::SimCamera& camera) {
    size_t ends = 0;
    for (const std::string& line : camera.Log()) {
        ends += line == "END" ? 1 : 0;
    }
    return ends;
}

using DeviceStart = CaptureTest;

TEST_F(DeviceStart, PublishesOneFilterUnderEachCategoryAndMakesTheEngine) {
    ASSERT_NE(StartDevice(), nullptr);
    EXPECT_EQ(client::FindFilters(VideoCategory).size(), 1u);
    EXPECT_EQ(client::FindFilters(CameraCategory).size(), 1u);
    ASSERT_EQ(client::FindFilters(CaptureCategory).size(), 1u);
    EXPECT_NE(client::FindFilters(CaptureCategory)[0].find("GLOBAL"), std::string::npos);
    EXPECT_NE(camera_->CaptureEngine, nullptr);
    EXPECT_EQ(LastDevice().BagSize(), 3u);  // descriptors, the CameraDevice and the engine
}

TEST_F(DeviceStart, ASecondStartMakesNeitherFactoryNorEngine) {
    ASSERT_NE(StartDevice(), nullptr);
    CaptureEngine* engine = camera_->CaptureEngine;
    EXPECT_EQ(LastDevice().Start(), STATUS_SUCCESS);
    EXPECT_EQ(client::FindFilters(CaptureCategory).size(), 1u);
    EXPECT_EQ(camera_->CaptureEngine, engine);
    EXPECT_EQ(LastDevice().BagSize(), 3u);
}

TEST_F(DeviceStart, AStartAfterAStopMakesANewFactoryAndEngine) {
    ASSERT_NE(StartDevice(), nullptr);
    CaptureEngine* first = camera_->CaptureEngine;
    LastDevice().Stop();
    EXPECT_TRUE(client::FindFilters(CaptureCategory).empty());
    EXPECT_EQ(LastDevice().Start(), STATUS_SUCCESS);
    EXPECT_EQ(client::FindFilters(CaptureCategory).size(), 1u);
    EXPECT_NE(camera_->CaptureEngine, first);
    EXPECT_EQ(LastDevice().BagSize(), 4u);  // the first engine stays until removal
}

TEST_F(DeviceStart, WithoutAnEngineTheDeviceCannotStream) {
    sim_ = AttachCamera();
    host::FailPoolAllocationsWithTag(PoolTagContext);
    camera_ = AddDevice();
    EXPECT_EQ(camera_, nullptr);
    host::ClearPoolFaults();
    ASSERT_NE(camera_ = AddDevice(), nullptr);
    host::FailPoolAllocationsWithTag(PoolTagContext);
    EXPECT_EQ(LastDevice().Start(), STATUS_SUCCESS);
    host::ClearPoolFaults();
    EXPECT_EQ(camera_->CaptureEngine, nullptr);
    ASSERT_EQ(CreatePin(), STATUS_SUCCESS);
    EXPECT_EQ(pin_->SetState(KSSTATE_ACQUIRE), STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(pin_->State(), KSSTATE_STOP);
    EXPECT_EQ(camera_->PipelineAttached, 0u);
}

using FilterLife = CaptureTest;

TEST_F(FilterLife, CloseSavesTheSettingsAndOpeningDoesNot) {
    ASSERT_NE(StartDevice(), nullptr);
    filter_ = OpenFilter();
    camera_->Hue = 123;
    EXPECT_NE(host::RegistryGetDword(SettingsKey(), "Hue"), std::optional<uint32_t>(123));
    filter_.reset();
    EXPECT_EQ(host::RegistryGetDword(SettingsKey(), "Hue"), std::optional<uint32_t>(123));
}

using PinLife = CaptureTest;

TEST_F(PinLife, ASecondPinOnTheFilterIsRefused) {
    ASSERT_NE(StartCamera(), nullptr);
    ASSERT_EQ(CreatePin(), STATUS_SUCCESS);
    std::vector<UCHAR> format = ProposedFormat(*filter_);
    std::unique_ptr<client::Pin> second;
    EXPECT_EQ(filter_->CreatePin(0, format.data(), static_cast<ULONG>(format.size()), &second),
              host::ks::Refusal::PinInstancesExhausted);
}

// A pin on a second filter of the same device cannot acquire, but closing it
// must not unlock the window under the pin that streams.
TEST_F(PinLife, TheWindowStaysLockedUntilTheLastPinOfTheDeviceCloses) {
    ASSERT_NE(StartCamera(), nullptr);
    ASSERT_EQ(CreatePin(), STATUS_SUCCESS);
    ASSERT_EQ(pin_->SetState(KSSTATE_RUN), STATUS_SUCCESS);
    std::unique_ptr<client::Filter> other = OpenFilter();
    std::vector<UCHAR> format = ProposedFormat(*other);
    std::unique_ptr<client::Pin> second;
    ASSERT_EQ(other->CreatePin(0, format.data(), static_cast<ULONG>(format.size()), &second),
              STATUS_SUCCESS);
    EXPECT_EQ(second->SetState(KSSTATE_ACQUIRE), STATUS_SHARING_VIOLATION);
    second.reset();
    SetReadoutWindow(camera_, 0, 0, 200, 48, 0);
    EXPECT_EQ(camera_->WindowWidth, 100);
    ASSERT_NE(Capture(), nullptr);
}

TEST_F(PinLife, AFailedDescriptorCopyFailsTheCreateAndUnlocksTheWindow) {
    ASSERT_NE(StartDevice(), nullptr);
    filter_ = OpenFilter();
    std::vector<UCHAR> format = ProposedFormat(*filter_);
    host::FailPoolAllocationsWithTag(PoolTagBuffer);
    EXPECT_EQ(CreatePin(format), STATUS_INSUFFICIENT_RESOURCES);
    host::ClearPoolFaults();
    EXPECT_EQ(pin_, nullptr);
    EXPECT_EQ(camera_->FormatLock, 0u);
    // Descriptors, device, engine, filter.
    EXPECT_EQ(host::PoolStatsForTag(PoolTagContext).liveAllocations, 4u);
}

TEST_F(PinLife, TheFramingAsksForTwoFramesOfTheImageSize) {
    ASSERT_NE(StartDevice(), nullptr);
    ASSERT_EQ(CreatePin(), STATUS_SUCCESS);
    const ULONG imageSize = 96 * 32 * 4;
    KSALLOCATOR_FRAMING_EX framing = pin_->AllocatorFraming();
    ASSERT_EQ(framing.CountItems, 1u);
    const KS_FRAMING_ITEM& item = framing.FramingItem[0];
    EXPECT_EQ(item.Frames, 2u);
    EXPECT_EQ(item.PhysicalRange.MinFrameSize, imageSize);
    EXPECT_EQ(item.FramingRange.Range.MaxFrameSize, imageSize);
    EXPECT_EQ(pin_->FrameSize(), imageSize);
    // The filter's descriptor keeps its own framing for the next pin.
    const KSPIN_DESCRIPTOR_EX& shared = filter_->Kernel()->Descriptor->PinDescriptors[0];
    EXPECT_EQ(shared.AllocatorFraming->FramingItem[0].FramingRange.Range.MinFrameSize, 8192u);
}

TEST_F(PinLife, APinThatNeverLeavesStopTouchesNeitherPipelineNorCamera) {
    ASSERT_NE(StartCamera(), nullptr);
    ASSERT_EQ(CreatePin(), STATUS_SUCCESS);
    pin_.reset();
    EXPECT_EQ(camera_->ImagePipeline, nullptr);
    EXPECT_EQ(camera_->PipelineAttached, 0u);
    EXPECT_TRUE(sim_->Log().empty());
}

class PinStates : public CaptureTest {
protected:
    void SetUp() override {
        CaptureTest::SetUp();
        ASSERT_NE(StartCamera(), nullptr);
        ASSERT_EQ(CreatePin(), STATUS_SUCCESS);
        // Made after the fixture reset the kernel, whose pool it comes from.
        clock_ = std::make_unique<client::MasterClock>();
        pin_->SetMasterClock(clock_.get());
    }
    void TearDown() override {
        pin_.reset();
        clock_.reset();
        CaptureTest::TearDown();
    }
    CaptureEngine* Engine() { return camera_->CaptureEngine; }

    std::unique_ptr<client::MasterClock> clock_;
};

TEST_F(PinStates, AcquireTakesThePipelineAndTheClockAndStopGivesThemBack) {
    const ULONG references = clock_->References();
    ASSERT_EQ(pin_->SetState(KSSTATE_ACQUIRE), STATUS_SUCCESS);
    CapturePin* capturePin = CapturePinOf(*pin_);
    EXPECT_TRUE(capturePin->acquired);
    EXPECT_EQ(camera_->PipelineAttached, 1u);
    EXPECT_NE(camera_->ImagePipeline, nullptr);
    EXPECT_EQ(camera_->AttachedPin, capturePin);
    EXPECT_EQ(clock_->References(), references + 1);
    EXPECT_TRUE(sim_->Log().empty());

    ASSERT_EQ(pin_->SetState(KSSTATE_STOP), STATUS_SUCCESS);
    EXPECT_FALSE(capturePin->acquired);
    EXPECT_EQ(capturePin->referenceClock, nullptr);
    EXPECT_EQ(camera_->PipelineAttached, 0u);
    EXPECT_EQ(camera_->ImagePipeline, nullptr);
    EXPECT_EQ(camera_->AttachedPin, nullptr);
    EXPECT_EQ(clock_->References(), references);
}

TEST_F(PinStates, AcquirePauseAcquireDoesNothing) {
    ASSERT_EQ(pin_->SetState(KSSTATE_ACQUIRE), STATUS_SUCCESS);
    ASSERT_EQ(pin_->SetState(KSSTATE_PAUSE), STATUS_SUCCESS);
    ASSERT_EQ(pin_->SetState(KSSTATE_ACQUIRE), STATUS_SUCCESS);
    EXPECT_EQ(Engine()->streamState, StreamIdle);
    EXPECT_EQ(Engine()->convertedFrame, nullptr);
    EXPECT_FALSE(sim_->Configured());
    EXPECT_TRUE(sim_->Log().empty());
    EXPECT_EQ(CapturePinOf(*pin_)->streamingState, PinNoStream);
}

TEST_F(PinStates, TheFirstRunStartsTheStream) {
    ASSERT_EQ(pin_->SetState(KSSTATE_RUN), STATUS_SUCCESS);
    EXPECT_EQ(CapturePinOf(*pin_)->streamingState, PinStreamRunning);
    EXPECT_EQ(Engine()->streamState, StreamRunning);
    EXPECT_TRUE(sim_->Configured());
    ASSERT_NE(Capture(), nullptr);
}

TEST_F(PinStates, RunToPauseStopsCaptureAndKeepsTheBuffers) {
    ASSERT_EQ(pin_->SetState(KSSTATE_RUN), STATUS_SUCCESS);
    ASSERT_NE(Capture(), nullptr);
    ASSERT_EQ(pin_->SetState(KSSTATE_PAUSE), STATUS_SUCCESS);
    EXPECT_EQ(CapturePinOf(*pin_)->streamingState, PinStreamPaused);
    EXPECT_EQ(Engine()->streamState, StreamPaused);
    EXPECT_NE(Engine()->convertedFrame, nullptr);
    EXPECT_EQ(Engine()->captureThread.object, nullptr);
    EXPECT_EQ(camera_->FrameCount, 0);
}

TEST_F(PinStates, PauseToRunResumesWithoutConfiguringAgain) {
    ASSERT_EQ(pin_->SetState(KSSTATE_RUN), STATUS_SUCCESS);
    ASSERT_EQ(pin_->SetState(KSSTATE_PAUSE), STATUS_SUCCESS);
    UCHAR* converted = Engine()->convertedFrame;
    ASSERT_EQ(pin_->SetState(KSSTATE_RUN), STATUS_SUCCESS);
    EXPECT_EQ(CapturePinOf(*pin_)->streamingState, PinStreamRunning);
    EXPECT_EQ(Engine()->streamState, StreamRunning);
    EXPECT_EQ(Engine()->convertedFrame, converted);
    EXPECT_EQ(EndsOfConfiguration(*sim_), 1u);
    ASSERT_NE(Capture(), nullptr);
}

TEST_F(PinStates, PauseToAcquireTearsTheStreamDownAndSavesTheSettings) {
    ASSERT_EQ(pin_->SetState(KSSTATE_RUN), STATUS_SUCCESS);
    ASSERT_EQ(pin_->SetState(KSSTATE_PAUSE), STATUS_SUCCESS);
    camera_->Hue = 77;
    ASSERT_EQ(pin_->SetState(KSSTATE_ACQUIRE), STATUS_SUCCESS);
    EXPECT_EQ(CapturePinOf(*pin_)->streamingState, PinNoStream);
    EXPECT_EQ(Engine()->streamState, StreamIdle);
    EXPECT_EQ(Engine()->convertedFrame, nullptr);
    EXPECT_EQ(camera_->LinkHandle, nullptr);
    EXPECT_EQ(host::RegistryGetDword(SettingsKey(), "Hue"), std::optional<uint32_t>(77));
    // Still acquired: the pipeline stays until stop.
    EXPECT_EQ(camera_->PipelineAttached, 1u);
}

TEST_F(PinStates, ARunAfterTeardownStartsAfresh) {
    ASSERT_EQ(pin_->SetState(KSSTATE_RUN), STATUS_SUCCESS);
    ASSERT_EQ(pin_->SetState(KSSTATE_ACQUIRE), STATUS_SUCCESS);
    ASSERT_EQ(pin_->SetState(KSSTATE_RUN), STATUS_SUCCESS);
    EXPECT_EQ(EndsOfConfiguration(*sim_), 2u);
    ASSERT_NE(Capture(), nullptr);
}

TEST_F(PinStates, AFailedAcquireLeavesNothingToGiveBack) {
    std::vector<UCHAR> format = ProposedFormat(*filter_);
    FormatHeader(format)->bmiHeader.biBitCount = 24;
    std::unique_ptr<client::Pin> pin;
    pin_.reset();
    ASSERT_EQ(filter_->CreatePin(0, format.data(), static_cast<ULONG>(format.size()), &pin),
              STATUS_SUCCESS);
    pin->SetMasterClock(clock_.get());
    const ULONG references = clock_->References();
    EXPECT_EQ(pin->SetState(KSSTATE_ACQUIRE), STATUS_INVALID_PARAMETER);
    EXPECT_FALSE(CapturePinOf(*pin)->acquired);
    EXPECT_EQ(clock_->References(), references);
    EXPECT_EQ(camera_->PipelineAttached, 0u);
}

using StreamStartFailures = CaptureTest;

TEST_F(StreamStartFailures, ARunAfterAFailedRunTriesTheWholeStartAgain) {
    ASSERT_NE(StartDevice(), nullptr);
    ASSERT_EQ(CreatePin(), STATUS_SUCCESS);
    EXPECT_EQ(pin_->SetState(KSSTATE_RUN), STATUS_INVALID_DEVICE_STATE);
    EXPECT_EQ(pin_->State(), KSSTATE_PAUSE);
    EXPECT_EQ(CapturePinOf(*pin_)->streamingState, PinNoStream);
    sim_ = AttachCamera();
    ASSERT_EQ(pin_->SetState(KSSTATE_RUN), STATUS_SUCCESS);
    EXPECT_EQ(CapturePinOf(*pin_)->streamingState, PinStreamRunning);
    ASSERT_NE(Capture(), nullptr);
}

}  // namespace
}  // namespace driver_test
