// A test fixture that runs the driver on a fresh host kernel: disks attached
// in order, the driver loaded through its entry, devices added, and at the
// end everything removed and checked for leaks, and every simulated camera
// checked for protocol violations (a write to a register the sensor lacks, a
// frame read with the flag down or of the wrong length). The driver is the one linked
// into the test, or the image DISKCAM_DRIVER names (diskcam.sys, mapped by
// the host's loader).
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "camera/camera_device.h"
#include "host/ks/device.h"
#include "host/system/driver_module.h"
#include "sim/sim_camera.h"

namespace testing_support {

class DriverTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Attaches a simulated camera; a frame rate of 0 unless the options say
    // otherwise, so that tests never wait for a frame.
    std::shared_ptr<sim::SimCamera> AttachCamera(sim::SimOptions options = Immediate());
    std::u16string Attach(std::shared_ptr<host::Disk> disk);
    // Checks a camera attached behind another disk at the end as well.
    void Watch(std::shared_ptr<sim::SimCamera> camera);

    // Adds a device and returns its CameraDevice (null if the add failed).
    CameraDevice* AddDevice();
    NTSTATUS LastAddStatus() const { return lastAddStatus_; }
    host::Device& LastDevice() { return *devices_.back(); }

    static sim::SimOptions Immediate();

    // True when the driver is a loaded image rather than the linked one.
    bool LoadedDriver() const { return module_ != nullptr && module_->Image() != nullptr; }

    std::unique_ptr<host::DriverModule> module_;
    std::unique_ptr<host::Driver> driver_;
    std::vector<std::unique_ptr<host::Device>> devices_;
    std::vector<std::u16string> links_;

private:
    NTSTATUS lastAddStatus_ = STATUS_SUCCESS;
    std::vector<std::shared_ptr<sim::SimCamera>> watched_;
};

// The register writes, END and FRAME lines of a simulated camera's log.
std::vector<std::string> LogSince(const sim::SimCamera& camera, size_t first);

}  // namespace testing_support
