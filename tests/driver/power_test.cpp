// Sleep and resume: the device goes to D3 and back to D0 as the power
// manager sends it, in every pin state, while the camera loses its power in
// between. After the resume the camera is programmed again, as at a stream
// start, and a stream goes on delivering new frames; the camera sees nothing
// it would refuse (the fixture checks its violations).
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <memory>

#include "sim/registers.h"
#include "tests/support/capture_fixture.h"
#include "tests/support/watchdog.h"

namespace driver_test {
namespace {

constexpr std::chrono::seconds HangLimit{120};
// Enough frames for every staged setting to have been written.
constexpr uint64_t SettledFrames = 12;

const uint16_t ProgrammedRegisters[] = {
    sim::reg::kFirstColumn, sim::reg::kFirstRow,     sim::reg::kLastColumn, sim::reg::kLastRow,
    sim::reg::kOutputWidth, sim::reg::kOutputHeight, sim::reg::kReadMode,   sim::reg::kExposure,
    sim::reg::kGreen1Gain,  sim::reg::kBlueGain,     sim::reg::kRedGain,    sim::reg::kGreen2Gain,
};

class DevicePower : public CaptureTest {
protected:
    void SetUp() override {
        CaptureTest::SetUp();
        sim_ = AttachCamera();
        ASSERT_NE(StartDevice(), nullptr);
        ASSERT_EQ(CreatePin(), STATUS_SUCCESS);
    }

    // Delivers buffers until the camera has read `count` new frames (a
    // buffer may repeat the last image); every one must be a whole image.
    void ExpectFrames(uint64_t count) {
        const uint64_t enough = sim_->FramesRead() + count;
        const auto deadline = std::chrono::steady_clock::now() + Patience;
        while (sim_->FramesRead() < enough) {
            ASSERT_LT(std::chrono::steady_clock::now(), deadline)
                << "the camera read " << sim_->FramesRead() << " frames, not " << enough;
            std::unique_ptr<client::StreamBuffer> buffer = Capture();
            ASSERT_NE(buffer, nullptr) << "a buffer never came back";
            ASSERT_EQ(buffer->status, STATUS_SUCCESS);
            ASSERT_EQ(buffer->header.DataUsed, pin_->FrameSize());
        }
    }

    std::map<uint16_t, uint16_t> Programmed() const {
        std::map<uint16_t, uint16_t> values;
        for (uint16_t address : ProgrammedRegisters) {
            values[address] = sim_->Register(address);
        }
        return values;
    }

    // The system sleeps: the device leaves D0, the camera's power goes, the
    // device comes back.
    void SleepAndResume() {
        ASSERT_EQ(LastDevice().SetPower(PowerDeviceD3), STATUS_SUCCESS);
        const uint64_t framesAsleep = sim_->FramesRead();
        sim_->LosePower();
        EXPECT_FALSE(sim_->Configured());
        EXPECT_EQ(sim_->FramesRead(), framesAsleep) << "a frame read in D3";
        ASSERT_EQ(LastDevice().SetPower(PowerDeviceD0), STATUS_SUCCESS);
    }

    testing_support::Watchdog watchdog_{HangLimit, "a power test"};
};

TEST_F(DevicePower, TwoSleepsInARowLeaveTheStreamDelivering) {
    ASSERT_EQ(pin_->SetState(KSSTATE_RUN), STATUS_SUCCESS);
    ExpectFrames(2);
    SleepAndResume();
    SleepAndResume();
    ExpectFrames(2);
}

// While the device is in D3 the camera is not touched: a stream cannot start
// until the power-up.
TEST_F(DevicePower, AStreamDoesNotStartInD3) {
    ASSERT_EQ(pin_->SetState(KSSTATE_ACQUIRE), STATUS_SUCCESS);
    ASSERT_EQ(LastDevice().SetPower(PowerDeviceD3), STATUS_SUCCESS);
    EXPECT_EQ(pin_->SetState(KSSTATE_RUN), STATUS_INVALID_DEVICE_STATE);
    sim_->LosePower();
    ASSERT_EQ(LastDevice().SetPower(PowerDeviceD0), STATUS_SUCCESS);
    ASSERT_EQ(pin_->SetState(KSSTATE_RUN), STATUS_SUCCESS);
    ExpectFrames(2);
}

// A paused stream resumed in D3 waits for the power-up for its frames.
TEST_F(DevicePower, AResumeInD3WaitsForThePowerUp) {
    ASSERT_EQ(pin_->SetState(KSSTATE_RUN), STATUS_SUCCESS);
    ExpectFrames(1);
    ASSERT_EQ(pin_->SetState(KSSTATE_PAUSE), STATUS_SUCCESS);
    ASSERT_EQ(LastDevice().SetPower(PowerDeviceD3), STATUS_SUCCESS);
    sim_->LosePower();
    const uint64_t framesAsleep = sim_->FramesRead();
    ASSERT_EQ(pin_->SetState(KSSTATE_RUN), STATUS_SUCCESS);
    EXPECT_EQ(sim_->FramesRead(), framesAsleep);
    ASSERT_EQ(LastDevice().SetPower(PowerDeviceD0), STATUS_SUCCESS);
    ExpectFrames(2);
}

// Slept in `state`, then run: the camera is programmed again as before the
// sleep and the stream delivers new frames.
class DevicePowerInState : public DevicePower, public ::testing::WithParamInterface<KSSTATE> {};

TEST_P(DevicePowerInState, RunAfterTheResumeDelivers) {
    ASSERT_EQ(pin_->SetState(KSSTATE_RUN), STATUS_SUCCESS);
    ExpectFrames(SettledFrames);
    const std::map<uint16_t, uint16_t> before = Programmed();
    const size_t mark = sim_->Log().size();
    ASSERT_EQ(pin_->SetState(GetParam()), STATUS_SUCCESS);
    SleepAndResume();
    ASSERT_EQ(pin_->SetState(KSSTATE_RUN), STATUS_SUCCESS);
    ExpectFrames(SettledFrames);
    EXPECT_EQ(Programmed(), before);
    const std::vector<std::string> after = testing_support::LogSince(*sim_, mark);
    EXPECT_NE(std::find(after.begin(), after.end(), "END"), after.end())
        << "no end of configuration after the resume";
}

INSTANTIATE_TEST_SUITE_P(EveryState, DevicePowerInState,
                         ::testing::Values(KSSTATE_STOP, KSSTATE_ACQUIRE, KSSTATE_PAUSE,
                                           KSSTATE_RUN),
                         PinStateName);

}  // namespace
}  // namespace driver_test
