// DemosaicColour in SSE2: interpolation, white balance and the colour matrix
// for 16 pixels per step. The matrix runs on 16-bit accumulators when this
// frame's matrix cannot take them past 65535, and on exact 32-bit ones
// otherwise; the choice is made once per frame.
#include "pipeline/bayer_sse2.h"
#include "pipeline/kernels.h"

namespace {

using namespace bayer_sse2;

struct ColourConstants {
    __m128i gainRed;
    __m128i gainGreen;
    __m128i gainBlue;
    // [input: red, green, blue][output: red, green, blue]: the entry's
    // magnitude in the accumulator of its sign, 0 in the other.
    __m128i positive[3][3];
    __m128i negative[3][3];
    // Offset magnitudes per output, as 16-bit and as 32-bit lanes.
    __m128i positiveOffset[3];
    __m128i negativeOffset[3];
    __m128i positiveOffsetWide[3];
    __m128i negativeOffsetWide[3];
};

ULONG Magnitude(LONG entry) {
    const ULONG bits = static_cast<ULONG>(entry);
    return (entry < 0 ? 0u - bits : bits) & 0xFFFF;
}

ULONG SignedPart(const ImagePipeline* pipeline, int index, bool positive) {
    const bool isPositive = pipeline->matrixPositive[index] != 0;
    return isPositive == positive ? Magnitude(pipeline->frameMatrix[index]) : 0;
}

void PrepareConstants(const ImagePipeline* pipeline, ColourConstants* constants) {
    constants->gainRed = GainMultiplier(pipeline->gainRed);
    constants->gainGreen = GainMultiplier(pipeline->gainGreen);
    constants->gainBlue = GainMultiplier(pipeline->gainBlue);
    for (int column = 0; column < 3; ++column) {
        for (int row = 0; row < 3; ++row) {
            const int index = 4 * row + column;
            constants->positive[row][column] =
                _mm_set1_epi16(static_cast<short>(SignedPart(pipeline, index, true)));
            constants->negative[row][column] =
                _mm_set1_epi16(static_cast<short>(SignedPart(pipeline, index, false)));
        }
        const ULONG positiveOffset = SignedPart(pipeline, 12 + column, true);
        const ULONG negativeOffset = SignedPart(pipeline, 12 + column, false);
        constants->positiveOffset[column] = _mm_set1_epi16(static_cast<short>(positiveOffset));
        constants->negativeOffset[column] = _mm_set1_epi16(static_cast<short>(negativeOffset));
        constants->positiveOffsetWide[column] = _mm_set1_epi32(static_cast<int>(positiveOffset));
        constants->negativeOffsetWide[column] = _mm_set1_epi32(static_cast<int>(negativeOffset));
    }
}

// Balanced inputs of one column parity, 0..255 in 16-bit lanes.
struct Inputs {
    __m128i channel[3];
};

// One accumulator on 16-bit lanes: exact while it stays at or below 65535.
__m128i AccumulateNarrow(const Inputs& in, const __m128i coefficients[3][3], __m128i offset,
                         int column) {
    __m128i sum = offset;
    for (int row = 0; row < 3; ++row) {
        sum = _mm_add_epi16(sum, _mm_mullo_epi16(in.channel[row], coefficients[row][column]));
    }
    return _mm_srli_epi16(sum, 6);
}

// Output `column` of eight pixels, before the limit to 0..255.
__m128i MatrixColumnNarrow(const Inputs& in, const ColourConstants& k, int column) {
    return _mm_sub_epi16(AccumulateNarrow(in, k.positive, k.positiveOffset[column], column),
                         AccumulateNarrow(in, k.negative, k.negativeOffset[column], column));
}

// One accumulator on 32-bit lanes, for lanes 0-3 (`high` false) or 4-7.
template <bool high>
__m128i AccumulateWide(const Inputs& in, const __m128i coefficients[3][3], __m128i offset,
                       int column) {
    __m128i sum = offset;
    for (int row = 0; row < 3; ++row) {
        const __m128i low16 = _mm_mullo_epi16(in.channel[row], coefficients[row][column]);
        const __m128i high16 = _mm_mulhi_epu16(in.channel[row], coefficients[row][column]);
        const __m128i product =
            high ? _mm_unpackhi_epi16(low16, high16) : _mm_unpacklo_epi16(low16, high16);
        sum = _mm_add_epi32(sum, product);
    }
    return _mm_srli_epi32(sum, 6);
}

template <bool high>
__m128i DifferenceWide(const Inputs& in, const ColourConstants& k, int column) {
    return _mm_sub_epi32(
        AccumulateWide<high>(in, k.positive, k.positiveOffsetWide[column], column),
        AccumulateWide<high>(in, k.negative, k.negativeOffsetWide[column], column));
}

// As MatrixColumnNarrow, exact for any accumulator; saturated to 16 bits.
__m128i MatrixColumnWide(const Inputs& in, const ColourConstants& k, int column) {
    return _mm_packs_epi32(DifferenceWide<false>(in, k, column),
                           DifferenceWide<true>(in, k, column));
}

template <bool wide>
__m128i MatrixColumn(const Inputs& in, const ColourConstants& k, int column) {
    return wide ? MatrixColumnWide(in, k, column) : MatrixColumnNarrow(in, k, column);
}

template <RowKind kind, bool wide>
void ColourBlock(const UCHAR* centre, ptrdiff_t stride, const ColourConstants& k,
                 __m128i pixels[4]) {
    const BlockColours colours = InterpolateBlock<kind>(centre, stride);
    const Inputs even = {{Balance(EvenHigh(colours.red), k.gainRed),
                          Balance(EvenHigh(colours.green), k.gainGreen),
                          Balance(EvenHigh(colours.blue), k.gainBlue)}};
    const Inputs odd = {{Balance(OddHigh(colours.red), k.gainRed),
                         Balance(OddHigh(colours.green), k.gainGreen),
                         Balance(OddHigh(colours.blue), k.gainBlue)}};
    const __m128i red = Plane(MatrixColumn<wide>(even, k, 0), MatrixColumn<wide>(odd, k, 0));
    const __m128i green = Plane(MatrixColumn<wide>(even, k, 1), MatrixColumn<wide>(odd, k, 1));
    const __m128i blue = Plane(MatrixColumn<wide>(even, k, 2), MatrixColumn<wide>(odd, k, 2));
    InterleavePixels(blue, green, red, _mm_set1_epi8(-1), pixels);
}

template <RowKind kind, bool wide>
void ColourRow(const UCHAR* source, ptrdiff_t stride, ULONG width, UCHAR* target,
               const ColourConstants& k) {
    for (ULONG x = 0; x < width; x += 16) {
        __m128i pixels[4];
        ColourBlock<kind, wide>(source + x, stride, k, pixels);
        const ULONG remaining = width - x;
        StoreBlock(target + 4 * x, pixels, remaining < 16 ? remaining : 16);
    }
}

using RowConverter = void (*)(const UCHAR*, ptrdiff_t, ULONG, UCHAR*, const ColourConstants&);

template <bool wide>
RowConverter RowConverterFor(RowKind kind) {
    switch (kind) {
        case kGreenRed:
            return ColourRow<kGreenRed, wide>;
        case kBlueGreen:
            return ColourRow<kBlueGreen, wide>;
        case kRedGreen:
            return ColourRow<kRedGreen, wide>;
        default:
            return ColourRow<kGreenBlue, wide>;
    }
}

RowConverter RowConverterFor(RowKind kind, bool wide) {
    return wide ? RowConverterFor<true>(kind) : RowConverterFor<false>(kind);
}

// 255 times the magnitudes of one sign in a column, plus that column's offset
// of the same sign: the largest value its accumulator reaches.
ULONG LargestAccumulator(const ImagePipeline* pipeline, int column, bool positive) {
    ULONG sum = SignedPart(pipeline, 12 + column, positive);
    for (int row = 0; row < 3; ++row) {
        sum += 255 * SignedPart(pipeline, 4 * row + column, positive);
    }
    return sum;
}

}  // namespace

bool MatrixFitsSixteenBits(const ImagePipeline* pipeline) {
    for (int column = 0; column < 3; ++column) {
        if (LargestAccumulator(pipeline, column, true) > 0xFFFF ||
            LargestAccumulator(pipeline, column, false) > 0xFFFF) {
            return false;
        }
    }
    return true;
}

void DemosaicColourSse2(const ImagePipeline* pipeline, LONG bayerPhase) {
    ColourConstants constants;
    PrepareConstants(pipeline, &constants);
    const bool wide = !MatrixFitsSixteenBits(pipeline);
    const RowConverter rows[2] = {RowConverterFor(EvenRowKind(bayerPhase), wide),
                                  RowConverterFor(OddRowKind(bayerPhase), wide)};
    const ptrdiff_t stride = pipeline->stride;
    const SIZE_T rowBytes = static_cast<SIZE_T>(pipeline->width) * 4;
    for (ULONG y = 0; y < pipeline->height; ++y) {
        rows[y & 1](pipeline->firstPixel + static_cast<ptrdiff_t>(y) * stride, stride,
                    pipeline->width, pipeline->output + y * rowBytes, constants);
    }
}
