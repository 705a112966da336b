// What the engine tests share: a device with a simulated camera and an
// engine made as device start makes it, a small readout window, a test pin,
// and the steps that make the capture thread's order deterministic.
#pragma once

#include <array>
#include <memory>

#include "capture/capture_engine.h"
#include "tests/capture/test_pin.h"
#include "tests/support/driver_fixture.h"
#include "tests/support/memory_disk.h"

namespace capture_test {

class EngineTest : public testing_support::DriverTest {
protected:
    void TearDown() override;

    // Step mode: frames only when released, one per read.
    static sim::SimOptions Stepped();

    // Attaches the camera (through a RecordingDisk, so reads can be counted),
    // adds the device, creates its engine in the device's object bag and
    // sets a window of width x height at (x, y).
    void StartDevice(sim::SimOptions options, LONG width = 64, LONG height = 48, LONG x = 0,
                     LONG y = 0);
    // Makes pin_ and acquires it with format_, an RGB32 format of the output.
    void AcquirePin(TestPin::Options options);

    // Step mode, with the capture thread parked in its last request (or not
    // yet at its first frame): releases one frame and lets the thread go on
    // until it has filled a slot with it and parked again.
    void NextFrame();

    struct Slots {
        std::array<LONG, RawSlotCount> state;
        std::array<LONG, RawSlotCount> sequence;
    };
    // Read inside the slot section.
    Slots ReadSlots();
    LONG Stopping();

    std::shared_ptr<sim::SimCamera> sim_;
    std::shared_ptr<testing_support::RecordingDisk> disk_;
    CameraDevice* camera_ = nullptr;
    CaptureEngine* engine_ = nullptr;
    KS_VIDEOINFOHEADER format_{};
    std::unique_ptr<TestPin> pin_;
};

// Live pool allocations of the raw slots, ConvertedFrame and WorkingFrame.
size_t LiveFrameBuffers();
size_t LivePipelines();
// Thread objects still referenced by anyone, from the host's leak report.
size_t LiveThreadObjects();

}  // namespace capture_test
