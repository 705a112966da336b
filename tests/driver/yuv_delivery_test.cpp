// The YUY2 and NV12 formats through the client API: their ranges beside
// RGB32's, negotiation by the same rules with each format's image size, the
// frames equal to the reference conversion of the RGB32 frame of the same
// scene (top-down, at the format's stride), whole images only, and the
// conversion under the saved vector state of the pipeline's level.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "host/nt/extended_state_control.h"
#include "host/nt/registry_store.h"
#include "pipeline/yuv_kernels.h"
#include "platform/cpu_features.h"
#include "tests/support/capture_fixture.h"

namespace driver_test {
namespace {

// A 100 x 33 window: 96 pixels delivered a row, 33 rows, 32 for NV12.
constexpr ULONG Width = 96;
constexpr ULONG Rows = 33;
constexpr ULONG Nv12Rows = 32;
constexpr size_t Yuy2Range = 1;
constexpr size_t Nv12Range = 2;
constexpr DWORD Yuy2Fourcc = 0x32595559;
constexpr DWORD Nv12Fourcc = 0x3231564E;

KS_DATARANGE_VIDEO* AsRange(std::vector<UCHAR>& bytes) {
    return reinterpret_cast<KS_DATARANGE_VIDEO*>(bytes.data());
}

class YuvTest : public CaptureTest {
protected:
    // A camera showing a fixed random mosaic, so that every frame is the same.
    void StartStillCamera(bool hold = false) {
        std::mt19937 random(3);
        std::vector<uint8_t> mosaic(64 * 64);
        for (uint8_t& value : mosaic) {
            value = static_cast<uint8_t>(random());
        }
        sim::SimOptions options = Immediate();
        options.scene = sim::Scene::FromRaw(64, 64, mosaic);
        options.holdFrames = hold;
        sim_ = AttachCamera(options);
        ASSERT_NE(StartDevice(100, 33), nullptr);
        filter_ = OpenFilter();
    }

    // One frame delivered in `format`, on a pin created for it and closed.
    std::vector<UCHAR> FrameIn(std::vector<UCHAR> format) {
        EXPECT_EQ(CreatePin(format), STATUS_SUCCESS);
        if (pin_ == nullptr) {
            return {};
        }
        EXPECT_EQ(pin_->SetState(KSSTATE_RUN), STATUS_SUCCESS);
        std::unique_ptr<client::StreamBuffer> buffer = Capture(0, 0xC3);
        pin_.reset();
        if (buffer == nullptr) {
            ADD_FAILURE() << "no frame";
            return {};
        }
        EXPECT_EQ(buffer->header.DataUsed, FormatHeader(format)->bmiHeader.biSizeImage);
        return buffer->data;
    }

