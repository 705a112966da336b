// The interpolation shared by the colour, grey and white-balance kernels, for
// any of the vector operation sets (vector_sse2.h and the wider ones): one
// 16-pixel block of a row in each 128-bit lane, its even columns in one
// vector of 16-bit lanes and its odd columns in another, each column set
// taken from one unaligned load by masking or shifting. Internal to
// pipeline/: included once by each kernel file, after its target region
// opens.
#pragma once

#include <cstddef>

#include "pipeline/kernel_frame.h"
#include "platform/kernel.h"

namespace {

// The colours of one block per lane as byte planes: bytes 0-7 of a lane hold
// the block's even columns in order, bytes 8-15 its odd columns.
template <class O>
struct BlockColours {
    typename O::V red;
    typename O::V green;
    typename O::V blue;
};

// Row kinds: which column parity holds green, and whether the row's other
// sites are red or blue.
enum RowKind { kGreenRed, kBlueGreen, kRedGreen, kGreenBlue };

// The kinds of even and odd window rows for a Bayer phase; phases above 2 act as 3.
inline RowKind EvenRowKind(LONG bayerPhase) {
    const RowKind kinds[4] = {kGreenRed, kBlueGreen, kRedGreen, kGreenBlue};
    return kinds[(bayerPhase >= 0 && bayerPhase <= 2) ? bayerPhase : 3];
}

inline RowKind OddRowKind(LONG bayerPhase) {
    const RowKind kinds[4] = {kBlueGreen, kGreenRed, kGreenBlue, kRedGreen};
    return kinds[(bayerPhase >= 0 && bayerPhase <= 2) ? bayerPhase : 3];
}

// The neighbour sums the filters weigh, for one column parity of a block.
template <class O>
struct Neighbours {
    using V = typename O::V;
    V centre;       // P(0, 0)
    V horizontal1;  // P(-1, 0) + P(1, 0)
    V horizontal2;  // P(-2, 0) + P(2, 0)
    V vertical1;    // P(0, -1) + P(0, 1)
    V vertical2;    // P(0, -2) + P(0, 2)
    V diagonal;     // P(-1, -1) + P(1, -1) + P(-1, 1) + P(1, 1)
};

// Bytes at even offsets of a load, and at odd offsets, as 16-bit lanes.
template <class O>
VECTOR_INLINE typename O::V EvenBytes(typename O::V bytes) {
    return O::And(bytes, O::Set16(0x00FF));
}
template <class O>
VECTOR_INLINE typename O::V OddBytes(typename O::V bytes) {
    return O::template ShiftRight16<8>(bytes);
}

// Reads row y at columns c - 2 .. c + 17, rows y -+ 1 at c - 1 .. c + 16 and
// rows y -+ 2 at c .. c + 15, for the block at column c (`centre`), and the
// same for the block 16 columns on in each further lane.
template <class O>
VECTOR_INLINE void GatherNeighbours(const UCHAR* centre, ptrdiff_t stride, Neighbours<O>* even,
                                    Neighbours<O>* odd) {
    using V = typename O::V;
    // column[j]: lane k holds row y, column c - 2 + j + 2k.
    const V left = O::Load(centre - 2);
    const V middle = O::Load(centre);
    const V right = O::Load(centre + 2);
    const V column[6] = {EvenBytes<O>(left),  OddBytes<O>(left),   EvenBytes<O>(middle),
                         OddBytes<O>(middle), EvenBytes<O>(right), OddBytes<O>(right)};

    // near[j]: lane k holds rows y - 1 plus y + 1 at column c - 1 + j + 2k.
    const V aboveLeft = O::Load(centre - stride - 1);
    const V aboveRight = O::Load(centre - stride + 1);
    const V belowLeft = O::Load(centre + stride - 1);
    const V belowRight = O::Load(centre + stride + 1);
    const V near[4] = {O::Add16(EvenBytes<O>(aboveLeft), EvenBytes<O>(belowLeft)),
                       O::Add16(OddBytes<O>(aboveLeft), OddBytes<O>(belowLeft)),
                       O::Add16(EvenBytes<O>(aboveRight), EvenBytes<O>(belowRight)),
                       O::Add16(OddBytes<O>(aboveRight), OddBytes<O>(belowRight))};

    // far[j]: lane k holds rows y - 2 plus y + 2 at column c + j + 2k.
    const V above = O::Load(centre - 2 * stride);
    const V below = O::Load(centre + 2 * stride);
    const V far[2] = {O::Add16(EvenBytes<O>(above), EvenBytes<O>(below)),
                      O::Add16(OddBytes<O>(above), OddBytes<O>(below))};

    even->centre = column[2];
    even->horizontal1 = O::Add16(column[1], column[3]);
    even->horizontal2 = O::Add16(column[0], column[4]);
    even->vertical1 = near[1];
    even->vertical2 = far[0];
    even->diagonal = O::Add16(near[0], near[2]);

    odd->centre = column[3];
    odd->horizontal1 = O::Add16(column[2], column[4]);
    odd->horizontal2 = O::Add16(column[1], column[5]);
    odd->vertical1 = near[2];
    odd->vertical2 = far[1];
    odd->diagonal = O::Add16(near[1], near[3]);
}

// (sum + half) >> shift, arithmetic; the byte packing that follows turns
// sums not above 0 into 0 and limits the rest to 255.
template <class O, int shift>
VECTOR_INLINE typename O::V RoundDown(typename O::V sum) {
    return O::template ShiftRightArithmetic16<shift>(O::Add16(sum, O::Set16(1 << (shift - 1))));
}

template <class O, int n>
VECTOR_INLINE typename O::V Shl(typename O::V a) {
    return O::template ShiftLeft16<n>(a);
}

// At a green site: filter B gives the colour left and right of it, filter C
// the colour above and below. Sums stay within +-255 x 28.
template <class O>
VECTOR_INLINE void GreenSiteFilters(const Neighbours<O>& n, typename O::V* along,
                                    typename O::V* across) {
    using V = typename O::V;
    const V common =
        O::Sub16(O::Add16(Shl<O, 3>(n.centre), Shl<O, 1>(n.centre)), Shl<O, 1>(n.diagonal));
    *along = RoundDown<O, 4>(
        O::Add16(O::Sub16(O::Add16(common, Shl<O, 3>(n.horizontal1)), Shl<O, 1>(n.horizontal2)),
                 n.vertical2));
    *across = RoundDown<O, 4>(O::Add16(
        O::Sub16(O::Add16(common, Shl<O, 3>(n.vertical1)), Shl<O, 1>(n.vertical2)), n.horizontal2));
}

// At a red or blue site: filter A gives green, filter D the opposite colour.
template <class O>
VECTOR_INLINE void ColourSiteFilters(const Neighbours<O>& n, typename O::V* green,
                                     typename O::V* opposite) {
    using V = typename O::V;
    const V outer = O::Add16(n.horizontal2, n.vertical2);
    const V inner = O::Add16(n.horizontal1, n.vertical1);
    *green = RoundDown<O, 3>(O::Sub16(O::Add16(Shl<O, 2>(n.centre), Shl<O, 1>(inner)), outer));
    const V twelveCentre = O::Add16(Shl<O, 3>(n.centre), Shl<O, 2>(n.centre));
    *opposite = RoundDown<O, 4>(
        O::Sub16(O::Add16(twelveCentre, Shl<O, 2>(n.diagonal)), O::Add16(outer, Shl<O, 1>(outer))));
}

// Even-column lanes and odd-column lanes into one byte plane, limited to 0..255.
template <class O>
VECTOR_INLINE typename O::V Plane(typename O::V evenColumns, typename O::V oddColumns) {
    return O::PackUnsigned16(evenColumns, oddColumns);
}

// Red, green and blue of the blocks at `centre`.
template <class O, RowKind kind>
VECTOR_INLINE BlockColours<O> InterpolateBlock(const UCHAR* centre, ptrdiff_t stride) {
    using V = typename O::V;
    constexpr bool greenEven = kind == kGreenRed || kind == kGreenBlue;
    constexpr bool redRow = kind == kGreenRed || kind == kRedGreen;
    Neighbours<O> even;
    Neighbours<O> odd;
    GatherNeighbours<O>(centre, stride, &even, &odd);
    const Neighbours<O>& greenSites = greenEven ? even : odd;
    const Neighbours<O>& colourSites = greenEven ? odd : even;
    V along;
    V across;
    GreenSiteFilters<O>(greenSites, &along, &across);
    V greenAtColour;
    V opposite;
    ColourSiteFilters<O>(colourSites, &greenAtColour, &opposite);

    // The row's own colour (red in a red row), green, and the other colour.
    const V rowColour =
        greenEven ? Plane<O>(along, colourSites.centre) : Plane<O>(colourSites.centre, along);
    const V green = greenEven ? Plane<O>(greenSites.centre, greenAtColour)
                              : Plane<O>(greenAtColour, greenSites.centre);
    const V otherColour = greenEven ? Plane<O>(across, opposite) : Plane<O>(opposite, across);
    if (redRow) {
        return {rowColour, green, otherColour};
    }
    return {otherColour, green, rowColour};
}

// A plane's even and odd lanes as 16-bit values shifted left by 8, ready for
// the gain's high-half multiply.
template <class O>
VECTOR_INLINE typename O::V EvenHigh(typename O::V plane) {
    return O::UnpackLow8(O::Zero(), plane);
}
template <class O>
VECTOR_INLINE typename O::V OddHigh(typename O::V plane) {
    return O::UnpackHigh8(O::Zero(), plane);
}

// The gain as the kernels' multiplier: the low 16 bits, limited to 32640
// (any larger gain already takes every non-zero channel to 255), doubled, so
// that the high half of (channel << 8) x multiplier is channel x gain / 128.
inline short GainMultiplier(ULONG gain) {
    ULONG low = gain & 0xFFFF;
    low = low < 32640 ? low : 32640;
    return static_cast<short>(low << 1);
}

// min(255, channel x gain / 128) in 16-bit lanes, from (channel << 8).
template <class O>
VECTOR_INLINE typename O::V Balance(typename O::V channelHigh, typename O::V multiplier) {
    const typename O::V scaled = O::MulHigh16(channelHigh, multiplier);
    return O::Sub16(scaled, O::SubSaturated16(scaled, O::Set16(255)));
}

// Balance plus 0xFF00, modulo 2^16: one operation fewer, for a consumer that
// takes the bias back out through its own constants.
template <class O>
VECTOR_INLINE typename O::V BalanceBiased(typename O::V channelHigh, typename O::V multiplier) {
    return O::AddSaturated16(O::MulHigh16(channelHigh, multiplier), O::Set16(-256));
}

// The pixels of each lane's block (blue, green, red, fourth byte) in column
// order, from planes, as the four quarters StoreQuarters writes.
template <class O>
struct PixelQuarters {
    typename O::V q[4];
};

template <class O>
VECTOR_INLINE PixelQuarters<O> Interleave(typename O::V blue, typename O::V green,
                                          typename O::V red, typename O::V fourth) {
    using V = typename O::V;
    const V blueGreenEven = O::UnpackLow8(blue, green);
    const V blueGreenOdd = O::UnpackHigh8(blue, green);
    const V redFourthEven = O::UnpackLow8(red, fourth);
    const V redFourthOdd = O::UnpackHigh8(red, fourth);
    const V evenLow = O::UnpackLow16(blueGreenEven, redFourthEven);
    const V evenHigh = O::UnpackHigh16(blueGreenEven, redFourthEven);
    const V oddLow = O::UnpackLow16(blueGreenOdd, redFourthOdd);
    const V oddHigh = O::UnpackHigh16(blueGreenOdd, redFourthOdd);
    return {{O::UnpackLow32(evenLow, oddLow), O::UnpackHigh32(evenLow, oddLow),
             O::UnpackLow32(evenHigh, oddHigh), O::UnpackHigh32(evenHigh, oddHigh)}};
}

// Whole blocks of pixels, past the cache when `stream` is set.
template <class O>
VECTOR_INLINE void StorePixels(UCHAR* target, const PixelQuarters<O>& pixels, bool stream) {
    if (stream) {
        O::StreamQuarters(target, pixels.q[0], pixels.q[1], pixels.q[2], pixels.q[3]);
    } else {
        O::StoreQuarters(target, pixels.q[0], pixels.q[1], pixels.q[2], pixels.q[3]);
    }
}

// Streaming stores are weakly ordered: the fence makes them visible before
// the band reports its rows done.
VECTOR_INLINE void EndStreamedOutput(const KernelFrame* frame) {
    if (frame->streamOutput != 0) {
        _mm_sfence();
    }
}

// A last block of `count` pixels (below 16), written so that nothing past them is.
VECTOR_INLINE void StoreFirstPixels(UCHAR* target, ULONG count, const PixelQuarters<Sse2>& pixels) {
    Sse2::StoreFirstPixels(target, count, pixels.q[0], pixels.q[1], pixels.q[2], pixels.q[3]);
}

}  // namespace
