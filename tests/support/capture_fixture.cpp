#include "tests/support/capture_fixture.h"

#include <cstring>

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

std::vector<UCHAR> CaptureTest::PinRange(client::Filter& filter) {
    std::vector<std::vector<UCHAR>> ranges = filter.DataRanges(0);
    EXPECT_EQ(ranges.size(), 1u);
    return ranges.empty() ? std::vector<UCHAR>{} : ranges[0];
}

std::vector<UCHAR> CaptureTest::ProposedFormat(client::Filter& filter) {
    std::vector<UCHAR> range = PinRange(filter);
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
    auto buffer = std::make_unique<client::StreamBuffer>(extent != 0 ? extent : pin_->FrameSize());
    std::memset(buffer->data.data(), fill, buffer->data.size());
    EXPECT_EQ(pin_->Queue(std::move(buffer)), STATUS_PENDING);
    return pin_->WaitForCompleted(Patience);
}

KS_VIDEOINFOHEADER* HeaderAt(std::vector<UCHAR>& bytes, size_t offset) {
    return reinterpret_cast<KS_VIDEOINFOHEADER*>(bytes.data() + offset);
}

}  // namespace driver_test