    // The RGB32 frame turned top-down, converted as the reference converts
    // it, into `size` bytes of rows `pitch` apart, filled as FrameIn's.
    std::vector<UCHAR> Expected(YuvLayout layout, ULONG pitch, size_t size) {
        const std::vector<UCHAR> bottomUp = FrameIn(ProposedFormat(*filter_));
        std::vector<UCHAR> topDown(bottomUp.size());
        for (ULONG row = 0; row < Rows; ++row) {
            std::memcpy(&topDown[row * Width * 4], &bottomUp[(Rows - 1 - row) * Width * 4],
                        Width * 4);
        }
        std::vector<UCHAR> expected(size, 0xC3);
        YuvImage image = {topDown.data(), Width * 4, Width, Rows, expected.data(), pitch};
        (layout == YuvLayout::Yuy2 ? ConvertYuy2Reference : ConvertNv12Reference)(&image);
        return expected;
    }
};

using YuvNegotiation = YuvTest;

TEST_F(YuvNegotiation, Yuy2AndNv12FollowRgb32EachWithItsOwnRange) {
    ASSERT_NE(StartDevice(100, 33), nullptr);
    filter_ = OpenFilter();
    std::vector<UCHAR> rgb = PinRange(*filter_, 0);
    std::vector<UCHAR> yuy2 = PinRange(*filter_, Yuy2Range);
    std::vector<UCHAR> nv12 = PinRange(*filter_, Nv12Range);
    ASSERT_EQ(nv12.size(), sizeof(KS_DATARANGE_VIDEO));
    EXPECT_EQ(AsRange(rgb)->VideoInfoHeader.bmiHeader.biCompression, 0u);
    struct Expect {
        std::vector<UCHAR>* range;
        DWORD fourcc;
        WORD bitCount;
        LONG height;
        ULONG imageSize;
    };
    for (const Expect& e : {Expect{&yuy2, Yuy2Fourcc, 16, 33, Width * 33 * 2},
                            Expect{&nv12, Nv12Fourcc, 12, 32, Width * 32 * 3 / 2}}) {
        const KS_DATARANGE_VIDEO& range = *AsRange(*e.range);
        const KS_BITMAPINFOHEADER& bitmap = range.VideoInfoHeader.bmiHeader;
        const GUID subtype = {e.fourcc, 0, 0x10, {0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71}};
        EXPECT_EQ(std::memcmp(&range.DataRange.SubFormat, &subtype, sizeof subtype), 0);
        EXPECT_EQ(std::memcmp(&range.DataRange.MajorFormat, &AsRange(rgb)->DataRange.MajorFormat,
                              sizeof(GUID)),
                  0);
        EXPECT_EQ(bitmap.biCompression, e.fourcc);
        EXPECT_EQ(bitmap.biBitCount, e.bitCount);
        EXPECT_EQ(bitmap.biWidth, LONG(Width));
        EXPECT_EQ(bitmap.biHeight, e.height);
        EXPECT_EQ(bitmap.biSizeImage, e.imageSize);
        EXPECT_EQ(range.DataRange.SampleSize, e.imageSize);
        EXPECT_EQ(range.ConfigCaps.MaxOutputSize.cy, e.height);
        EXPECT_EQ(range.ConfigCaps.MinFrameInterval, AsRange(rgb)->ConfigCaps.MinFrameInterval);
        EXPECT_EQ(range.VideoInfoHeader.dwBitRate, Width * ULONG(e.height) * e.bitCount * 30);
        EXPECT_EQ(range.bFixedSizeSamples, 1);
    }
}

TEST_F(YuvNegotiation, EachFormatIsCheckedAgainstItsOwnImageSize) {
    ASSERT_NE(StartDevice(100, 33), nullptr);
    filter_ = OpenFilter();
    for (size_t index : {Yuy2Range, Nv12Range}) {
        std::vector<UCHAR> format = ProposedFormat(*filter_, index);
        ASSERT_EQ(format.size(), sizeof(KS_DATAFORMAT_VIDEOINFOHEADER));
        KS_BITMAPINFOHEADER& bitmap = FormatHeader(format)->bmiHeader;
        const ULONG imageSize = index == Yuy2Range ? Width * 33 * 2 : Width * 32 * 3 / 2;
        EXPECT_EQ(bitmap.biSizeImage, imageSize) << index;

        std::vector<UCHAR> small = format;
        FormatHeader(small)->bmiHeader.biSizeImage = imageSize - 1;
        EXPECT_EQ(CreatePin(small), STATUS_INVALID_PARAMETER) << index;
        std::vector<UCHAR> otherHeight = format;
        FormatHeader(otherHeight)->bmiHeader.biHeight = index == Yuy2Range ? 32 : 33;
        EXPECT_EQ(CreatePin(otherHeight), STATUS_NO_MATCH) << index;
        std::vector<UCHAR> rgbCompression = format;
        FormatHeader(rgbCompression)->bmiHeader.biCompression = 0;
        EXPECT_EQ(CreatePin(rgbCompression), STATUS_NO_MATCH) << index;

        ASSERT_EQ(CreatePin(format), STATUS_SUCCESS) << index;
        EXPECT_EQ(pin_->FrameSize(), imageSize);
        pin_.reset();
    }
}

// Set-data-format does not look at the bit count; the pipeline's attach
// takes only each format's own.
TEST_F(YuvNegotiation, AYuvFormatOfAnotherBitCountIsRefusedAtAcquire) {
    ASSERT_NE(StartDevice(100, 33), nullptr);
    filter_ = OpenFilter();
    std::vector<UCHAR> format = ProposedFormat(*filter_, Yuy2Range);
    FormatHeader(format)->bmiHeader.biBitCount = 32;
    ASSERT_EQ(CreatePin(format), STATUS_SUCCESS);
    EXPECT_EQ(pin_->SetState(KSSTATE_ACQUIRE), STATUS_INVALID_PARAMETER);
}

using YuvDelivery = YuvTest;

TEST_F(YuvDelivery, FramesAreTheReferenceOfTheRgb32FrameTopDown) {
    StartStillCamera();
    const std::vector<UCHAR> yuy2 = FrameIn(ProposedFormat(*filter_, Yuy2Range));
    EXPECT_EQ(yuy2, Expected(YuvLayout::Yuy2, Width * 2, Width * Rows * 2));
    const std::vector<UCHAR> nv12 = FrameIn(ProposedFormat(*filter_, Nv12Range));
    EXPECT_EQ(nv12, Expected(YuvLayout::Nv12, Width, Width * Nv12Rows * 3 / 2));
}

// A wider format: rows at its stride, in both planes of NV12, the bytes
// between left as the buffer held them.
TEST_F(YuvDelivery, AWiderFormatGetsRowsAtItsOwnStride) {
    StartStillCamera();
    for (size_t index : {Yuy2Range, Nv12Range}) {
        std::vector<UCHAR> format = ProposedFormat(*filter_, index);
        KS_BITMAPINFOHEADER& bitmap = FormatHeader(format)->bmiHeader;
        bitmap.biWidth = 104;
        const ULONG pitch = index == Yuy2Range ? 104 * 2 : 104;
        const ULONG size = index == Yuy2Range ? pitch * Rows : pitch * Nv12Rows * 3 / 2;
        bitmap.biSizeImage = size;
        const std::vector<UCHAR> frame = FrameIn(format);
        const YuvLayout layout = index == Yuy2Range ? YuvLayout::Yuy2 : YuvLayout::Nv12;
        EXPECT_EQ(frame, Expected(layout, pitch, size)) << index;
    }
}

TEST_F(YuvDelivery, ABufferShorterThanTheImageGetsNothing) {
    StartStillCamera();
    for (size_t index : {Yuy2Range, Nv12Range}) {
        ASSERT_EQ(CreatePin(ProposedFormat(*filter_, index)), STATUS_SUCCESS);
        ASSERT_EQ(pin_->SetState(KSSTATE_RUN), STATUS_SUCCESS);
        const ULONG extent = pin_->FrameSize() - 1;
        std::unique_ptr<client::StreamBuffer> buffer = Capture(extent, 0x77);
        ASSERT_NE(buffer, nullptr);
        EXPECT_EQ(buffer->status, STATUS_SUCCESS);
        EXPECT_EQ(buffer->header.DataUsed, 0u);
        EXPECT_EQ(buffer->data, std::vector<UCHAR>(extent, 0x77)) << index;
        pin_.reset();
    }
}

// One raw frame, converted once, then delivered to three buffers: with one
// band, each conversion and each delivery saves and restores the AVX state
// once on the processing thread.
TEST_F(YuvDelivery, EachDeliveryConvertsUnderTheLevelsSavedState) {
    if (SupportedSimdLevel() < SimdLevelAvx2) {
        GTEST_SKIP() << "the processor has no AVX2";
    }
    sim::SimOptions options = Immediate();
    options.holdFrames = true;
    sim_ = AttachCamera(options);
    camera_ = AddDevice();
    host::RegistrySetDword(SettingsKey(), "SimdLevel", SimdLevelAvx2);
    host::RegistrySetDword(SettingsKey(), "ConversionThreads", 1);
    host::RegistrySetDword(SettingsKey(), "RoiW", 100);
    host::RegistrySetDword(SettingsKey(), "RoiH", 32);
    ASSERT_EQ(LastDevice().Start(), STATUS_SUCCESS);
    filter_ = OpenFilter();
    ASSERT_EQ(CreatePin(ProposedFormat(*filter_, Nv12Range)), STATUS_SUCCESS);
    ASSERT_EQ(pin_->SetState(KSSTATE_RUN), STATUS_SUCCESS);
    host::ClearExtendedStatePairs();
    ASSERT_TRUE(sim_->ReleaseFrame());
    for (int delivery = 0; delivery < 3; ++delivery) {
        std::unique_ptr<client::StreamBuffer> buffer = Capture();
        ASSERT_NE(buffer, nullptr);
        EXPECT_NE(buffer->header.DataUsed, 0u);
    }
    EXPECT_EQ(pin_->SetState(KSSTATE_STOP), STATUS_SUCCESS);
    EXPECT_EQ(sim_->FramesRead(), 1u);
    const std::vector<host::ExtendedStatePair> pairs = host::ExtendedStatePairs();
    EXPECT_EQ(pairs.size(), 4u);
    for (const host::ExtendedStatePair& pair : pairs) {
        EXPECT_EQ(pair.mask, XSTATE_MASK_AVX);
        EXPECT_EQ(pair.thread, pairs[0].thread);
    }
}

}  // namespace
}  // namespace driver_test
