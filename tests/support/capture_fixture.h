// A started device with a simulated camera, opened the way a capture
// application opens it: the filter found by its category, the format
// proposed by the pin's intersect handler, the pin created with it.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/client/filter.h"
#include "host/client/pin.h"
#include "tests/support/driver_fixture.h"

namespace driver_test {

constexpr std::chrono::milliseconds Patience{5000};

class CaptureTest : public testing_support::DriverTest {
protected:
    void TearDown() override;

    // Adds and starts a device whose stored window is x, y, width, height
    // (mode 0); the camera, if any, must be attached before.
    CameraDevice* StartDevice(LONG width = 100, LONG height = 32, LONG x = 0, LONG y = 0);
    // A device with a simulated camera at frame rate 0 (held frames when
    // `hold`), started with a small window.
    CameraDevice* StartCamera(bool hold = false);
    // A device with a camera running freely at `framesPerSecond`, each raw
    // frame uniform with its number as value (modulo 256), started without
    // colour correction, so that each frame converts to a grey of its own
    // value; the window is `width` x 32.
    CameraDevice* StartNumberedCamera(double framesPerSecond, LONG width);

    // Opens the first filter of the capture category.
    std::unique_ptr<client::Filter> OpenFilter();
    // The pin's range `index` as it publishes it: 0 RGB32, 1 YUY2, 2 NV12.
    std::vector<UCHAR> PinRange(client::Filter& filter, size_t index = 0);
    // The proposal for the pin's own range `index`.
    std::vector<UCHAR> ProposedFormat(client::Filter& filter, size_t index = 0);
    // Opens the filter (once) and creates the pin with `format`, or with the
    // proposal when empty.
    NTSTATUS CreatePin(std::vector<UCHAR> format = {});

    // Queues a buffer of `extent` bytes (the framing's frame size when 0),
    // filled with `fill`, and waits for it to come back.
    std::unique_ptr<client::StreamBuffer> Capture(ULONG extent = 0, UCHAR fill = 0xAB);

    std::string SettingsKey();

    std::shared_ptr<sim::SimCamera> sim_;
    CameraDevice* camera_ = nullptr;
    std::unique_ptr<client::Filter> filter_;
    std::unique_ptr<client::Pin> pin_;
};

// The control item `id` through the filter, as a control application sends
// it: `value` goes out with a set and comes back with a get.
NTSTATUS Control(client::Filter& filter, uint32_t id, uint32_t flags, int32_t* value);
// A set of the readout window through the filter.
NTSTATUS SetWindow(client::Filter& filter, int32_t mode, int32_t x, int32_t y, int32_t width,
                   int32_t height);

// The raw frame a buffer of a numbered camera shows: the latest read by
// `readBy` that is congruent to its grey; -1 when it is not one grey.
int64_t FrameShown(const client::StreamBuffer& buffer, uint64_t readBy);

// The pin state as a test-name part, for suites run in every state.
std::string PinStateName(const ::testing::TestParamInfo<KSSTATE>& info);

// The video-info header of a format or range at `offset`.
KS_VIDEOINFOHEADER* HeaderAt(std::vector<UCHAR>& bytes, size_t offset);
inline KS_VIDEOINFOHEADER* FormatHeader(std::vector<UCHAR>& format) {
    return HeaderAt(format, sizeof(KSDATAFORMAT));
}

}  // namespace driver_test
