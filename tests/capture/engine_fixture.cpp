#include "tests/capture/engine_fixture.h"

#include <sstream>
#include <string>

#include "camera/sensor.h"
#include "host/nt/kernel_control.h"
#include "host/nt/pool_control.h"
#include "platform/device.h"
#include "platform/pool.h"

namespace capture_test {

void EngineTest::TearDown() {
    pin_.reset();
    DriverTest::TearDown();
}

sim::SimOptions EngineTest::Stepped() {
    sim::SimOptions options = Immediate();
    options.holdFrames = true;
    return options;
}

void EngineTest::StartDevice(sim::SimOptions options, LONG width, LONG height, LONG x, LONG y) {
    sim_ = std::make_shared<sim::SimCamera>(options);
    disk_ = std::make_shared<testing_support::RecordingDisk>(sim_);
    Watch(sim_);
    Attach(disk_);
    camera_ = AddDevice();
    ASSERT_NE(camera_, nullptr);
    engine_ = CreateEngine(camera_);
    ASSERT_NE(engine_, nullptr);
    ASSERT_EQ(AddToObjectBag(LastDevice().Ks()->Bag, engine_, FreeEngine), STATUS_SUCCESS);
    camera_->CaptureEngine = engine_;
    SetReadoutWindow(camera_, x, y, width, height, 0);
}

void EngineTest::AcquirePin(TestPin::Options options) {
    pin_ = std::make_unique<TestPin>(camera_, std::move(options));
    format_ = Rgb32Format(camera_);
    ASSERT_EQ(pin_->Acquire(&format_), STATUS_SUCCESS);
}

void EngineTest::NextFrame() {
    uint64_t requests = pin_->Requests();
    ASSERT_TRUE(sim_->ReleaseFrame());
    pin_->ReleaseRequests(requests);
    pin_->WaitForRequests(requests + 1);
}

EngineTest::Slots EngineTest::ReadSlots() {
    Slots slots;
    AcquireShortLock(&engine_->slotLock);
    for (int slot = 0; slot < RawSlotCount; ++slot) {
        slots.state[slot] = engine_->slotState[slot];
        slots.sequence[slot] = engine_->slotSequence[slot];
    }
    ReleaseShortLock(&engine_->slotLock);
    return slots;
}

LONG EngineTest::Stopping() {
    AcquireShortLock(&engine_->slotLock);
    LONG stopping = engine_->stopping;
    ReleaseShortLock(&engine_->slotLock);
    return stopping;
}

size_t LiveFrameBuffers() {
    return host::PoolStatsForTag(PoolTagBuffer).liveAllocations;
}

size_t LivePipelines() {
    return host::PoolStatsForTag(PoolTagPipeline).liveAllocations;
}

size_t LiveThreadObjects() {
    std::istringstream report(host::CheckNoLeaks());
    size_t threads = 0;
    for (std::string line; std::getline(report, line);) {
        if (line.find("thread object") != std::string::npos) {
            ++threads;
        }
    }
    return threads;
}

}  // namespace capture_test
