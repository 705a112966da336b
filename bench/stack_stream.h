// The whole stack streaming full-sensor RGB32 frames, as a capture
// application runs it: a fresh host kernel, one simulated camera (frame
// rate 0, instant transfers, frames rendered ahead), the driver linked into
// the host build or a loaded diskcam.sys, one device started with the full
// sensor window stored in its Settings key, the filter, the pin with the
// format its intersect handler proposes, in run with buffers queued ahead.
// Destruction stops and closes everything and aborts, as the host's bug
// checks do, on any pool block, handle or reference left behind.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/client/filter.h"
#include "host/client/pin.h"
#include "host/ks/device.h"
#include "host/system/driver_module.h"
#include "sim/sim_camera.h"

namespace bench {

struct StackOptions {
    // Empty: the linked driver; otherwise the image to load.
    std::string driverImage;
    // Stored as the Settings key's ConversionThreads before device start;
    // 0 asks for the driver's default.
    uint32_t conversionThreads = 0;
    int buffersInFlight = 3;
    int warmUpFrames = 2;

    bool operator==(const StackOptions& other) const {
        return driverImage == other.driverImage && conversionThreads == other.conversionThreads &&
               buffersInFlight == other.buffersInFlight && warmUpFrames == other.warmUpFrames;
    }
};

class StackStream {
public:
    // Brings the stack up and starts the stream. Throws std::runtime_error
    // naming the step that failed.
    explicit StackStream(const StackOptions& options);
    ~StackStream();
    StackStream(const StackStream&) = delete;
    StackStream& operator=(const StackStream&) = delete;

    // Waits for the next buffer that carries a whole frame and queues it
    // again. Throws std::runtime_error when the stream ends or stalls, or a
    // frame is not the full-sensor size.
    void NextFrame();
    // Brings the stream into step before a measurement: takes the buffers
    // that completed while nobody waited, then the warm-up frames (the
    // first of a new stack also has the camera render its frames).
    void WarmUp();

    const StackOptions& Options() const { return options_; }

    uint64_t FrameBytes() const { return frameBytes_; }
    // What the camera refused or ignored: a driver fault, empty normally.
    std::vector<std::string> CameraViolations() const { return camera_->Violations(); }

private:
    void BringUp();
    void StartStream();
    void TearDown();

    const StackOptions options_;

    std::shared_ptr<sim::SimCamera> camera_;
    std::u16string link_;
    std::unique_ptr<host::DriverModule> module_;
    std::unique_ptr<host::Driver> driver_;
    std::unique_ptr<host::Device> device_;
    std::unique_ptr<client::Filter> filter_;
    std::unique_ptr<client::MasterClock> clock_;
    std::unique_ptr<client::Pin> pin_;
    uint64_t frameBytes_ = 0;
};

}  // namespace bench
