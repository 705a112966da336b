#include "fuzz/fuzz_stack.h"

#include <cstdio>
#include <cstdlib>

#include "host/nt/devices.h"
#include "host/nt/disks.h"
#include "host/nt/kernel_control.h"
#include "host/nt/registry_store.h"
#include "sim/sim_camera.h"

namespace fuzz {

const GUID ControlSet = {
    0xcaa3f35d, 0xd36c, 0x48bc, {0x9f, 0xe6, 0xfc, 0xbd, 0xb1, 0x47, 0x2c, 0x9c}};

void Fail(const std::string& what) {
    std::fprintf(stderr, "fuzz: CHECK failed: %s\n", what.c_str());
    std::abort();
}

Stack::Stack(std::vector<std::shared_ptr<host::Disk>> disks) {
    host::ResetKernel();
    for (auto& disk : disks) {
        links_.push_back(host::AttachDisk(std::move(disk)));
    }
    module_ = std::make_unique<host::DriverModule>("");
    driver_ = std::make_unique<host::Driver>(module_->Entry());
    FUZZ_CHECK(driver_->EntryStatus() == STATUS_SUCCESS, "driver entry failed");
    device_ = std::make_unique<host::Device>(*driver_);
    if (NT_SUCCESS(device_->Add())) {
        camera_ = static_cast<CameraDevice*>(device_->Ks()->Context);
    }
}

Stack::~Stack() {
    pin_.reset();
    filter_.reset();
    device_.reset();
    driver_.reset();
    for (const std::u16string& link : links_) {
        host::DetachDisk(link);
    }
    const std::string leaks = host::CheckNoLeaks();
    if (!leaks.empty()) {
        Fail("left behind after the execution:\n" + leaks);
    }
    host::ResetKernel();
    module_.reset();
}

std::string Stack::SettingsKey() {
    return host::DriverKeyPath(device_->PhysicalDeviceObject()) + "\\Settings";
}

void Stack::StoreWindow(LONG x, LONG y, LONG width, LONG height) {
    const std::string key = SettingsKey();
    host::RegistrySetDword(key, "SubSample", 0);
    host::RegistrySetDword(key, "RoiX", static_cast<uint32_t>(x));
    host::RegistrySetDword(key, "RoiY", static_cast<uint32_t>(y));
    host::RegistrySetDword(key, "RoiW", static_cast<uint32_t>(width));
    host::RegistrySetDword(key, "RoiH", static_cast<uint32_t>(height));
}

NTSTATUS Stack::Start() {
    return device_->Start();
}

client::Filter* Stack::OpenFilter() {
    const GUID capture = {STATIC_KSCATEGORY_CAPTURE};
    std::vector<std::string> paths = client::FindFilters(capture);
    if (paths.empty() || !NT_SUCCESS(client::Filter::Open(paths.back(), &filter_))) {
        return nullptr;
    }
    return filter_.get();
}

std::vector<UCHAR> Stack::Range(size_t which) {
    std::vector<std::vector<UCHAR>> ranges = filter_->DataRanges(0);
    FUZZ_CHECK(ranges.size() == RangeCount, "the pin publishes its three ranges");
    return ranges.at(which);
}

std::vector<UCHAR> Stack::Proposal(size_t which) {
    std::vector<UCHAR> range = Range(which);
    std::vector<UCHAR> format;
    client::RequestResult proposal =
        filter_->Intersect(0, range.data(), static_cast<ULONG>(range.size()),
                           sizeof(KS_DATAFORMAT_VIDEOINFOHEADER), &format);
    FUZZ_CHECK(proposal.status == STATUS_SUCCESS, "no proposal for the pin's own range");
    return format;
}

client::Pin* Stack::CreatePin() {
    return NT_SUCCESS(CreatePin(Proposal())) ? pin_.get() : nullptr;
}

NTSTATUS Stack::CreatePin(const std::vector<UCHAR>& format) {
    return filter_->CreatePin(0, format.data(), static_cast<ULONG>(format.size()), &pin_);
}

std::shared_ptr<sim::SimCamera> SteppedCamera() {
    sim::SimOptions options;
    options.framesPerSecond = 0;
    options.timing = sim::TransferTiming::Instant();
    options.holdFrames = true;
    // The scene is a full-sensor mosaic: made once, shared by every camera.
    static const std::shared_ptr<const sim::Scene> scene = sim::Scene::Bars();
    options.scene = scene;
    return std::make_shared<sim::SimCamera>(options);
}

}  // namespace fuzz

namespace fuzz {

namespace {

void CheckWithin(LONG value, LONG low, LONG high, const char* name) {
    if (value < low || value > high) {
        Fail(std::string(name) + " = " + std::to_string(value) + ", outside " +
             std::to_string(low) + ".." + std::to_string(high));
    }
}

}  // namespace

void CheckDeviceInvariants(const CameraDevice& camera) {
    CheckWithin(camera.Exposure, 1, 8191, "Exposure");
    CheckWithin(camera.GlobalGain, 0, 127, "GlobalGain");
    CheckWithin(camera.Brightness, 0, 510, "Brightness");
    CheckWithin(camera.Contrast, 0, 20, "Contrast");
    CheckWithin(camera.Saturation, 0, 20, "Saturation");
    CheckWithin(camera.Hue, 0, 359, "Hue");
    CheckWithin(camera.CameraNo, 0, 31, "CameraNo");
    CheckWithin(static_cast<LONG>(camera.FlipV), 0, 1, "FlipV");
    CheckWithin(camera.RoiX, 0, SensorWidth - 1, "RoiX");
    CheckWithin(camera.RoiY, 0, SensorHeight - 1, "RoiY");
    CheckWithin(camera.RoiW, 1, SensorWidth - camera.RoiX, "RoiW");
    CheckWithin(camera.RoiH, 1, SensorHeight - camera.RoiY, "RoiH");
    CheckWithin(camera.WindowWidth, 1, SensorWidth, "WindowWidth");
    CheckWithin(camera.WindowHeight, 1, SensorHeight, "WindowHeight");
    CheckWithin(camera.OutputWidth, 0, camera.WindowWidth, "OutputWidth");
    FUZZ_CHECK(camera.OutputWidth % 8 == 0, "OutputWidth a multiple of 8");
    FUZZ_CHECK(camera.OutputHeight == camera.WindowHeight, "OutputHeight is the window's");
    const KS_BITMAPINFOHEADER& advertised = camera.AdvertisedRange->VideoInfoHeader.bmiHeader;
    FUZZ_CHECK(advertised.biWidth == camera.OutputWidth, "the range's width is the output's");
    FUZZ_CHECK(advertised.biHeight == camera.OutputHeight, "the range's height is the output's");
}

bool SmallWindow(const CameraDevice& camera) {
    return camera.WindowWidth <= MaxWindow * 2 && camera.WindowHeight <= MaxWindow * 2;
}

}  // namespace fuzz
