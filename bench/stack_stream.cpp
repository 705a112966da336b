#include "bench/stack_stream.h"

#include <ksmedia.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "host/nt/devices.h"
#include "host/nt/disks.h"
#include "host/nt/kernel_control.h"
#include "host/nt/registry_store.h"

namespace bench {

namespace {

constexpr LONG kSensorWidth = 4384;
constexpr LONG kSensorHeight = 3288;
// Distinct raw frames the camera serves in turn: more than one, so that no
// frame stays in the caches from one read to the next.
constexpr int kPreRenderedFrames = 4;
constexpr std::chrono::seconds kPatience{10};

std::string Hex(NTSTATUS status) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(status));
    return text;
}

void Check(NTSTATUS status, const std::string& step) {
    if (!NT_SUCCESS(status)) {
        throw std::runtime_error(step + " failed with " + Hex(status));
    }
}

std::shared_ptr<sim::SimCamera> PreRenderingCamera() {
    // The scene is a full-sensor mosaic: made once for every run.
    static const std::shared_ptr<const sim::Scene> scene = sim::Scene::Bars();
    sim::SimOptions options;
    options.scene = scene;
    options.framesPerSecond = 0;
    options.timing = sim::TransferTiming::Instant();
    options.preRenderedFrames = kPreRenderedFrames;
    return std::make_shared<sim::SimCamera>(options);
}

// The full sensor as a stored window (mode 0), and the conversion threads.
void StoreSettings(const std::string& key, uint32_t conversionThreads) {
    host::RegistrySetDword(key, "SubSample", 0);
    host::RegistrySetDword(key, "RoiX", 0);
    host::RegistrySetDword(key, "RoiY", 0);
    host::RegistrySetDword(key, "RoiW", kSensorWidth);
    host::RegistrySetDword(key, "RoiH", kSensorHeight);
    host::RegistrySetDword(key, "ConversionThreads", conversionThreads);
}

std::unique_ptr<client::Filter> OpenCaptureFilter() {
    const GUID capture = {STATIC_KSCATEGORY_CAPTURE};
    std::vector<std::string> paths = client::FindFilters(capture);
    if (paths.empty()) {
        throw std::runtime_error("the driver registered no capture filter");
    }
    std::unique_ptr<client::Filter> filter;
    Check(client::Filter::Open(paths.back(), &filter), "opening the filter");
    return filter;
}

// The pin's proposal for its own range, checked to be full-sensor RGB32,
// and its image size.
std::vector<UCHAR> FullSensorFormat(client::Filter& filter, uint64_t* imageBytes) {
    std::vector<std::vector<UCHAR>> ranges = filter.DataRanges(0);
    if (ranges.empty()) {
        throw std::runtime_error("the capture pin publishes no range");
    }
    std::vector<UCHAR> format;
    Check(filter
              .Intersect(0, ranges[0].data(), static_cast<ULONG>(ranges[0].size()),
                         sizeof(KS_DATAFORMAT_VIDEOINFOHEADER), &format)
              .status,
          "the format proposal");
    if (format.size() < sizeof(KS_DATAFORMAT_VIDEOINFOHEADER)) {
        throw std::runtime_error("the format proposal is short");
    }
    KS_DATAFORMAT_VIDEOINFOHEADER video;
    std::memcpy(&video, format.data(), sizeof video);
    const KS_BITMAPINFOHEADER& bitmap = video.VideoInfoHeader.bmiHeader;
    if (bitmap.biWidth != kSensorWidth || std::abs(bitmap.biHeight) != kSensorHeight ||
        bitmap.biBitCount != 32) {
        throw std::runtime_error("the proposal is " + std::to_string(bitmap.biWidth) + " x " +
                                 std::to_string(bitmap.biHeight) + " at " +
                                 std::to_string(bitmap.biBitCount) +
                                 " bits, not the full sensor in RGB32");
    }
    *imageBytes = bitmap.biSizeImage;
    return format;
}

}  // namespace

StackStream::StackStream(const StackOptions& options) : options_(options) {
    try {
        BringUp();
    } catch (...) {
        TearDown();
        throw;
    }
}

StackStream::~StackStream() {
    TearDown();
}

void StackStream::BringUp() {
    host::ResetKernel();
    camera_ = PreRenderingCamera();
    link_ = host::AttachDisk(camera_);
    module_ = std::make_unique<host::DriverModule>(options_.driverImage);
    driver_ = std::make_unique<host::Driver>(module_->Entry());
    Check(driver_->EntryStatus(), "the driver's entry");
    device_ = std::make_unique<host::Device>(*driver_);
    Check(device_->Add(), "the device add");
    StoreSettings(host::DriverKeyPath(device_->PhysicalDeviceObject()) + "\\Settings",
                  options_.conversionThreads);
    Check(device_->Start(), "the device start");
    filter_ = OpenCaptureFilter();
    std::vector<UCHAR> format = FullSensorFormat(*filter_, &frameBytes_);
    Check(filter_->CreatePin(0, format.data(), static_cast<ULONG>(format.size()), &pin_),
          "the pin creation");
    clock_ = std::make_unique<client::MasterClock>();
    pin_->SetMasterClock(clock_.get());
    StartStream();
}

void StackStream::StartStream() {
    if (pin_->FrameSize() < frameBytes_) {
        throw std::runtime_error("the pin's framing gives buffers of " +
                                 std::to_string(pin_->FrameSize()) + " bytes for frames of " +
                                 std::to_string(frameBytes_));
    }
    Check(pin_->SetState(KSSTATE_RUN), "the stream start");
    for (int index = 0; index < options_.buffersInFlight; ++index) {
        Check(pin_->Queue(pin_->NewBuffer()), "queueing a buffer");
    }
}

void StackStream::NextFrame() {
    for (;;) {
        std::unique_ptr<client::StreamBuffer> buffer = pin_->WaitForCompleted(kPatience);
        if (buffer == nullptr) {
            throw std::runtime_error("no buffer came back within 10 s");
        }
        Check(buffer->status, "a stream buffer");
        const ULONG used = buffer->header.DataUsed;
        buffer->Reset();
        Check(pin_->Queue(std::move(buffer)), "queueing a buffer again");
        if (used == frameBytes_) {
            return;
        }
        if (used != 0) {
            throw std::runtime_error("a frame of " + std::to_string(used) +
                                     " bytes; the format's is " + std::to_string(frameBytes_));
        }
    }
}

void StackStream::WarmUp() {
    for (int frame = 0; frame < options_.buffersInFlight + options_.warmUpFrames; ++frame) {
        NextFrame();
    }
}

// Leaves the host kernel empty, whatever BringUp got to.
void StackStream::TearDown() {
    if (pin_ != nullptr) {
        pin_->SetState(KSSTATE_STOP);
    }
    pin_.reset();
    clock_.reset();
    filter_.reset();
    device_.reset();
    driver_.reset();
    if (!link_.empty()) {
        host::DetachDisk(link_);
    }
    const std::string leaks = host::CheckNoLeaks();
    if (!leaks.empty()) {
        std::fprintf(stderr, "diskcam-stack-bench: left behind at teardown:\n%s", leaks.c_str());
        std::abort();
    }
    host::ResetKernel();
    module_.reset();
}

}  // namespace bench
