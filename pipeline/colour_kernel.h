// DemosaicColour for any vector operation set: interpolation, white balance
// and the colour matrix, one 16-pixel block per 128-bit lane per step. The
// matrix runs on 16-bit accumulators when this frame's matrix cannot take
// them past 65535, and on exact 32-bit ones otherwise; the choice is made
// once per frame, and so is each entry's sign, which becomes a lane mask
// rather than a branch. A row runs whole vectors of O while they fit and
// finishes in 16-pixel SSE2-width blocks. Internal to pipeline/: included
// once by each kernel file, after its target region opens; the file includes
// kernels.h and kernel_parts.h before it.
#pragma once

#include "pipeline/bayer_block.h"

namespace {

// The 16-bit path's constants, [input: red, green, blue][output: red, green,
// blue]: every magnitude, and all ones where the entry is positive; per
// output the start of each accumulator and the sum of both starts.
// The exact path's: each magnitude in the accumulator of its sign, 0 in the
// other, and per output the offsets of each sign as 32-bit lanes. Only one
// path's constants are built, which keeps the frame within a kernel stack.
template <class O, bool wide>
struct ColourConstants;

template <class O>
struct ColourConstants<O, false> {
    using V = typename O::V;
    V gainRed;
    V gainGreen;
    V gainBlue;
    V magnitude[3][3];
    V positiveMask[3][3];
    V positiveStart[3];
    V negativeStart[3];
    V bothStarts[3];
};

template <class O>
struct ColourConstants<O, true> {
    using V = typename O::V;
    V gainRed;
    V gainGreen;
    V gainBlue;
    V positive[3][3];
    V negative[3][3];
    V positiveOffset[3];
    V negativeOffset[3];
};

template <class O>
VECTOR_INLINE typename O::V Broadcast16(ULONG value) {
    return O::Set16(static_cast<short>(value));
}

template <class O, bool wide>
ColourConstants<O, wide> PrepareColourConstants(const MatrixParts& parts,
                                                const KernelFrame* frame) {
    ColourConstants<O, wide> k;
    k.gainRed = O::Set16(GainMultiplier(frame->gainRed));
    k.gainGreen = O::Set16(GainMultiplier(frame->gainGreen));
    k.gainBlue = O::Set16(GainMultiplier(frame->gainBlue));
    for (int column = 0; column < 3; ++column) {
        for (int row = 0; row < 3; ++row) {
            if constexpr (wide) {
                k.positive[row][column] = Broadcast16<O>(parts.positive[row][column]);
                k.negative[row][column] = Broadcast16<O>(parts.negative[row][column]);
            } else {
                k.magnitude[row][column] = Broadcast16<O>(parts.magnitude[row][column]);
                k.positiveMask[row][column] = O::Set16(parts.isPositive[row][column] ? -1 : 0);
            }
        }
        if constexpr (wide) {
            k.positiveOffset[column] = O::Set32(static_cast<int>(parts.positiveOffset[column]));
            k.negativeOffset[column] = O::Set32(static_cast<int>(parts.negativeOffset[column]));
        } else {
            k.positiveStart[column] = Broadcast16<O>(parts.positiveStart[column]);
            k.negativeStart[column] = Broadcast16<O>(parts.negativeStart[column]);
            k.bothStarts[column] =
                Broadcast16<O>(parts.positiveStart[column] + parts.negativeStart[column]);
        }
    }
    return k;
}

// Balanced inputs of one column parity, 0..255 in 16-bit lanes (plus 0xFF00 on
// the 16-bit path).
template <class O>
struct Inputs {
    typename O::V channel[3];
};

// Output `column` on 16-bit lanes, before the limit to 0..255. Exact while
// both accumulators stay at or below 65535: modulo 2^16 the negative one is
// both starts plus every product less the positive one.
template <class O>
VECTOR_INLINE typename O::V MatrixColumnNarrow(const Inputs<O>& in,
                                               const ColourConstants<O, false>& k, int column) {
    using V = typename O::V;
    const V p0 = O::MulLow16(in.channel[0], k.magnitude[0][column]);
    const V p1 = O::MulLow16(in.channel[1], k.magnitude[1][column]);
    const V p2 = O::MulLow16(in.channel[2], k.magnitude[2][column]);
    const V positive =
        O::Add16(O::Add16(O::Add16(k.positiveStart[column], O::And(p0, k.positiveMask[0][column])),
                          O::And(p1, k.positiveMask[1][column])),
                 O::And(p2, k.positiveMask[2][column]));
    const V all = O::Add16(O::Add16(k.bothStarts[column], p0), O::Add16(p1, p2));
    const V negative = O::Sub16(all, positive);
    return O::Sub16(O::template ShiftRight16<6>(positive), O::template ShiftRight16<6>(negative));
}

// As MatrixColumnNarrow for a matrix whose only positive entry in each
// column is the diagonal one (a colour correction's usual signs): the sign
// of every product is known, so no masks are needed.
template <class O>
VECTOR_INLINE typename O::V MatrixColumnUsualSigns(const Inputs<O>& in,
                                                   const ColourConstants<O, false>& k, int column) {
    using V = typename O::V;
    const int first = column == 0 ? 1 : 0;
    const int second = column == 2 ? 1 : 2;
    const V positive = O::Add16(k.positiveStart[column],
                                O::MulLow16(in.channel[column], k.magnitude[column][column]));
    const V negative =
        O::Add16(O::Add16(k.negativeStart[column],
                          O::MulLow16(in.channel[first], k.magnitude[first][column])),
                 O::MulLow16(in.channel[second], k.magnitude[second][column]));
    return O::Sub16(O::template ShiftRight16<6>(positive), O::template ShiftRight16<6>(negative));
}

// value x coefficient as 32-bit lanes, for the low (`high` false) or high
// four 16-bit lanes of each 128-bit lane.
template <class O, bool high>
VECTOR_INLINE typename O::V WideProduct(typename O::V value, typename O::V coefficient) {
    const typename O::V low16 = O::MulLow16(value, coefficient);
    const typename O::V high16 = O::MulHigh16(value, coefficient);
    return high ? O::UnpackHigh16(low16, high16) : O::UnpackLow16(low16, high16);
}

// One accumulator on 32-bit lanes, divided by 64.
template <class O, bool high>
VECTOR_INLINE typename O::V AccumulateWide(const Inputs<O>& in,
                                           const typename O::V coefficients[3][3],
                                           typename O::V offset, int column) {
    typename O::V sum =
        O::Add32(offset, WideProduct<O, high>(in.channel[0], coefficients[0][column]));
    sum = O::Add32(sum, WideProduct<O, high>(in.channel[1], coefficients[1][column]));
    sum = O::Add32(sum, WideProduct<O, high>(in.channel[2], coefficients[2][column]));
    return O::template ShiftRight32<6>(sum);
}

template <class O, bool high>
VECTOR_INLINE typename O::V DifferenceWide(const Inputs<O>& in, const ColourConstants<O, true>& k,
                                           int column) {
    return O::Sub32(AccumulateWide<O, high>(in, k.positive, k.positiveOffset[column], column),
                    AccumulateWide<O, high>(in, k.negative, k.negativeOffset[column], column));
}

// The frame's matrix path: 16-bit accumulators with the signs as masks or
// with the usual signs, or exact 32-bit ones.
enum class MatrixPath { SixteenBit, UsualSigns, Exact };

template <MatrixPath path>
constexpr bool kWide = path == MatrixPath::Exact;

// One output column on the frame's path; the exact path saturates to 16 bits.
template <class O, MatrixPath path>
VECTOR_INLINE typename O::V MatrixColumn(const Inputs<O>& in,
                                         const ColourConstants<O, kWide<path>>& k, int column) {
    if constexpr (path == MatrixPath::Exact) {
        return O::PackSigned32(DifferenceWide<O, false>(in, k, column),
                               DifferenceWide<O, true>(in, k, column));
    } else if constexpr (path == MatrixPath::UsualSigns) {
        return MatrixColumnUsualSigns<O>(in, k, column);
    } else {
        return MatrixColumnNarrow<O>(in, k, column);
    }
}

// The 16-bit path takes biased inputs (see MatrixParts), the exact path plain ones.
template <class O, bool wide>
VECTOR_INLINE typename O::V BalanceFor(typename O::V channelHigh, typename O::V multiplier) {
    return wide ? Balance<O>(channelHigh, multiplier) : BalanceBiased<O>(channelHigh, multiplier);
}

template <class O, RowKind kind, MatrixPath path>
VECTOR_INLINE PixelQuarters<O> ColourPixels(const UCHAR* centre, ptrdiff_t stride,
                                            const ColourConstants<O, kWide<path>>& k) {
    const BlockColours<O> colours = InterpolateBlock<O, kind>(centre, stride);
    const Inputs<O> even = {{BalanceFor<O, kWide<path>>(EvenHigh<O>(colours.red), k.gainRed),
                             BalanceFor<O, kWide<path>>(EvenHigh<O>(colours.green), k.gainGreen),
                             BalanceFor<O, kWide<path>>(EvenHigh<O>(colours.blue), k.gainBlue)}};
    const Inputs<O> odd = {{BalanceFor<O, kWide<path>>(OddHigh<O>(colours.red), k.gainRed),
                            BalanceFor<O, kWide<path>>(OddHigh<O>(colours.green), k.gainGreen),
                            BalanceFor<O, kWide<path>>(OddHigh<O>(colours.blue), k.gainBlue)}};
    const typename O::V red =
        Plane<O>(MatrixColumn<O, path>(even, k, 0), MatrixColumn<O, path>(odd, k, 0));
    const typename O::V green =
        Plane<O>(MatrixColumn<O, path>(even, k, 1), MatrixColumn<O, path>(odd, k, 1));
    const typename O::V blue =
        Plane<O>(MatrixColumn<O, path>(even, k, 2), MatrixColumn<O, path>(odd, k, 2));
    return Interleave<O>(blue, green, red, O::Set8(-1));
}

template <class O, MatrixPath path>
struct ColourRowConstants {
    ColourConstants<O, kWide<path>> vector;
    ColourConstants<Sse2, kWide<path>> tail;
    bool stream;
};

template <class O, RowKind kind, MatrixPath path>
void ColourRow(const UCHAR* source, ptrdiff_t stride, ULONG width, UCHAR* target,
               const ColourRowConstants<O, path>& k) {
    constexpr ULONG step = 16 * O::kBlocks;
    ULONG x = 0;
    for (; x + step <= width; x += step) {
        StorePixels<O>(target + 4 * x, ColourPixels<O, kind, path>(source + x, stride, k.vector),
                       k.stream);
    }
    for (; x < width; x += 16) {
        const PixelQuarters<Sse2> pixels =
            ColourPixels<Sse2, kind, path>(source + x, stride, k.tail);
        if (width - x >= 16) {
            StorePixels<Sse2>(target + 4 * x, pixels, k.stream);
        } else {
            StoreFirstPixels(target + 4 * x, width - x, pixels);
        }
    }
}

template <class O, MatrixPath path>
using ColourRowConverter = void (*)(const UCHAR*, ptrdiff_t, ULONG, UCHAR*,
                                    const ColourRowConstants<O, path>&);

template <class O, MatrixPath path>
ColourRowConverter<O, path> ColourRowFor(RowKind kind) {
    switch (kind) {
        case kGreenRed:
            return ColourRow<O, kGreenRed, path>;
        case kBlueGreen:
            return ColourRow<O, kBlueGreen, path>;
        case kRedGreen:
            return ColourRow<O, kRedGreen, path>;
        default:
            return ColourRow<O, kGreenBlue, path>;
    }
}

template <class O, MatrixPath path>
void ColourRows(const KernelFrame* frame, LONG bayerPhase, const MatrixParts& parts) {
    const ColourRowConstants<O, path> constants = {
        PrepareColourConstants<O, kWide<path>>(parts, frame),
        PrepareColourConstants<Sse2, kWide<path>>(parts, frame), frame->streamOutput != 0};
    const ColourRowConverter<O, path> rows[2] = {ColourRowFor<O, path>(EvenRowKind(bayerPhase)),
                                                 ColourRowFor<O, path>(OddRowKind(bayerPhase))};
    const ptrdiff_t stride = frame->stride;
    const SIZE_T rowBytes = static_cast<SIZE_T>(frame->width) * 4;
    for (ULONG y = 0; y < frame->height; ++y) {
        rows[y & 1](frame->firstPixel + static_cast<ptrdiff_t>(y) * stride, stride, frame->width,
                    frame->output + y * rowBytes, constants);
    }
    EndStreamedOutput(frame);
}

template <class O>
AccumulatorPath DemosaicColourWith(const KernelFrame* frame, LONG bayerPhase) {
    const MatrixParts parts = SplitMatrix(frame);
    if (parts.wide) {
        ColourRows<O, MatrixPath::Exact>(frame, bayerPhase, parts);
        return AccumulatorPath::Exact;
    }
    if (parts.usualSigns) {
        ColourRows<O, MatrixPath::UsualSigns>(frame, bayerPhase, parts);
    } else {
        ColourRows<O, MatrixPath::SixteenBit>(frame, bayerPhase, parts);
    }
    return AccumulatorPath::SixteenBit;
}

}  // namespace
