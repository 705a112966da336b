// The scalar references of the colour, grey and white-balance kernels: the
// arithmetic written out pixel by pixel. They define the results; the SSE2
// kernels must store the same bytes. Not used on the streaming path.
#include <cstddef>
#include <cstdint>

#include "pipeline/kernels.h"

namespace {

// Colours of window rows 0 and 1, by Bayer phase; phases above 2 act as 3.
const char kLayouts[4][2][3] = {{"GR", "BG"}, {"BG", "GR"}, {"RG", "GB"}, {"GB", "RG"}};

struct Site {
    char colour;  // 'R', 'G' or 'B': the colour the sensor sampled here
    bool redRow;  // the row holds red sites (else blue)
};

Site SiteAt(LONG bayerPhase, ULONG x, ULONG y) {
    const int variant = (bayerPhase >= 0 && bayerPhase <= 2) ? bayerPhase : 3;
    const char* row = kLayouts[variant][y & 1];
    return {row[x & 1], row[0] == 'R' || row[1] == 'R'};
}

struct Filter {
    int weights[5][5];  // [dy + 2][dx + 2]
    int shift;          // divisor 1 << shift
};

// Green at a red or blue site.
const Filter kFilterA = {
    {{0, 0, -1, 0, 0}, {0, 0, 2, 0, 0}, {-1, 2, 4, 2, -1}, {0, 0, 2, 0, 0}, {0, 0, -1, 0, 0}}, 3};
// At a green site, the colour left and right of it.
const Filter kFilterB = {
    {{0, 0, 1, 0, 0}, {0, -2, 0, -2, 0}, {-2, 8, 10, 8, -2}, {0, -2, 0, -2, 0}, {0, 0, 1, 0, 0}},
    4};
// At a green site, the colour above and below it.
const Filter kFilterC = {
    {{0, 0, -2, 0, 0}, {0, -2, 8, -2, 0}, {1, 0, 10, 0, 1}, {0, -2, 8, -2, 0}, {0, 0, -2, 0, 0}},
    4};
// Red at a blue site, blue at a red site.
const Filter kFilterD = {
    {{0, 0, -3, 0, 0}, {0, 4, 0, 4, 0}, {-3, 0, 12, 0, -3}, {0, 4, 0, 4, 0}, {0, 0, -3, 0, 0}}, 4};

int ApplyFilter(const Filter& filter, const UCHAR* centre, LONG stride) {
    int sum = 0;
    for (int dy = -2; dy <= 2; ++dy) {
        for (int dx = -2; dx <= 2; ++dx) {
            sum += filter.weights[dy + 2][dx + 2] * centre[dy * stride + dx];
        }
    }
    if (sum <= 0) {
        return 0;
    }
    const int value = (sum + (1 << (filter.shift - 1))) >> filter.shift;
    return value > 255 ? 255 : value;
}

struct Rgb {
    int red;
    int green;
    int blue;
};

Rgb Interpolate(const KernelFrame* frame, LONG bayerPhase, ULONG x, ULONG y) {
    const LONG stride = frame->stride;
    const UCHAR* centre = frame->firstPixel + static_cast<ptrdiff_t>(y) * stride + x;
    const Site site = SiteAt(bayerPhase, x, y);
    const int own = *centre;
    switch (site.colour) {
        case 'R':
            return {own, ApplyFilter(kFilterA, centre, stride),
                    ApplyFilter(kFilterD, centre, stride)};
        case 'B':
            return {ApplyFilter(kFilterD, centre, stride), ApplyFilter(kFilterA, centre, stride),
                    own};
        default:
            if (site.redRow) {
                return {ApplyFilter(kFilterB, centre, stride), own,
                        ApplyFilter(kFilterC, centre, stride)};
            }
            return {ApplyFilter(kFilterC, centre, stride), own,
                    ApplyFilter(kFilterB, centre, stride)};
    }
}

// min(255, c x g / 128) with the low 16 bits of the gain.
int Balance(int channel, ULONG gain) {
    const uint32_t product = static_cast<uint32_t>(channel) * (gain & 0xFFFF);
    const uint32_t value = product / 128;
    return value > 255 ? 255 : static_cast<int>(value);
}

Rgb BalancedPixel(const KernelFrame* frame, LONG bayerPhase, ULONG x, ULONG y) {
    const Rgb rgb = Interpolate(frame, bayerPhase, x, y);
    return {Balance(rgb.red, frame->gainRed), Balance(rgb.green, frame->gainGreen),
            Balance(rgb.blue, frame->gainBlue)};
}

uint32_t Magnitude(LONG entry) {
    const uint32_t bits = static_cast<uint32_t>(entry);
    return (entry < 0 ? 0u - bits : bits) & 0xFFFF;
}

// Output channel `column`: positive and negative accumulators, unbounded,
// each divided by 64 on its own before the difference.
int ApplyMatrixColumn(const KernelFrame* frame, const Rgb& rgb, int column) {
    const int inputs[4] = {rgb.red, rgb.green, rgb.blue, 1};
    uint64_t positive = 0;
    uint64_t negative = 0;
    for (int row = 0; row < 4; ++row) {
        const int index = 4 * row + column;
        const uint64_t term =
            static_cast<uint64_t>(inputs[row]) * Magnitude(frame->frameMatrix[index]);
        if (frame->matrixPositive[index] != 0) {
            positive += term;
        } else {
            negative += term;
        }
    }
    const int64_t value = static_cast<int64_t>(positive / 64) - static_cast<int64_t>(negative / 64);
    if (value <= 0) {
        return 0;
    }
    return value > 255 ? 255 : static_cast<int>(value);
}

void StorePixel(const KernelFrame* frame, ULONG x, ULONG y, int blue, int green, int red) {
    UCHAR* pixel = frame->output + (static_cast<SIZE_T>(y) * frame->width + x) * 4;
    pixel[0] = static_cast<UCHAR>(blue);
    pixel[1] = static_cast<UCHAR>(green);
    pixel[2] = static_cast<UCHAR>(red);
    pixel[3] = 255;
}

// Truncated toward zero after limiting, so no value outside the 32-bit range
// is converted.
LONG LimitedGain(double gain) {
    return static_cast<LONG>(gain > 65535.0 ? 65535.0 : gain);
}

}  // namespace

