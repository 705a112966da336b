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
    // The 16-bit path, [input: red, green, blue][output: red, green, blue]:
    // every magnitude; per output the rows whose entries are flagged positive
    // (bit r for row r) and the starting values of both accumulators.
    __m128i magnitude[3][3];
    int positiveRows[3];
    __m128i positiveStart[3];
    __m128i negativeStart[3];
    // The exact path: each magnitude in the accumulator of its sign, 0 in the
    // other, and per output the offsets of each sign as 32-bit lanes.
    __m128i positive[3][3];
    __m128i negative[3][3];
    __m128i positiveOffset[3];
    __m128i negativeOffset[3];
};

ULONG Magnitude(LONG entry) {
    const ULONG bits = static_cast<ULONG>(entry);
    return (entry < 0 ? 0u - bits : bits) & 0xFFFF;
}

ULONG SignedPart(const ImagePipeline* pipeline, int index, bool positive) {
    const bool isPositive = pipeline->matrixPositive[index] != 0;
    return isPositive == positive ? Magnitude(pipeline->frameMatrix[index]) : 0;
}

__m128i Broadcast16(ULONG value) {
    return _mm_set1_epi16(static_cast<short>(value));
}

// The 16-bit path's inputs carry a bias of 0xFF00, that is -256 modulo 2^16,
// which adds -256 x magnitude to each product: its accumulators start that
// much higher, on top of the offset.
void PrepareNarrowColumn(const ImagePipeline* pipeline, int column, ColourConstants* k) {
    ULONG positiveStart = SignedPart(pipeline, 12 + column, true);
    ULONG negativeStart = SignedPart(pipeline, 12 + column, false);
    k->positiveRows[column] = 0;
    for (int row = 0; row < 3; ++row) {
        const int index = 4 * row + column;
        k->magnitude[row][column] = Broadcast16(Magnitude(pipeline->frameMatrix[index]));
        k->positiveRows[column] |= (pipeline->matrixPositive[index] != 0 ? 1 : 0) << row;
        positiveStart += 256 * SignedPart(pipeline, index, true);
        negativeStart += 256 * SignedPart(pipeline, index, false);
    }
    k->positiveStart[column] = Broadcast16(positiveStart);
    k->negativeStart[column] = Broadcast16(negativeStart);
}

void PrepareWideColumn(const ImagePipeline* pipeline, int column, ColourConstants* k) {
    for (int row = 0; row < 3; ++row) {
        const int index = 4 * row + column;
        k->positive[row][column] = Broadcast16(SignedPart(pipeline, index, true));
        k->negative[row][column] = Broadcast16(SignedPart(pipeline, index, false));
    }
    k->positiveOffset[column] =
        _mm_set1_epi32(static_cast<int>(SignedPart(pipeline, 12 + column, true)));
    k->negativeOffset[column] =
        _mm_set1_epi32(static_cast<int>(SignedPart(pipeline, 12 + column, false)));
}

void PrepareConstants(const ImagePipeline* pipeline, ColourConstants* constants) {
    constants->gainRed = GainMultiplier(pipeline->gainRed);
    constants->gainGreen = GainMultiplier(pipeline->gainGreen);
    constants->gainBlue = GainMultiplier(pipeline->gainBlue);
    for (int column = 0; column < 3; ++column) {
        PrepareNarrowColumn(pipeline, column, constants);
        PrepareWideColumn(pipeline, column, constants);
    }
}

// Balanced inputs of one column parity, 0..255 in 16-bit lanes (plus 0xFF00 on
// the 16-bit path).
struct Inputs {
    __m128i channel[3];
};

BAYER_INLINE __m128i Add(__m128i a, __m128i b) {
    return _mm_add_epi16(a, b);
}

// Each of a column's three products joins the accumulator of its entry's
// sign; bit r of `positiveRows` is set when entry r is positive. The branch
// depends only on the frame's matrix, so it goes the same way for every block.
BAYER_INLINE void AddBySign(int positiveRows, const __m128i p[3], __m128i* positive,
                            __m128i* negative) {
    switch (positiveRows) {
        case 0:
            *negative = Add(*negative, Add(Add(p[0], p[1]), p[2]));
            break;
        case 1:
            *positive = Add(*positive, p[0]);
            *negative = Add(*negative, Add(p[1], p[2]));
            break;
        case 2:
            *positive = Add(*positive, p[1]);
            *negative = Add(*negative, Add(p[0], p[2]));
            break;
        case 3:
            *positive = Add(*positive, Add(p[0], p[1]));
            *negative = Add(*negative, p[2]);
            break;
        case 4:
            *positive = Add(*positive, p[2]);
            *negative = Add(*negative, Add(p[0], p[1]));
            break;
        case 5:
            *positive = Add(*positive, Add(p[0], p[2]));
            *negative = Add(*negative, p[1]);
            break;
        case 6:
            *positive = Add(*positive, Add(p[1], p[2]));
            *negative = Add(*negative, p[0]);
            break;
        default:
            *positive = Add(*positive, Add(Add(p[0], p[1]), p[2]));
            break;
    }
}

