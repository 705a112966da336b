// DemosaicMono in SSE2: interpolation and white balance as the colour kernel,
// then the luma Y = 77r/256 + 150g/256 + 29b/256, each term rounded down on
// its own, for 16 pixels per step.
#include "pipeline/bayer_sse2.h"
#include "pipeline/kernels.h"

namespace {

using namespace bayer_sse2;

struct MonoConstants {
    __m128i gainRed;
    __m128i gainGreen;
    __m128i gainBlue;
};

// weight x value / 256, exactly, as the high half of value x (weight << 8).
BAYER_INLINE __m128i LumaTerm(__m128i value, int weight) {
    return _mm_mulhi_epu16(value, _mm_set1_epi16(static_cast<short>(weight << 8)));
}

BAYER_INLINE __m128i Luma(__m128i red, __m128i green, __m128i blue) {
    return _mm_add_epi16(_mm_add_epi16(LumaTerm(red, 77), LumaTerm(green, 150)),
                         LumaTerm(blue, 29));
}

template <RowKind kind>
BAYER_INLINE void MonoBlock(const UCHAR* centre, ptrdiff_t stride, const MonoConstants& k,
                            UCHAR* target, ULONG count) {
    const BlockColours colours = InterpolateBlock<kind>(centre, stride);
    const __m128i even = Luma(Balance(EvenHigh(colours.red), k.gainRed),
                              Balance(EvenHigh(colours.green), k.gainGreen),
                              Balance(EvenHigh(colours.blue), k.gainBlue));
    const __m128i odd =
        Luma(Balance(OddHigh(colours.red), k.gainRed), Balance(OddHigh(colours.green), k.gainGreen),
             Balance(OddHigh(colours.blue), k.gainBlue));
    const __m128i luma = Plane(even, odd);
    StorePixels(target, count, luma, luma, luma, _mm_set1_epi8(-1));
}

template <RowKind kind>
void MonoRow(const UCHAR* source, ptrdiff_t stride, ULONG width, UCHAR* target,
             const MonoConstants& k) {
    for (ULONG x = 0; x < width; x += 16) {
        const ULONG remaining = width - x;
        MonoBlock<kind>(source + x, stride, k, target + 4 * x, remaining < 16 ? remaining : 16);
    }
}

using RowConverter = void (*)(const UCHAR*, ptrdiff_t, ULONG, UCHAR*, const MonoConstants&);

RowConverter RowConverterFor(RowKind kind) {
    switch (kind) {
        case kGreenRed:
            return MonoRow<kGreenRed>;
        case kBlueGreen:
            return MonoRow<kBlueGreen>;
        case kRedGreen:
            return MonoRow<kRedGreen>;
        default:
            return MonoRow<kGreenBlue>;
    }
}

}  // namespace

void DemosaicMonoSse2(const ImagePipeline* pipeline, LONG bayerPhase) {
    const MonoConstants constants = {GainMultiplier(pipeline->gainRed),
                                     GainMultiplier(pipeline->gainGreen),
                                     GainMultiplier(pipeline->gainBlue)};
    const RowConverter rows[2] = {RowConverterFor(EvenRowKind(bayerPhase)),
                                  RowConverterFor(OddRowKind(bayerPhase))};
    const ptrdiff_t stride = pipeline->stride;
    const SIZE_T rowBytes = static_cast<SIZE_T>(pipeline->width) * 4;
    for (ULONG y = 0; y < pipeline->height; ++y) {
        rows[y & 1](pipeline->firstPixel + static_cast<ptrdiff_t>(y) * stride, stride,
                    pipeline->width, pipeline->output + y * rowBytes, constants);
    }
}
