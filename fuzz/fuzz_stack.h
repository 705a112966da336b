// What the harnesses share: the whole stack brought up on a fresh host
// kernel for one execution (disks attached, the linked driver's entry, one
// device added and started with a small stored window), checked for leaks
// and torn down at the end; and the check that turns a silent fault into a
// crash libFuzzer reports.
#pragma once

#include <ks.h>

#include <memory>
#include <string>
#include <vector>

#include "camera/camera_device.h"
#include "host/client/filter.h"
#include "host/client/pin.h"
#include "host/disk/disk.h"
#include "host/ks/device.h"
#include "host/system/driver_module.h"
#include "sim/sim_camera.h"

namespace fuzz {

// Prints "fuzz: CHECK failed: what" and aborts, which libFuzzer reports as a
// crash with the input that caused it.
[[noreturn]] void Fail(const std::string& what);

#define FUZZ_CHECK(condition, what) \
    do {                            \
        if (!(condition)) {         \
            ::fuzz::Fail(what);     \
        }                           \
    } while (0)

// The control property set's GUID.
extern const GUID ControlSet;

// The windows the harnesses store: at most 64 x 64, so that each execution
// moves a few kilobytes.
constexpr LONG MaxWindow = 64;

class Stack {
public:
    // A fresh kernel with the disks attached in order; the linked driver's
    // entry and one device added. Nothing else yet.
    explicit Stack(std::vector<std::shared_ptr<host::Disk>> disks);
    // Closes what is still open, removes the device, and fails on any pool
    // block, handle or reference left behind.
    ~Stack();
    Stack(const Stack&) = delete;
    Stack& operator=(const Stack&) = delete;

    // Null when the add failed.
    CameraDevice* Camera() const { return camera_; }
    // The device's Settings key, in .reg notation.
    std::string SettingsKey();
    // Stores a window (mode 0) under the Settings key.
    void StoreWindow(LONG x, LONG y, LONG width, LONG height);
    NTSTATUS Start();
    // The first filter of the capture category, or null when it would not open.
    client::Filter* OpenFilter();
    client::Filter* Filter() const { return filter_.get(); }
    // Closes the pin, if any, and the filter.
    void CloseFilter() {
        pin_.reset();
        filter_.reset();
    }
    // The pin publishes three data ranges: RGB32, YUY2 and NV12, in that
    // order. One of them as published, and the proposal of the pin's
    // intersect handler for it.
    static constexpr size_t RangeCount = 3;
    std::vector<UCHAR> Range(size_t which = 0);
    std::vector<UCHAR> Proposal(size_t which = 0);
    // Creates the pin with the proposal for its own range; null when refused.
    client::Pin* CreatePin();
    NTSTATUS CreatePin(const std::vector<UCHAR>& format);
    client::Pin* Pin() const { return pin_.get(); }
    void ClosePin() { pin_.reset(); }

private:
    std::vector<std::u16string> links_;
    std::unique_ptr<host::DriverModule> module_;
    std::unique_ptr<host::Driver> driver_;
    std::unique_ptr<host::Device> device_;
    CameraDevice* camera_ = nullptr;
    std::unique_ptr<client::Filter> filter_;
    std::unique_ptr<client::Pin> pin_;
};

// A simulated camera at frame rate 0 with instant transfers, in step mode:
// no frame flows unless the harness releases one.
std::shared_ptr<sim::SimCamera> SteppedCamera();

}  // namespace fuzz

namespace fuzz {

// What holds of a started device whatever the outside sent: every setting
// within its clamp, the window within the sensor and the advertised range at
// the output size.
void CheckDeviceInvariants(const CameraDevice& camera);

// True while the device's window is small enough for an execution to stream
// it quickly. Inputs can store or set any window; the harnesses create pins
// and stream only small ones, since a full-sensor stream takes seconds under
// the sanitizers.
bool SmallWindow(const CameraDevice& camera);

}  // namespace fuzz
