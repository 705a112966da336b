// The scalar references of the YUV conversions: the arithmetic of
// yuv_kernels.h written out pixel by pixel. They define the results; the
// vector kernels must store the same bytes. Not used on the streaming path.
#include "pipeline/yuv_kernels.h"

namespace {

struct Rgb {
    int red;
    int green;
    int blue;
};

Rgb PixelAt(const UCHAR* row, ULONG x) {
    const UCHAR* pixel = row + SIZE_T{x} * 4;
    return {pixel[2], pixel[1], pixel[0]};
}

// The channel means of `count` pixels, rounded half up.
Rgb Mean(const Rgb* pixels, int count) {
    Rgb sum = {count / 2, count / 2, count / 2};
    for (int i = 0; i < count; ++i) {
        sum.red += pixels[i].red;
        sum.green += pixels[i].green;
        sum.blue += pixels[i].blue;
    }
    return {sum.red / count, sum.green / count, sum.blue / count};
}

// The sums of U and V can be negative: >> on an int is an arithmetic shift
// in the compilers the driver builds with, so it rounds down.
UCHAR Luma(const Rgb& c) {
    return static_cast<UCHAR>(((66 * c.red + 129 * c.green + 25 * c.blue + 128) >> 8) + 16);
}

UCHAR BlueDifference(const Rgb& c) {
    return static_cast<UCHAR>(((-38 * c.red - 74 * c.green + 112 * c.blue + 128) >> 8) + 128);
}

UCHAR RedDifference(const Rgb& c) {
    return static_cast<UCHAR>(((112 * c.red - 94 * c.green - 18 * c.blue + 128) >> 8) + 128);
}

const UCHAR* SourceRow(const YuvImage* image, ULONG y) {
    return image->source + SIZE_T{image->sourcePitch} * y;
}

UCHAR* TargetRow(const YuvImage* image, ULONG row) {
    return image->target + SIZE_T{image->targetPitch} * row;
}

}  // namespace

void ConvertYuy2Reference(const YuvImage* image) {
    for (ULONG y = 0; y < image->height; ++y) {
        const UCHAR* source = SourceRow(image, y);
        UCHAR* target = TargetRow(image, y);
        for (ULONG x = 0; x + 1 < image->width; x += 2) {
            const Rgb pair[2] = {PixelAt(source, x), PixelAt(source, x + 1)};
            const Rgb mean = Mean(pair, 2);
            UCHAR* group = target + SIZE_T{x} * 2;
            group[0] = Luma(pair[0]);
            group[1] = BlueDifference(mean);
            group[2] = Luma(pair[1]);
            group[3] = RedDifference(mean);
        }
    }
}

void ConvertNv12Reference(const YuvImage* image) {
    const ULONG height = image->height & ~1u;
    const ULONG width = image->width & ~1u;
    for (ULONG y = 0; y < height; ++y) {
        const UCHAR* source = SourceRow(image, y);
        UCHAR* luma = TargetRow(image, y);
        for (ULONG x = 0; x < width; ++x) {
            luma[x] = Luma(PixelAt(source, x));
        }
    }
    for (ULONG y = 0; y < height; y += 2) {
        const UCHAR* top = SourceRow(image, y);
        const UCHAR* bottom = SourceRow(image, y + 1);
        UCHAR* chroma = TargetRow(image, height + y / 2);
        for (ULONG x = 0; x < width; x += 2) {
            const Rgb group[4] = {PixelAt(top, x), PixelAt(top, x + 1), PixelAt(bottom, x),
                                  PixelAt(bottom, x + 1)};
            const Rgb mean = Mean(group, 4);
            chroma[x] = BlueDifference(mean);
            chroma[x + 1] = RedDifference(mean);
        }
    }
}
