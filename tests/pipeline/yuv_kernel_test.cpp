// The YUV conversions: the reference on colours whose Y, U and V are known
// by hand, and the vector kernels of every level the processor has (a level
// it lacks is skipped) storing exactly the reference's bytes, in both
// layouts: random images, every width from 1 to 80 and a few large ones,
// heights from 1 to odd and even ones above it, padded pitches on both
// sides, and images of only 0 and 255.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "pipeline/kernel_set.h"

namespace {

constexpr UCHAR Guard = 0x5A;

// An RGB32 image with `sourcePad` bytes after each row, and a YUV target with
// `targetPad` bytes after each row's YUV bytes and guard bytes behind it.
class YuvCase {
public:
    YuvCase(YuvLayout layout, ULONG width, ULONG height, ULONG sourcePad, ULONG targetPad)
        : layout_(layout) {
        image_.width = width;
        image_.height = height;
        image_.sourcePitch = width * 4 + sourcePad;
        // Exactly the image's bytes: no row is read past its last pixel.
        source_.resize(size_t{image_.sourcePitch} * (height - 1) + width * 4);
        image_.targetPitch = (layout == YuvLayout::Yuy2 ? width * 2 : width) + targetPad;
        const size_t rows = layout == YuvLayout::Yuy2 ? height : height + height / 2;
        target_.resize(size_t{image_.targetPitch} * rows + 64);
        image_.source = source_.data();
        image_.target = target_.data();
    }

    std::vector<UCHAR>& source() { return source_; }

    std::vector<UCHAR> Run(void (*convert)(const YuvImage*)) {
        std::fill(target_.begin(), target_.end(), Guard);
        convert(&image_);
        return target_;
    }

    void (*Reference() const)(const YuvImage*) {
        return layout_ == YuvLayout::Yuy2 ? ConvertYuy2Reference : ConvertNv12Reference;
    }

private:
    YuvLayout layout_;
    YuvImage image_{};
    std::vector<UCHAR> source_;
    std::vector<UCHAR> target_;
};

// The three bytes of YUY2 for a pixel pair of one colour, U and V from it.
std::vector<UCHAR> Yuy2OfPair(UCHAR red, UCHAR green, UCHAR blue) {
    YuvCase c(YuvLayout::Yuy2, 2, 1, 0, 0);
    for (int pixel = 0; pixel < 2; ++pixel) {
        c.source()[4 * pixel] = blue;
        c.source()[4 * pixel + 1] = green;
        c.source()[4 * pixel + 2] = red;
        c.source()[4 * pixel + 3] = 255;
    }
    std::vector<UCHAR> out = c.Run(ConvertYuy2Reference);
    return {out[0], out[1], out[3]};
}

TEST(YuvReference, StudioRangeBt601) {
    EXPECT_EQ(Yuy2OfPair(0, 0, 0), (std::vector<UCHAR>{16, 128, 128}));
    EXPECT_EQ(Yuy2OfPair(255, 255, 255), (std::vector<UCHAR>{235, 128, 128}));
    EXPECT_EQ(Yuy2OfPair(255, 0, 0), (std::vector<UCHAR>{82, 90, 240}));
    EXPECT_EQ(Yuy2OfPair(0, 255, 0), (std::vector<UCHAR>{144, 54, 34}));
    EXPECT_EQ(Yuy2OfPair(0, 0, 255), (std::vector<UCHAR>{41, 240, 110}));
}

// Means rounded half up: reds 3 and 0 have the mean 2 (V 129, where 1 would
// give 128); blues 3, 3, 0, 0 the mean 2 (U 129, where 1 would give 128).
TEST(YuvReference, ChromaComesFromTheGroupsRoundedMeanColour) {
    YuvCase c(YuvLayout::Yuy2, 2, 1, 0, 0);
    c.source() = {0, 0, 3, 255, 0, 0, 0, 255};
    const std::vector<UCHAR> row = c.Run(ConvertYuy2Reference);
    EXPECT_EQ(std::vector<UCHAR>(row.begin(), row.begin() + 4),
              (std::vector<UCHAR>{17, 128, 16, 129}));

    YuvCase n(YuvLayout::Nv12, 2, 2, 0, 0);
    n.source() = {3, 0, 0, 255, 3, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255};
    const std::vector<UCHAR> planes = n.Run(ConvertNv12Reference);
    EXPECT_EQ(std::vector<UCHAR>(planes.begin(), planes.begin() + 6),
              (std::vector<UCHAR>{16, 16, 16, 16, 129, 128}));
}

// Odd sizes: the last column, and for NV12 the last row, stay unwritten.
TEST(YuvReference, AnOddLastColumnOrRowIsLeftOut) {
    YuvCase yuy2(YuvLayout::Yuy2, 3, 1, 0, 0);
    const std::vector<UCHAR> row = yuy2.Run(ConvertYuy2Reference);
    EXPECT_EQ(row[3], 128);
    EXPECT_EQ(row[4], Guard);
    EXPECT_EQ(row[5], Guard);

    YuvCase nv12(YuvLayout::Nv12, 2, 3, 0, 0);
    const std::vector<UCHAR> planes = nv12.Run(ConvertNv12Reference);
    // Y rows 0 and 1, then the one U V row at row 2: nothing of source row 2.
    EXPECT_EQ(planes[2], 16);
    EXPECT_EQ(planes[4], 128);
    EXPECT_EQ(planes[6], Guard);
}

const KernelSet* kernels = nullptr;

class YuvKernelEquivalence : public ::testing::TestWithParam<LONG> {
protected:
    void SetUp() override {
        if (SupportedSimdLevel() < GetParam()) {
            GTEST_SKIP() << "the processor lacks level " << GetParam();
        }
        kernels = &KernelsFor(GetParam());
    }