void DemosaicColourReference(const KernelFrame* frame, LONG bayerPhase) {
    for (ULONG y = 0; y < frame->height; ++y) {
        for (ULONG x = 0; x < frame->width; ++x) {
            const Rgb rgb = BalancedPixel(frame, bayerPhase, x, y);
            StorePixel(frame, x, y, ApplyMatrixColumn(frame, rgb, 2),
                       ApplyMatrixColumn(frame, rgb, 1), ApplyMatrixColumn(frame, rgb, 0));
        }
    }
}

void DemosaicMonoReference(const KernelFrame* frame, LONG bayerPhase) {
    for (ULONG y = 0; y < frame->height; ++y) {
        for (ULONG x = 0; x < frame->width; ++x) {
            const Rgb rgb = BalancedPixel(frame, bayerPhase, x, y);
            const int luma = 77 * rgb.red / 256 + 150 * rgb.green / 256 + 29 * rgb.blue / 256;
            StorePixel(frame, x, y, luma, luma, luma);
        }
    }
}

bool EstimateWhiteBalanceReference(const KernelFrame* frame, LONG bayerPhase, LONG* red,
                                   LONG* green, LONG* blue) {
    uint32_t sumRed = 0;
    uint32_t sumGreen = 0;
    uint32_t sumBlue = 0;
    for (ULONG y = 0; y < frame->height; ++y) {
        for (ULONG x = 0; x < frame->width; ++x) {
            const Rgb rgb = Interpolate(frame, bayerPhase, x, y);
            sumRed += static_cast<uint32_t>(rgb.red);
            sumGreen += static_cast<uint32_t>(rgb.green);
            sumBlue += static_cast<uint32_t>(rgb.blue);
        }
    }
    if (sumRed == 0 || sumGreen == 0 || sumBlue == 0) {
        return false;
    }
    const double total = static_cast<double>(sumGreen) + sumRed + sumBlue;
    const double greenShare = total / sumGreen / 3.0;
    *red = LimitedGain(total / sumRed / 3.0 * 128.0 / greenShare);
    *green = 128;
    *blue = LimitedGain(total / sumBlue / 3.0 * 128.0 / greenShare);
    return true;
}