// Output `column` of eight pixels on 16-bit lanes, before the limit to
// 0..255. Exact while both accumulators stay at or below 65535.
BAYER_INLINE __m128i MatrixColumnNarrow(const Inputs& in, const ColourConstants& k, int column) {
    const __m128i products[3] = {_mm_mullo_epi16(in.channel[0], k.magnitude[0][column]),
                                 _mm_mullo_epi16(in.channel[1], k.magnitude[1][column]),
                                 _mm_mullo_epi16(in.channel[2], k.magnitude[2][column])};
    __m128i positive = k.positiveStart[column];
    __m128i negative = k.negativeStart[column];
    AddBySign(k.positiveRows[column], products, &positive, &negative);
    return _mm_sub_epi16(_mm_srli_epi16(positive, 6), _mm_srli_epi16(negative, 6));
}

// value x coefficient as 32-bit lanes, for lanes 0-3 (`high` false) or 4-7.
template <bool high>
BAYER_INLINE __m128i WideProduct(__m128i value, __m128i coefficient) {
    const __m128i low16 = _mm_mullo_epi16(value, coefficient);
    const __m128i high16 = _mm_mulhi_epu16(value, coefficient);
    return high ? _mm_unpackhi_epi16(low16, high16) : _mm_unpacklo_epi16(low16, high16);
}

// One accumulator on 32-bit lanes, divided by 64.
template <bool high>
BAYER_INLINE __m128i AccumulateWide(const Inputs& in, const __m128i coefficients[3][3],
                                    __m128i offset, int column) {
    __m128i sum = _mm_add_epi32(offset, WideProduct<high>(in.channel[0], coefficients[0][column]));
    sum = _mm_add_epi32(sum, WideProduct<high>(in.channel[1], coefficients[1][column]));
    sum = _mm_add_epi32(sum, WideProduct<high>(in.channel[2], coefficients[2][column]));
    return _mm_srli_epi32(sum, 6);
}

template <bool high>
BAYER_INLINE __m128i DifferenceWide(const Inputs& in, const ColourConstants& k, int column) {
    return _mm_sub_epi32(AccumulateWide<high>(in, k.positive, k.positiveOffset[column], column),
                         AccumulateWide<high>(in, k.negative, k.negativeOffset[column], column));
}

// As MatrixColumnNarrow, exact for any accumulator; saturated to 16 bits.
BAYER_INLINE __m128i MatrixColumnWide(const Inputs& in, const ColourConstants& k, int column) {
    return _mm_packs_epi32(DifferenceWide<false>(in, k, column),
                           DifferenceWide<true>(in, k, column));
}

template <bool wide>
BAYER_INLINE __m128i MatrixColumn(const Inputs& in, const ColourConstants& k, int column) {
    return wide ? MatrixColumnWide(in, k, column) : MatrixColumnNarrow(in, k, column);
}

// The 16-bit path takes biased inputs (see PrepareNarrowColumn), the exact path
// plain ones.
template <bool wide>
BAYER_INLINE __m128i BalanceFor(__m128i channelHigh, __m128i multiplier) {
    return wide ? Balance(channelHigh, multiplier) : BalanceBiased(channelHigh, multiplier);
}

template <RowKind kind, bool wide>
BAYER_INLINE void ColourBlock(const UCHAR* centre, ptrdiff_t stride, const ColourConstants& k,
                              UCHAR* target, ULONG count) {
    const BlockColours colours = InterpolateBlock<kind>(centre, stride);
    const Inputs even = {{BalanceFor<wide>(EvenHigh(colours.red), k.gainRed),
                          BalanceFor<wide>(EvenHigh(colours.green), k.gainGreen),
                          BalanceFor<wide>(EvenHigh(colours.blue), k.gainBlue)}};
    const Inputs odd = {{BalanceFor<wide>(OddHigh(colours.red), k.gainRed),
                         BalanceFor<wide>(OddHigh(colours.green), k.gainGreen),
                         BalanceFor<wide>(OddHigh(colours.blue), k.gainBlue)}};
    const __m128i red = Plane(MatrixColumn<wide>(even, k, 0), MatrixColumn<wide>(odd, k, 0));
    const __m128i green = Plane(MatrixColumn<wide>(even, k, 1), MatrixColumn<wide>(odd, k, 1));
    const __m128i blue = Plane(MatrixColumn<wide>(even, k, 2), MatrixColumn<wide>(odd, k, 2));
    StorePixels(target, count, blue, green, red, _mm_set1_epi8(-1));
}

template <RowKind kind, bool wide>
void ColourRow(const UCHAR* source, ptrdiff_t stride, ULONG width, UCHAR* target,
               const ColourConstants& k) {
    for (ULONG x = 0; x < width; x += 16) {
        const ULONG remaining = width - x;
        ColourBlock<kind, wide>(source + x, stride, k, target + 4 * x,
                                remaining < 16 ? remaining : 16);
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

AccumulatorPath DemosaicColourSse2(const ImagePipeline* pipeline, LONG bayerPhase) {
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
    return wide ? AccumulatorPath::Exact : AccumulatorPath::SixteenBit;
}