    // Every byte of the target, padding and guard included, as the reference
    // leaves it.
    static ::testing::AssertionResult SameBytes(YuvCase& c, YuvLayout layout) {
        const std::vector<UCHAR> expected = c.Run(c.Reference());
        const std::vector<UCHAR> actual =
            c.Run(layout == YuvLayout::Yuy2 ? kernels->yuy2 : kernels->nv12);
        for (size_t i = 0; i < expected.size(); ++i) {
            if (actual[i] != expected[i]) {
                return ::testing::AssertionFailure()
                       << "byte " << i << ": " << int(actual[i]) << ", not " << int(expected[i]);
            }
        }
        return ::testing::AssertionSuccess();
    }
};

std::string LevelName(const ::testing::TestParamInfo<LONG>& info) {
    const char* names[] = {"Sse2", "Avx2", "Avx512"};
    return names[info.param - SimdLevelSse2];
}

INSTANTIATE_TEST_SUITE_P(EveryLevel, YuvKernelEquivalence,
                         ::testing::Values(SimdLevelSse2, SimdLevelAvx2, SimdLevelAvx512),
                         LevelName);

std::vector<ULONG> Widths() {
    std::vector<ULONG> widths = {1000, 1096, 4384};
    for (ULONG width = 1; width <= 80; ++width) {
        widths.push_back(width);
    }
    return widths;
}

TEST_P(YuvKernelEquivalence, RandomImagesMatchTheReference) {
    std::mt19937 random(7);
    for (YuvLayout layout : {YuvLayout::Yuy2, YuvLayout::Nv12}) {
        for (ULONG width : Widths()) {
            for (ULONG height : {1u, 2u, 3u, 6u}) {
                YuvCase c(layout, width, height, random() % 3 * 4, random() % 5);
                for (UCHAR& byte : c.source()) {
                    byte = static_cast<UCHAR>(random());
                }
                ASSERT_TRUE(SameBytes(c, layout))
                    << (layout == YuvLayout::Yuy2 ? "YUY2 " : "NV12 ") << width << " x " << height;
            }
        }
    }
}

// Channels of only 0 and 255: the sums at the ends of their ranges.
TEST_P(YuvKernelEquivalence, ExtremeImagesMatchTheReference) {
    std::mt19937 random(8);
    for (YuvLayout layout : {YuvLayout::Yuy2, YuvLayout::Nv12}) {
        for (ULONG width : {2u, 16u, 30u, 64u, 66u, 130u}) {
            for (int fill = 0; fill < 3; ++fill) {
                YuvCase c(layout, width, 4, 0, 0);
                for (UCHAR& byte : c.source()) {
                    byte = fill == 0 ? 0 : fill == 1 ? 255 : (random() & 1) * 255;
                }
                ASSERT_TRUE(SameBytes(c, layout)) << width << ", fill " << fill;
            }
        }
    }
}

}  // namespace
