// Format negotiation through the client API: the intersect handler's
// proposal and its refusals, and the connection formats that pin creation
// and a later format change accept or refuse.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "capture/capture_pin.h"
#include "tests/support/capture_fixture.h"

namespace driver_test {
namespace {

constexpr ULONG RangeHeaderOffset = 208;
constexpr ULONG ImageSize = 96 * 32 * 4;

KS_DATARANGE_VIDEO* AsRange(std::vector<UCHAR>& bytes) {
    return reinterpret_cast<KS_DATARANGE_VIDEO*>(bytes.data());
}

class Negotiation : public CaptureTest {
protected:
    void SetUp() override {
        CaptureTest::SetUp();
        ASSERT_NE(StartDevice(), nullptr);
        filter_ = OpenFilter();
        range_ = PinRange(*filter_);
    }

    client::RequestResult Intersect(std::vector<UCHAR>& range, ULONG bufferSize) {
        return filter_->Intersect(0, range.data(), static_cast<ULONG>(range.size()), bufferSize,
                                  &format_);
    }

    std::vector<UCHAR> range_;
    std::vector<UCHAR> format_;
};

using Intersection = Negotiation;

TEST_F(Intersection, AnEmptyBufferAsksForTheSize) {
    client::RequestResult result = Intersect(range_, 0);
    EXPECT_EQ(result.status, STATUS_BUFFER_OVERFLOW);
    EXPECT_EQ(result.bytesReturned, 152u);
}

TEST_F(Intersection, ABufferTooSmallIsRefused) {
    EXPECT_EQ(Intersect(range_, 151).status, STATUS_BUFFER_TOO_SMALL);
}

TEST_F(Intersection, TheProposalIsThePinsMediaTypeWithTheCallersHeader) {
    client::RequestResult result = Intersect(range_, 200);
    ASSERT_EQ(result.status, STATUS_SUCCESS);
    ASSERT_EQ(result.bytesReturned, 152u);
    std::vector<UCHAR> expected(range_.begin(), range_.begin() + sizeof(KSDATAFORMAT));
    reinterpret_cast<KSDATAFORMAT*>(expected.data())->FormatSize = 152;
    reinterpret_cast<KSDATAFORMAT*>(expected.data())->SampleSize = ImageSize;
    expected.insert(expected.end(), range_.begin() + RangeHeaderOffset, range_.end());
    ASSERT_EQ(format_, expected);
    EXPECT_EQ(FormatHeader(format_)->bmiHeader.biSizeImage, ImageSize);
}

TEST_F(Intersection, TheImageSizeComesFromTheCallersPictureSize) {
    struct Case {
        LONG width;
        LONG height;
        WORD bitCount;
        ULONG imageSize;
    };
    const Case cases[] = {
        {4384, 3288, 32, 57658368},
        {1096, 822, 32, 3603648},
        {5, 20, 24, 16 * 20},  // 15-byte rows padded to 16
        {96, -32, 32, ImageSize},
    };
    for (const Case& c : cases) {
        std::vector<UCHAR> range = range_;
        KS_BITMAPINFOHEADER& bitmap = AsRange(range)->VideoInfoHeader.bmiHeader;
        bitmap.biWidth = c.width;
        bitmap.biHeight = c.height;
        bitmap.biBitCount = c.bitCount;
        ASSERT_EQ(Intersect(range, 152).status, STATUS_SUCCESS) << c.width;
        EXPECT_EQ(reinterpret_cast<KSDATAFORMAT*>(format_.data())->SampleSize, c.imageSize);
        EXPECT_EQ(FormatHeader(format_)->bmiHeader.biSizeImage, c.imageSize);
    }
}

TEST_F(Intersection, ARangeThatDiffersFromThePinsIsNoMatch) {
    std::vector<UCHAR> shortRange = range_;
    shortRange.resize(295);
    AsRange(shortRange)->DataRange.FormatSize = 295;
    EXPECT_EQ(Intersect(shortRange, 152).status, STATUS_NO_MATCH);

    std::vector<UCHAR> fixed = range_;
    AsRange(fixed)->bFixedSizeSamples = 0;
    EXPECT_EQ(Intersect(fixed, 152).status, STATUS_NO_MATCH);

    std::vector<UCHAR> temporal = range_;
    AsRange(temporal)->bTemporalCompression = 1;
    EXPECT_EQ(Intersect(temporal, 152).status, STATUS_NO_MATCH);

    std::vector<UCHAR> description = range_;
    AsRange(description)->StreamDescriptionFlags = 1;
    EXPECT_EQ(Intersect(description, 152).status, STATUS_NO_MATCH);

    std::vector<UCHAR> allocation = range_;
    AsRange(allocation)->MemoryAllocationFlags = 1;
    EXPECT_EQ(Intersect(allocation, 152).status, STATUS_NO_MATCH);

    std::vector<UCHAR> interval = range_;
    AsRange(interval)->ConfigCaps.MinFrameInterval += 1;
    EXPECT_EQ(Intersect(interval, 152).status, STATUS_NO_MATCH);

    std::vector<UCHAR> specifier = range_;
    AsRange(specifier)->DataRange.Specifier.Data1 ^= 1;
    EXPECT_EQ(Intersect(specifier, 152).status, STATUS_NO_MATCH);
}

TEST_F(Intersection, AHeaderThatDoesNotFitTheRangeIsInvalid) {
    std::vector<UCHAR> past = range_;
    AsRange(past)->VideoInfoHeader.bmiHeader.biSize = 41;
    EXPECT_EQ(Intersect(past, 200).status, STATUS_INVALID_PARAMETER);

    std::vector<UCHAR> overflow = range_;
    AsRange(overflow)->VideoInfoHeader.bmiHeader.biSize = 0xFFFFFFF0;
    EXPECT_EQ(Intersect(overflow, 200).status, STATUS_INVALID_PARAMETER);
    EXPECT_EQ(Intersect(overflow, 0).status, STATUS_INVALID_PARAMETER);

    std::vector<UCHAR> bigger = range_;
    bigger.resize(297);
    AsRange(bigger)->DataRange.FormatSize = 297;
    AsRange(bigger)->VideoInfoHeader.bmiHeader.biSize = 41;
    client::RequestResult result = Intersect(bigger, 200);
    EXPECT_EQ(result.status, STATUS_SUCCESS);
    EXPECT_EQ(result.bytesReturned, 153u);
}

// The proposal's image size sits 20 bytes into the bitmap header, which a
// shorter header does not reach.
TEST_F(Intersection, ABitmapHeaderShorterThan40BytesIsInvalid) {
    std::vector<UCHAR> range = range_;
    AsRange(range)->VideoInfoHeader.bmiHeader.biSize = 39;
    EXPECT_EQ(Intersect(range, 200).status, STATUS_INVALID_PARAMETER);
}

TEST_F(Intersection, AnImageLargerThan32BitsIsInvalid) {
    std::vector<UCHAR> range = range_;
    AsRange(range)->VideoInfoHeader.bmiHeader.biWidth = 0x40000000;
    EXPECT_EQ(Intersect(range, 200).status, STATUS_INVALID_PARAMETER);
    AsRange(range)->VideoInfoHeader.bmiHeader.biWidth = 0x08000000;
    AsRange(range)->VideoInfoHeader.bmiHeader.biHeight = INT32_MIN;
    EXPECT_EQ(Intersect(range, 200).status, STATUS_INVALID_PARAMETER);
}

class ConnectionFormat : public Negotiation {
protected:
    void SetUp() override {
        Negotiation::SetUp();
        ASSERT_EQ(Intersect(range_, 152).status, STATUS_SUCCESS);
    }
    KS_BITMAPINFOHEADER& Bitmap(std::vector<UCHAR>& format) {
        return FormatHeader(format)->bmiHeader;
    }
    CapturePin* Context() { return static_cast<CapturePin*>(pin_->Kernel()->Context); }
};

TEST_F(ConnectionFormat, TheProposalIsAccepted) {
    EXPECT_EQ(CreatePin(format_), STATUS_SUCCESS);
}

TEST_F(ConnectionFormat, EachRefusalHasItsStatus) {
    struct Case {
        const char* name;
        void (*change)(std::vector<UCHAR>&);
        NTSTATUS status;
    };
    const Case cases[] = {
        {"format shorter than a video-info format",
         [](std::vector<UCHAR>& f) {
             f.resize(151);
             reinterpret_cast<KSDATAFORMAT*>(f.data())->FormatSize = 151;
         },
         STATUS_NO_MATCH},
        {"narrower than the range",
         [](std::vector<UCHAR>& f) { FormatHeader(f)->bmiHeader.biWidth = 88; }, STATUS_NO_MATCH},
        {"another height", [](std::vector<UCHAR>& f) { FormatHeader(f)->bmiHeader.biHeight = 33; },
         STATUS_NO_MATCH},
        {"compressed", [](std::vector<UCHAR>& f) { FormatHeader(f)->bmiHeader.biCompression = 3; },
         STATUS_NO_MATCH},
        {"image one byte short",
         [](std::vector<UCHAR>& f) { FormatHeader(f)->bmiHeader.biSizeImage = ImageSize - 1; },
         STATUS_INVALID_PARAMETER},
        {"bitmap header shorter than 40 bytes",
         [](std::vector<UCHAR>& f) { FormatHeader(f)->bmiHeader.biSize = 39; },
         STATUS_INVALID_PARAMETER},
        {"header past the format",
         [](std::vector<UCHAR>& f) { FormatHeader(f)->bmiHeader.biSize = 41; },
         STATUS_INVALID_PARAMETER},
        {"header size overflows",
         [](std::vector<UCHAR>& f) { FormatHeader(f)->bmiHeader.biSize = 0xFFFFFFE0; },
         STATUS_INVALID_PARAMETER},
        {"row size wraps 32 bits",
         [](std::vector<UCHAR>& f) { FormatHeader(f)->bmiHeader.biWidth = 0x40000000; },
         STATUS_INVALID_PARAMETER},
        {"image size wraps 32 bits",
         [](std::vector<UCHAR>& f) {
             // 0x08000000 x 32 x 4 is 2^34: 0 in 32 bits.
             FormatHeader(f)->bmiHeader.biWidth = 0x08000000;
         },
         STATUS_INVALID_PARAMETER},
        {"most negative height",
         [](std::vector<UCHAR>& f) { FormatHeader(f)->bmiHeader.biHeight = INT32_MIN; },
         STATUS_INVALID_PARAMETER},
    };
    for (const Case& c : cases) {
        std::vector<UCHAR> format = format_;
        c.change(format);
        EXPECT_EQ(CreatePin(format), c.status) << c.name;
        EXPECT_EQ(pin_, nullptr) << c.name;
        EXPECT_EQ(camera_->FormatLock, 0u) << c.name;
    }
}

TEST_F(ConnectionFormat, WiderTopDownAndLargerImagesAreAccepted) {
    std::vector<UCHAR> wider = format_;
    Bitmap(wider).biWidth = 104;
    Bitmap(wider).biSizeImage = 104 * 32 * 4;
    ASSERT_EQ(CreatePin(wider), STATUS_SUCCESS);
    EXPECT_EQ(Context()->destStride, 104u * 4);
    pin_.reset();

    std::vector<UCHAR> topDown = format_;
    Bitmap(topDown).biHeight = -32;
    EXPECT_EQ(CreatePin(topDown), STATUS_SUCCESS);
    pin_.reset();

    std::vector<UCHAR> larger = format_;
    Bitmap(larger).biSizeImage = ImageSize + 4096;
    EXPECT_EQ(CreatePin(larger), STATUS_SUCCESS);
    EXPECT_EQ(pin_->FrameSize(), ImageSize + 4096);
}

// The pin keeps one 88-byte header; the rest of a larger one is not copied.
TEST_F(ConnectionFormat, ALargerBitmapHeaderIsCutToThePinsHeader) {
    std::vector<UCHAR> format = format_;
    format.resize(152 + 20, 0xEE);
    reinterpret_cast<KSDATAFORMAT*>(format.data())->FormatSize = 172;
    Bitmap(format).biSize = 60;
    ASSERT_EQ(CreatePin(format), STATUS_SUCCESS);
    CapturePin* pin = Context();
    EXPECT_EQ(std::memcmp(&pin->videoInfo, format.data() + 64, 88), 0);
    EXPECT_FALSE(pin->acquired);
    EXPECT_EQ(pin->destStride, 96u * 4);
    EXPECT_EQ(pin->referenceClock, nullptr);
}

TEST_F(ConnectionFormat, AChangeInStopIsStored) {
    ASSERT_EQ(CreatePin(format_), STATUS_SUCCESS);
    std::vector<UCHAR> wider = format_;
    Bitmap(wider).biWidth = 112;
    Bitmap(wider).biSizeImage = 112 * 32 * 4;
    Bitmap(wider).biXPelsPerMeter = 7;
    ASSERT_EQ(pin_->SetDataFormat(wider.data(), static_cast<ULONG>(wider.size())), STATUS_SUCCESS);
    EXPECT_EQ(std::memcmp(&Context()->videoInfo, wider.data() + 64, 88), 0);
    EXPECT_EQ(Context()->destStride, 112u * 4);
}

TEST_F(ConnectionFormat, ARefusedChangeKeepsTheFormatAndStride) {
    std::vector<UCHAR> wider = format_;
    Bitmap(wider).biWidth = 104;
    Bitmap(wider).biSizeImage = 104 * 32 * 4;
    ASSERT_EQ(CreatePin(wider), STATUS_SUCCESS);
    std::vector<UCHAR> narrower = format_;
    Bitmap(narrower).biWidth = 88;
    EXPECT_EQ(pin_->SetDataFormat(narrower.data(), static_cast<ULONG>(narrower.size())),
              STATUS_NO_MATCH);
    EXPECT_EQ(std::memcmp(&Context()->videoInfo, wider.data() + 64, 88), 0);
    EXPECT_EQ(Context()->destStride, 104u * 4);
}

TEST_F(ConnectionFormat, AChangeWhileRunningIsRefusedAndDeliveryGoesOn) {
    sim_ = AttachCamera();
    ASSERT_EQ(CreatePin(format_), STATUS_SUCCESS);
    ASSERT_EQ(pin_->SetState(KSSTATE_RUN), STATUS_SUCCESS);
    std::vector<UCHAR> other = format_;
    Bitmap(other).biWidth = 104;
    Bitmap(other).biSizeImage = 104 * 32 * 4;
    EXPECT_EQ(pin_->SetDataFormat(other.data(), static_cast<ULONG>(other.size())),
              STATUS_INVALID_DEVICE_STATE);
    EXPECT_EQ(std::memcmp(&Context()->videoInfo, format_.data() + 64, 88), 0);
    std::unique_ptr<client::StreamBuffer> buffer = Capture();
    ASSERT_NE(buffer, nullptr);
    EXPECT_EQ(buffer->header.DataUsed, ImageSize);
}

// Two cameras of different windows: each device advertises and negotiates
// its own size, the first device's range untouched by the second's window.
using TwoDevices = CaptureTest;

TEST_F(TwoDevices, EachAdvertisesAndNegotiatesItsOwnWindow) {
    AttachCamera();
    AttachCamera();
    ASSERT_NE(StartDevice(160, 48), nullptr);
    ASSERT_NE(StartDevice(320, 64), nullptr);
    const GUID capture = {STATIC_KSCATEGORY_CAPTURE};
    std::vector<std::string> paths = client::FindFilters(capture);
    ASSERT_EQ(paths.size(), 2u);
    const LONG widths[] = {160, 320};
    const LONG heights[] = {48, 64};
    std::vector<std::unique_ptr<client::Filter>> filters(2);
    std::vector<std::unique_ptr<client::Pin>> pins(2);
    for (size_t i = 0; i < 2; ++i) {
        ASSERT_EQ(client::Filter::Open(paths[i], &filters[i]), STATUS_SUCCESS);
        std::vector<UCHAR> range = PinRange(*filters[i]);
        EXPECT_EQ(HeaderAt(range, 208)->bmiHeader.biWidth, widths[i]) << "device " << i;
        std::vector<UCHAR> format = ProposedFormat(*filters[i]);
        ASSERT_EQ(format.size(), sizeof(KS_DATAFORMAT_VIDEOINFOHEADER));
        EXPECT_EQ(FormatHeader(format)->bmiHeader.biWidth, widths[i]) << "device " << i;
        EXPECT_EQ(FormatHeader(format)->bmiHeader.biHeight, heights[i]) << "device " << i;
        ASSERT_EQ(
            filters[i]->CreatePin(0, format.data(), static_cast<ULONG>(format.size()), &pins[i]),
            STATUS_SUCCESS)
            << "device " << i;
    }
}

}  // namespace
}  // namespace driver_test
