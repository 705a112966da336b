#include "tests/support/driver_fixture.h"

#include "host/nt/disks.h"
#include "host/nt/kernel_control.h"

namespace testing_support {

void DriverTest::SetUp() {
    host::ResetKernel();
    module_ = std::make_unique<host::DriverModule>(host::DriverFileFromEnvironment());
    driver_ = std::make_unique<host::Driver>(module_->Entry());
    ASSERT_EQ(driver_->EntryStatus(), STATUS_SUCCESS);
}

void DriverTest::TearDown() {
    devices_.clear();
    driver_.reset();
    for (const std::u16string& link : links_) {
        host::DetachDisk(link);
    }
    EXPECT_EQ(host::CheckNoLeaks(), "");
    for (const auto& camera : watched_) {
        EXPECT_EQ(camera->Violations(), std::vector<std::string>{});
    }
    watched_.clear();
    host::ResetKernel();
    module_.reset();
}

sim::SimOptions DriverTest::Immediate() {
    sim::SimOptions options;
    options.framesPerSecond = 0;
    options.timing = sim::TransferTiming::Instant();
    return options;
}

std::shared_ptr<sim::SimCamera> DriverTest::AttachCamera(sim::SimOptions options) {
    auto camera = std::make_shared<sim::SimCamera>(options);
    Attach(camera);
    return camera;
}

void DriverTest::Watch(std::shared_ptr<sim::SimCamera> camera) {
    watched_.push_back(std::move(camera));
}

std::u16string DriverTest::Attach(std::shared_ptr<host::Disk> disk) {
    if (auto camera = std::dynamic_pointer_cast<sim::SimCamera>(disk)) {
        Watch(std::move(camera));
    }
    links_.push_back(host::AttachDisk(std::move(disk)));
    return links_.back();
}

CameraDevice* DriverTest::AddDevice() {
    devices_.push_back(std::make_unique<host::Device>(*driver_));
    lastAddStatus_ = devices_.back()->Add();
    if (!NT_SUCCESS(lastAddStatus_)) {
        return nullptr;
    }
    return static_cast<CameraDevice*>(devices_.back()->Ks()->Context);
}

std::vector<std::string> LogSince(const sim::SimCamera& camera, size_t first) {
    std::vector<std::string> lines = camera.Log();
    if (first >= lines.size()) {
        return {};
    }
    return std::vector<std::string>(lines.begin() + first, lines.end());
}

}  // namespace testing_support
