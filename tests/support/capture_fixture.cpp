#include "tests/support/capture_fixture.h"

#include <cstring>

#include "diskcam/controls.h"

#include "host/nt/devices.h"
#include "host/nt/registry_store.h"

namespace driver_test {

void CaptureTest::TearDown() {
    pin_.reset();
    filter_.reset();
    DriverTest::TearDown();
}

std::string CaptureTest::SettingsKey() {
    return host::DriverKeyPath(LastDevice().PhysicalDeviceObject()) + "\\Settings";
}

CameraDevice* CaptureTest::StartDevice(LONG width, LONG height, LONG x, LONG y) {
    camera_ = AddDevice();
    if (camera_ == nullptr) {
        return nullptr;
    }
    const std::string key = SettingsKey();
    host::RegistrySetDword(key, "RoiX", static_cast<uint32_t>(x));
    host::RegistrySetDword(key, "RoiY", static_cast<uint32_t>(y));
    host::RegistrySetDword(key, "RoiW", static_cast<uint32_t>(width));
    host::RegistrySetDword(key, "RoiH", static_cast<uint32_t>(height));
    EXPECT_EQ(LastDevice().Start(), STATUS_SUCCESS);
    return camera_;
}

CameraDevice* CaptureTest::StartCamera(bool hold) {
    sim::SimOptions options = Immediate();
    options.holdFrames = hold;
    sim_ = AttachCamera(options);
    return StartDevice();
}

CameraDevice* CaptureTest::StartNumberedCamera(double framesPerSecond, LONG width) {
    sim::SimOptions options = Immediate();
    options.framesPerSecond = framesPerSecond;
    options.scene = sim::Scene::FromRaw(1, 1, {0});
    options.stampFrameNumbers = true;
    sim_ = AttachCamera(options);
    camera_ = AddDevice();
    if (camera_ == nullptr) {
        return nullptr;
    }
    host::RegistrySetDword(SettingsKey(), "ColorCorrection", 0);
    host::RegistrySetDword(SettingsKey(), "RoiW", static_cast<uint32_t>(width));
    host::RegistrySetDword(SettingsKey(), "RoiH", 32);
    EXPECT_EQ(LastDevice().Start(), STATUS_SUCCESS);
    return camera_;
}

std::unique_ptr<client::Filter> CaptureTest::OpenFilter() {
    const GUID capture = {STATIC_KSCATEGORY_CAPTURE};
    std::vector<std::string> paths = client::FindFilters(capture);
    std::unique_ptr<client::Filter> filter;
    if (paths.empty()) {
        ADD_FAILURE() << "no capture filter";
        return filter;
    }
    EXPECT_EQ(client::Filter::Open(paths.back(), &filter), STATUS_SUCCESS);
    return filter;
}

std::vector<UCHAR> CaptureTest::PinRange(client::Filter& filter, size_t index) {
    std::vector<std::vector<UCHAR>> ranges = filter.DataRanges(0);
    EXPECT_EQ(ranges.size(), 3u);
    return index < ranges.size() ? ranges[index] : std::vector<UCHAR>{};
}

std::vector<UCHAR> CaptureTest::ProposedFormat(client::Filter& filter, size_t index) {
    std::vector<UCHAR> range = PinRange(filter, index);
    std::vector<UCHAR> format;
    client::RequestResult result =
        filter.Intersect(0, range.data(), static_cast<ULONG>(range.size()),
                         sizeof(KS_DATAFORMAT_VIDEOINFOHEADER), &format);
    EXPECT_EQ(result.status, STATUS_SUCCESS);
    return format;
}

NTSTATUS CaptureTest::CreatePin(std::vector<UCHAR> format) {
    if (!filter_) {
        filter_ = OpenFilter();
    }
    if (format.empty()) {
        format = ProposedFormat(*filter_);
    }
    return filter_->CreatePin(0, format.data(), static_cast<ULONG>(format.size()), &pin_);
}

std::unique_ptr<client::StreamBuffer> CaptureTest::Capture(ULONG extent, UCHAR fill) {
    auto buffer = pin_->NewBuffer(extent != 0 ? extent : pin_->FrameSize());
    std::memset(buffer->data.data(), fill, buffer->data.size());
    EXPECT_EQ(pin_->Queue(std::move(buffer)), STATUS_PENDING);
    return pin_->WaitForCompleted(Patience);
}

namespace {

// A property request of the control set: its header, then `bytes` of value.
std::vector<UCHAR> ControlRequest(uint32_t id, uint32_t flags, size_t length, size_t offset,
                                  const void* bytes, size_t count) {
    std::vector<UCHAR> request(length, 0);
    KSPROPERTY property{};
    property.Set = {diskcam::ControlSetGuid::data1,
                    diskcam::ControlSetGuid::data2,
                    diskcam::ControlSetGuid::data3,
                    {}};
    std::memcpy(property.Set.Data4, diskcam::ControlSetGuid::data4, 8);
    property.Id = id;
    property.Flags = flags;
    std::memcpy(request.data(), &property, sizeof property);
    std::memcpy(request.data() + offset, bytes, count);
    return request;
}

}  // namespace

NTSTATUS Control(client::Filter& filter, uint32_t id, uint32_t flags, int32_t* value) {
    const int32_t none = 0;
    std::vector<UCHAR> request = ControlRequest(id, flags, diskcam::ControlValueBytes,
                                                diskcam::ControlValueOffset, &none, sizeof none);
    std::vector<UCHAR> data = ControlRequest(id, flags, diskcam::ControlValueBytes,
                                             diskcam::ControlValueOffset, value, sizeof *value);
    const client::RequestResult result =
        filter.Property(request.data(), static_cast<ULONG>(request.size()), data.data(),
                        static_cast<ULONG>(data.size()));
    EXPECT_LE(result.bytesReturned, data.size());
    std::memcpy(value, data.data() + diskcam::ControlValueOffset, sizeof *value);
    return result.status;
}

NTSTATUS SetWindow(client::Filter& filter, int32_t mode, int32_t x, int32_t y, int32_t width,
                   int32_t height) {
    const int32_t window[] = {mode, x, y, width, height};
    std::vector<UCHAR> request =
        ControlRequest(diskcam::ReadoutWindowItem, diskcam::ControlSet, diskcam::WindowRequestBytes,
                       diskcam::WindowModeOffset, window, sizeof window);
    std::vector<UCHAR> data = request;
    return filter
        .Property(request.data(), static_cast<ULONG>(request.size()), data.data(),
                  static_cast<ULONG>(data.size()))
        .status;
}

int64_t FrameShown(const client::StreamBuffer& buffer, uint64_t readBy) {
    const UCHAR value = buffer.data[0];
    for (size_t pixel = 0; pixel < buffer.data.size(); pixel += 4) {
        const UCHAR* bgra = &buffer.data[pixel];
        if (bgra[0] != value || bgra[1] != value || bgra[2] != value || bgra[3] != 255) {
            return -1;
        }
    }
    return static_cast<int64_t>(readBy - static_cast<UCHAR>(readBy - value));
}

std::string PinStateName(const ::testing::TestParamInfo<KSSTATE>& info) {
    switch (info.param) {
        case KSSTATE_STOP:
            return "Stop";
        case KSSTATE_ACQUIRE:
            return "Acquire";
        case KSSTATE_PAUSE:
            return "Pause";
        case KSSTATE_RUN:
            return "Run";
    }
    return "Unknown";
}

KS_VIDEOINFOHEADER* HeaderAt(std::vector<UCHAR>& bytes, size_t offset) {
    return reinterpret_cast<KS_VIDEOINFOHEADER*>(bytes.data() + offset);
}

}  // namespace driver_test
