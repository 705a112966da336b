#include "host/system/system.h"

#include <cstdio>
#include <stdexcept>

#include "host/disk/file_disk.h"
#include "host/nt/devices.h"
#include "host/nt/disks.h"
#include "host/nt/kernel_control.h"
#include "host/nt/reg_file.h"

namespace host {

namespace {

std::string Hex(NTSTATUS status) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(status));
    return text;
}

}  // namespace

System::System(const SystemOptions& options) : registryFile_(options.registryFile) {
    ResetKernel();
    if (!registryFile_.empty()) {
        LoadRegFile(registryFile_);
    }
    AttachCameras(options);
    module_ = std::make_unique<DriverModule>(options.driverFile);
    driver_ = std::make_unique<Driver>(module_->Entry());
    if (!NT_SUCCESS(driver_->EntryStatus())) {
        throw std::runtime_error("driver entry failed with " + Hex(driver_->EntryStatus()));
    }
    device_ = std::make_unique<Device>(*driver_);
    NTSTATUS status = device_->Add();
    if (NT_SUCCESS(status)) {
        status = device_->Start();
    }
    if (!NT_SUCCESS(status)) {
        throw std::runtime_error("device start failed with " + Hex(status));
    }
}

System::~System() {
    try {
        Shutdown();
    } catch (const std::exception&) {
        // Destruction cannot report; callers that care call Shutdown first.
    }
}

void System::AttachCameras(const SystemOptions& options) {
    for (const std::string& camera : options.cameras) {
        if (camera == "sim") {
            simulated_.push_back(std::make_shared<sim::SimCamera>(options.simulated));
            disks_.push_back(simulated_.back());
        } else {
            disks_.push_back(std::make_shared<FileDisk>(camera));
        }
        links_.push_back(AttachDisk(disks_.back()));
    }
}

void System::UnplugCameras() {
    for (const std::u16string& link : links_) {
        DetachDisk(link);
    }
}

void System::Shutdown() {
    if (device_ == nullptr) {
        return;
    }
    std::string driverKey = DriverKeyPath(device_->PhysicalDeviceObject());
    device_.reset();
    driver_.reset();
    module_.reset();
    for (const std::u16string& link : links_) {
        DetachDisk(link);
    }
    links_.clear();
    if (!registryFile_.empty()) {
        SaveRegFile(registryFile_, driverKey);
    }
}

}  // namespace host
