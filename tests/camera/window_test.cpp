// The readout window: clamps, subsample modes, the format lock, and the data
// range that follows every window.
#include <gtest/gtest.h>

#include "camera/sensor.h"
#include "driver/data_range.h"
#include "tests/support/capture_fixture.h"

namespace {

using testing_support::DriverTest;

struct Window {
    LONG subSample, x, y, width, height, windowWidth, windowHeight, outputWidth;
};

Window Stored(const CameraDevice* camera) {
    return {camera->SubSample, camera->RoiX,        camera->RoiY,         camera->RoiW,
            camera->RoiH,      camera->WindowWidth, camera->WindowHeight, camera->OutputWidth};
}

bool operator==(const Window& a, const Window& b) {
    return a.subSample == b.subSample && a.x == b.x && a.y == b.y && a.width == b.width &&
           a.height == b.height && a.windowWidth == b.windowWidth &&
           a.windowHeight == b.windowHeight && a.outputWidth == b.outputWidth;
}

std::ostream& operator<<(std::ostream& out, const Window& w) {
    return out << "mode " << w.subSample << " (" << w.x << "," << w.y << ") " << w.width << "x"
               << w.height << " window " << w.windowWidth << "x" << w.windowHeight << " output "
               << w.outputWidth;
}

class WindowTest : public DriverTest {
protected:
    void SetUp() override {
        DriverTest::SetUp();
        camera_ = AddDevice();
        ASSERT_NE(camera_, nullptr);
    }

    Window Set(LONG x, LONG y, LONG width, LONG height, LONG mode) {
        SetReadoutWindow(camera_, x, y, width, height, mode);
        return Stored(camera_);
    }

