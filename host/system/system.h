// The host system a tool or an integration test runs the driver in: disks
// attached in order (simulated cameras or files and block devices), the
// settings store loaded from a .reg file, the driver loaded through its entry
// and one device added and started. Destruction removes the device (which
// saves its settings, as the driver does), writes the device's driver key
// back to the .reg file and unplugs the disks.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "host/ks/device.h"
#include "host/system/driver_module.h"
#include "sim/sim_camera.h"

namespace host {

struct SystemOptions {
    // "sim" for a simulated camera, otherwise the path of a file or block
    // device; attached in this order.
    std::vector<std::string> cameras = {"sim"};
    sim::SimOptions simulated;
    // The settings store; empty keeps the settings in memory only.
    std::string registryFile;
    // A driver image (diskcam.sys) to load and run in place of the driver
    // linked into the host build; empty runs the linked one.
    std::string driverFile;
};

class System {
public:
    // Throws std::runtime_error (or RegFileError) with one line for the user.
    explicit System(const SystemOptions& options);
    ~System();
    System(const System&) = delete;
    System& operator=(const System&) = delete;

    // The simulated cameras, in attach order.
    const std::vector<std::shared_ptr<sim::SimCamera>>& SimulatedCameras() const {
        return simulated_;
    }

    // Every attached disk, simulated or not, in attach order.
    const std::vector<std::shared_ptr<Disk>>& Disks() const { return disks_; }

    // Pulls every attached disk out while the driver runs, as a surprise
    // removal: open handles fail with a gone status from then on.
    void UnplugCameras();

    // Removes the device and saves the settings store now; the destructor
    // then has nothing left to do. Throws like the constructor.
    void Shutdown();

private:
    void AttachCameras(const SystemOptions& options);

    std::string registryFile_;
    std::vector<std::shared_ptr<sim::SimCamera>> simulated_;
    std::vector<std::shared_ptr<Disk>> disks_;
    std::vector<std::u16string> links_;
    std::unique_ptr<DriverModule> module_;
    std::unique_ptr<Driver> driver_;
    std::unique_ptr<Device> device_;
};

}  // namespace host
