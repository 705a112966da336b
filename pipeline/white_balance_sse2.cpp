// EstimateWhiteBalance in SSE2: the colour kernel's interpolation for 16
// pixels per step, each channel's bytes summed with a sum of absolute
// differences against zero; then the gains from the three totals.
#include <cstdint>

#include "pipeline/bayer_sse2.h"
#include "pipeline/kernels.h"

namespace {

using namespace bayer_sse2;

struct ChannelSums {
    __m128i red;  // two 64-bit partial sums each
    __m128i green;
    __m128i blue;
};

BAYER_INLINE void AddBlock(const BlockColours& colours, __m128i keep, ChannelSums* sums) {
    const __m128i zero = _mm_setzero_si128();
    sums->red = _mm_add_epi64(sums->red, _mm_sad_epu8(_mm_and_si128(colours.red, keep), zero));
    sums->green =
        _mm_add_epi64(sums->green, _mm_sad_epu8(_mm_and_si128(colours.green, keep), zero));
    sums->blue = _mm_add_epi64(sums->blue, _mm_sad_epu8(_mm_and_si128(colours.blue, keep), zero));
}

template <RowKind kind>
void SumRow(const UCHAR* source, ptrdiff_t stride, ULONG width, __m128i lastKeep,
            ChannelSums* sums) {
    const __m128i all = _mm_set1_epi8(-1);
    ULONG x = 0;
    for (; x + 16 <= width; x += 16) {
        AddBlock(InterpolateBlock<kind>(source + x, stride), all, sums);
    }
    if (x < width) {
        AddBlock(InterpolateBlock<kind>(source + x, stride), lastKeep, sums);
    }
}

using RowSummer = void (*)(const UCHAR*, ptrdiff_t, ULONG, __m128i, ChannelSums*);

RowSummer RowSummerFor(RowKind kind) {
    switch (kind) {
        case kGreenRed:
            return SumRow<kGreenRed>;
        case kBlueGreen:
            return SumRow<kBlueGreen>;
        case kRedGreen:
            return SumRow<kRedGreen>;
        default:
            return SumRow<kGreenBlue>;
    }
}

// Byte mask over the plane layout (even columns in bytes 0-7, odd columns in
// 8-15) keeping the first `count` pixels of a block.
__m128i KeepFirst(ULONG count) {
    alignas(16) UCHAR keep[16];
    for (ULONG lane = 0; lane < 8; ++lane) {
        keep[lane] = 2 * lane < count ? 0xFF : 0;
        keep[8 + lane] = 2 * lane + 1 < count ? 0xFF : 0;
    }
    return _mm_load_si128(reinterpret_cast<const __m128i*>(keep));
}

uint32_t Total(__m128i sums) {
    alignas(16) uint64_t halves[2];
    _mm_store_si128(reinterpret_cast<__m128i*>(halves), sums);
    return static_cast<uint32_t>(halves[0] + halves[1]);
}

// Limited to 65535 so a dark channel cannot wrap through the low 16 bits the
// kernels use, and so no out-of-range double is converted.
LONG GainFrom(double gain) {
    return static_cast<LONG>(gain < 65535.0 ? gain : 65535.0);
}

}  // namespace

bool EstimateWhiteBalanceSse2(const ImagePipeline* pipeline, LONG bayerPhase, LONG* red,
                              LONG* green, LONG* blue) {
    const RowSummer rows[2] = {RowSummerFor(EvenRowKind(bayerPhase)),
                               RowSummerFor(OddRowKind(bayerPhase))};
    const __m128i lastKeep = KeepFirst(pipeline->width % 16);
    const ptrdiff_t stride = pipeline->stride;
    ChannelSums sums = {_mm_setzero_si128(), _mm_setzero_si128(), _mm_setzero_si128()};
    for (ULONG y = 0; y < pipeline->height; ++y) {
        rows[y & 1](pipeline->firstPixel + static_cast<ptrdiff_t>(y) * stride, stride,
                    pipeline->width, lastKeep, &sums);
    }
    const uint32_t sumRed = Total(sums.red);
    const uint32_t sumGreen = Total(sums.green);
    const uint32_t sumBlue = Total(sums.blue);
    if (sumRed == 0 || sumGreen == 0 || sumBlue == 0) {
        return false;
    }
    const double total = static_cast<double>(sumGreen) + sumRed + sumBlue;
    const double greenShare = total / sumGreen / 3.0;
    *red = GainFrom(total / sumRed / 3.0 * 128.0 / greenShare);
    *green = 128;
    *blue = GainFrom(total / sumBlue / 3.0 * 128.0 / greenShare);
    return true;
}