    CameraDevice* camera_ = nullptr;
};

TEST_F(WindowTest, FreeWindowsAreClampedToTheSensor) {
    EXPECT_EQ(Set(4360, 10, 100, 20, 0), (Window{0, 0, 10, 100, 32, 100, 32, 96}));
    EXPECT_EQ(Set(4000, 3000, 1000, 1000, 0), (Window{0, 4000, 3000, 384, 288, 384, 288, 384}));
    EXPECT_EQ(Set(-1, -1, 0, -5, 0), (Window{0, 0, 0, 32, 32, 32, 32, 32}));
    EXPECT_EQ(Set(4351, 3255, 64, 64, 0), (Window{0, 4351, 3255, 33, 33, 33, 33, 32}));
    EXPECT_EQ(Set(4352, 3256, 64, 64, 0), (Window{0, 0, 0, 64, 64, 64, 64, 64}));
}

TEST_F(WindowTest, HugeSizesDoNotWrap) {
    EXPECT_EQ(Set(100, 100, 0x7FFFFFFF, 0x7FFFFFFF, 0),
              (Window{0, 100, 100, 4284, 3188, 4284, 3188, 4280}));
}

TEST_F(WindowTest, SubsampleModesReplaceTheWindowWithTheSensor) {
    EXPECT_EQ(Set(12, 34, 56, 78, 1), (Window{1, 0, 0, 4384, 3288, 2192, 1644, 2192}));
    EXPECT_EQ(Set(12, 34, 56, 78, 2), (Window{2, 0, 0, 4384, 3288, 1096, 822, 1096}));
}

TEST_F(WindowTest, UnknownModesAreFreeWindows) {
    // Any other mode would be programmed as a free window: it is stored and
    // clamped as one, so that nothing is ever sized from an unclamped window.
    EXPECT_EQ(Set(-7, 5000, 100000, 1, 3), (Window{0, 0, 0, 4384, 32, 4384, 32, 4384}));
    EXPECT_EQ(Set(10, 10, 100, 100, -1), (Window{0, 10, 10, 100, 100, 100, 100, 96}));
}

// The format lock as the driver takes it: a capture pin exists.
using WindowLock = driver_test::CaptureTest;

TEST_F(WindowLock, NothingChangesWhileAPinHoldsTheFormat) {
    ASSERT_NE(StartDevice(640, 480, 8, 8), nullptr);
    const Window before = Stored(camera_);
    const ULONG sampleSize = camera_->AdvertisedRange->DataRange.SampleSize;
    ASSERT_EQ(CreatePin(), STATUS_SUCCESS);
    EXPECT_FALSE(SetReadoutWindow(camera_, 0, 0, 100, 100, 0));
    EXPECT_FALSE(SetReadoutWindow(camera_, 0, 0, 0, 0, 2));
    EXPECT_EQ(Stored(camera_), before);
    EXPECT_EQ(camera_->AdvertisedRange->DataRange.SampleSize, sampleSize);
    pin_.reset();
    EXPECT_TRUE(SetReadoutWindow(camera_, 0, 0, 100, 100, 0));
    EXPECT_EQ(Stored(camera_), (Window{0, 0, 0, 100, 100, 100, 100, 96}));
}

TEST_F(WindowTest, TheDataRangeDescribesTheOutput) {
    Set(0, 0, 1000, 500, 0);
    const KS_DATARANGE_VIDEO& range = *camera_->AdvertisedRange;
    const KS_VIDEO_STREAM_CONFIG_CAPS& caps = range.ConfigCaps;
    const KS_VIDEOINFOHEADER& info = range.VideoInfoHeader;
    EXPECT_EQ(range.DataRange.SampleSize, 2000000u);
    EXPECT_EQ(info.bmiHeader.biSizeImage, 2000000u);
    EXPECT_EQ(caps.InputSize.cx, 1000);
    EXPECT_EQ(caps.InputSize.cy, 500);
    for (const SIZE& size :
         {caps.MinCroppingSize, caps.MaxCroppingSize, caps.MinOutputSize, caps.MaxOutputSize}) {
        EXPECT_EQ(size.cx, 1000);
        EXPECT_EQ(size.cy, 500);
    }
    EXPECT_EQ(info.rcSource.left, 0);
    EXPECT_EQ(info.rcSource.top, 0);
    EXPECT_EQ(info.rcSource.right, 1000);
    EXPECT_EQ(info.rcSource.bottom, 500);
    EXPECT_EQ(caps.MinBitsPerSecond, 480000000);
    EXPECT_EQ(caps.MaxBitsPerSecond, 480000000);
    EXPECT_EQ(info.dwBitRate, 480000000u);
    EXPECT_EQ(caps.MinFrameInterval, 333333);
    EXPECT_EQ(caps.MaxFrameInterval, 333333);
    EXPECT_EQ(info.AvgTimePerFrame, 333333);
    EXPECT_EQ(info.bmiHeader.biWidth, 1000);
    EXPECT_EQ(info.bmiHeader.biHeight, 500);
    // The fields no window touches.
    EXPECT_EQ(range.DataRange.FormatSize, 296u);
    EXPECT_EQ(info.bmiHeader.biSize, 40u);
    EXPECT_EQ(info.bmiHeader.biBitCount, 32);
    EXPECT_EQ(info.bmiHeader.biPlanes, 1);
    EXPECT_EQ(caps.CropGranularityX, 8);
    EXPECT_EQ(caps.OutputGranularityX, 8);
    EXPECT_EQ(range.bFixedSizeSamples, 1);
    // Uncompressed frames, each standing alone.
    EXPECT_EQ(range.bTemporalCompression, 0);
}

TEST_F(WindowTest, TheDataRangeFollowsModesAndRoundsWidthsToEight) {
    Set(0, 0, 0, 0, 2);
    EXPECT_EQ(camera_->AdvertisedRange->VideoInfoHeader.bmiHeader.biSizeImage, 3603648u);
    EXPECT_EQ(camera_->AdvertisedRange->VideoInfoHeader.bmiHeader.biWidth, 1096);
    EXPECT_EQ(camera_->AdvertisedRange->VideoInfoHeader.bmiHeader.biHeight, 822);
    Set(0, 0, 1001, 100, 0);
    EXPECT_EQ(camera_->AdvertisedRange->VideoInfoHeader.bmiHeader.biWidth, 1000);
    EXPECT_EQ(camera_->AdvertisedRange->ConfigCaps.InputSize.cx, 1000);
    // Half-size and full-sensor streams carry more bits per second than the
    // LONG fields hold (3.46 and 13.8 Gbit/s), the full sensor more than
    // dwBitRate holds too: both saturate, never wrap.
    Set(0, 0, 0, 0, 1);
    EXPECT_EQ(camera_->AdvertisedRange->ConfigCaps.MinBitsPerSecond, 2147483647);
    EXPECT_EQ(camera_->AdvertisedRange->ConfigCaps.MaxBitsPerSecond, 2147483647);
    EXPECT_EQ(camera_->AdvertisedRange->VideoInfoHeader.dwBitRate, 3459502080u);
    Set(0, 0, 4384, 3288, 0);
    EXPECT_EQ(camera_->AdvertisedRange->ConfigCaps.MaxBitsPerSecond, 2147483647);
    EXPECT_EQ(camera_->AdvertisedRange->VideoInfoHeader.dwBitRate, 4294967295u);
    EXPECT_EQ(camera_->AdvertisedRange->DataRange.SampleSize, 57658368u);
}

}  // namespace
