// The SSE2 interpolation shared by the colour, grey and white-balance kernels:
// one block of 16 pixels of a row, even columns in one vector of eight 16-bit
// lanes and odd columns in another, each column set taken from one unaligned
// 16-byte load by masking or shifting. Internal to pipeline/.
#pragma once

#include <emmintrin.h>

#include <cstddef>

#include "platform/kernel.h"

// The block helpers must inline into the row loops: as calls, they would pass
// their vectors through memory.
#define BAYER_INLINE inline __attribute__((always_inline))

namespace bayer_sse2 {

// The colours of one block as byte planes: bytes 0-7 hold the block's even
// columns in order, bytes 8-15 its odd columns; each value 0..255.
struct BlockColours {
    __m128i red;
    __m128i green;
    __m128i blue;
};

// Row kinds: which column parity holds green, and whether the row's other
// sites are red or blue.
enum RowKind { kGreenRed, kBlueGreen, kRedGreen, kGreenBlue };

// The kinds of even and odd window rows for a Bayer phase; phases above 2 act as 3.
BAYER_INLINE RowKind EvenRowKind(LONG bayerPhase) {
    const RowKind kinds[4] = {kGreenRed, kBlueGreen, kRedGreen, kGreenBlue};
    return kinds[(bayerPhase >= 0 && bayerPhase <= 2) ? bayerPhase : 3];
}

BAYER_INLINE RowKind OddRowKind(LONG bayerPhase) {
    const RowKind kinds[4] = {kBlueGreen, kGreenRed, kGreenBlue, kRedGreen};
    return kinds[(bayerPhase >= 0 && bayerPhase <= 2) ? bayerPhase : 3];
}

// The neighbour sums the filters weigh, for one column parity of a block.
struct Neighbours {
    __m128i centre;       // P(0, 0)
    __m128i horizontal1;  // P(-1, 0) + P(1, 0)
    __m128i horizontal2;  // P(-2, 0) + P(2, 0)
    __m128i vertical1;    // P(0, -1) + P(0, 1)
    __m128i vertical2;    // P(0, -2) + P(0, 2)
    __m128i diagonal;     // P(-1, -1) + P(1, -1) + P(-1, 1) + P(1, 1)
};

BAYER_INLINE __m128i Load(const UCHAR* address) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(address));
}

// Bytes at even offsets of a load, and at odd offsets, as 16-bit lanes.
BAYER_INLINE __m128i EvenBytes(__m128i bytes) {
    return _mm_and_si128(bytes, _mm_set1_epi16(0x00FF));
}
BAYER_INLINE __m128i OddBytes(__m128i bytes) {
    return _mm_srli_epi16(bytes, 8);
}

// Reads row y at columns c - 2 .. c + 17, rows y -+ 1 at c - 1 .. c + 16 and
// rows y -+ 2 at c .. c + 15, for the block at column c (`centre`).
BAYER_INLINE void GatherNeighbours(const UCHAR* centre, ptrdiff_t stride, Neighbours* even,
                                   Neighbours* odd) {
    // column[j]: lane k holds row y, column c - 2 + j + 2k.
    const __m128i left = Load(centre - 2);
    const __m128i middle = Load(centre);
    const __m128i right = Load(centre + 2);
    const __m128i column[6] = {EvenBytes(left),  OddBytes(left),   EvenBytes(middle),
                               OddBytes(middle), EvenBytes(right), OddBytes(right)};

    // near[j]: lane k holds rows y - 1 plus y + 1 at column c - 1 + j + 2k.
    const __m128i aboveLeft = Load(centre - stride - 1);
    const __m128i aboveRight = Load(centre - stride + 1);
    const __m128i belowLeft = Load(centre + stride - 1);
    const __m128i belowRight = Load(centre + stride + 1);
    const __m128i near[4] = {_mm_add_epi16(EvenBytes(aboveLeft), EvenBytes(belowLeft)),
                             _mm_add_epi16(OddBytes(aboveLeft), OddBytes(belowLeft)),
                             _mm_add_epi16(EvenBytes(aboveRight), EvenBytes(belowRight)),
                             _mm_add_epi16(OddBytes(aboveRight), OddBytes(belowRight))};

    // far[j]: lane k holds rows y - 2 plus y + 2 at column c + j + 2k.
    const __m128i above = Load(centre - 2 * stride);
    const __m128i below = Load(centre + 2 * stride);
    const __m128i far[2] = {_mm_add_epi16(EvenBytes(above), EvenBytes(below)),
                            _mm_add_epi16(OddBytes(above), OddBytes(below))};

    even->centre = column[2];
    even->horizontal1 = _mm_add_epi16(column[1], column[3]);
    even->horizontal2 = _mm_add_epi16(column[0], column[4]);
    even->vertical1 = near[1];
    even->vertical2 = far[0];
    even->diagonal = _mm_add_epi16(near[0], near[2]);

    odd->centre = column[3];
    odd->horizontal1 = _mm_add_epi16(column[2], column[4]);
    odd->horizontal2 = _mm_add_epi16(column[1], column[5]);
    odd->vertical1 = near[2];
    odd->vertical2 = far[1];
    odd->diagonal = _mm_add_epi16(near[1], near[3]);
}

// (sum + half) >> shift, arithmetic; the byte packing that follows turns
// sums not above 0 into 0 and limits the rest to 255.
template <int shift>
BAYER_INLINE __m128i RoundDown(__m128i sum) {
    return _mm_srai_epi16(_mm_add_epi16(sum, _mm_set1_epi16(1 << (shift - 1))), shift);
}

// At a green site: filter B gives the colour left and right of it, filter C
// the colour above and below. Sums stay within +-255 x 28.
BAYER_INLINE void GreenSiteFilters(const Neighbours& n, __m128i* along, __m128i* across) {
    const __m128i common =
        _mm_sub_epi16(_mm_add_epi16(_mm_slli_epi16(n.centre, 3), _mm_slli_epi16(n.centre, 1)),
                      _mm_slli_epi16(n.diagonal, 1));
    *along = RoundDown<4>(
        _mm_add_epi16(_mm_sub_epi16(_mm_add_epi16(common, _mm_slli_epi16(n.horizontal1, 3)),
                                    _mm_slli_epi16(n.horizontal2, 1)),
                      n.vertical2));
    *across = RoundDown<4>(
        _mm_add_epi16(_mm_sub_epi16(_mm_add_epi16(common, _mm_slli_epi16(n.vertical1, 3)),
                                    _mm_slli_epi16(n.vertical2, 1)),
                      n.horizontal2));
}

// At a red or blue site: filter A gives green, filter D the opposite colour.
BAYER_INLINE void ColourSiteFilters(const Neighbours& n, __m128i* green, __m128i* opposite) {
    const __m128i outer = _mm_add_epi16(n.horizontal2, n.vertical2);
    const __m128i inner = _mm_add_epi16(n.horizontal1, n.vertical1);
    *green = RoundDown<3>(
        _mm_sub_epi16(_mm_add_epi16(_mm_slli_epi16(n.centre, 2), _mm_slli_epi16(inner, 1)), outer));
    const __m128i twelveCentre =
        _mm_add_epi16(_mm_slli_epi16(n.centre, 3), _mm_slli_epi16(n.centre, 2));
    *opposite =
        RoundDown<4>(_mm_sub_epi16(_mm_add_epi16(twelveCentre, _mm_slli_epi16(n.diagonal, 2)),
                                   _mm_add_epi16(outer, _mm_slli_epi16(outer, 1))));
}

// Even-column lanes and odd-column lanes into one byte plane, limited to 0..255.
BAYER_INLINE __m128i Plane(__m128i evenColumns, __m128i oddColumns) {
    return _mm_packus_epi16(evenColumns, oddColumns);
}

// Red, green and blue of the 16 pixels of the block at `centre`.
template <RowKind kind>
BAYER_INLINE BlockColours InterpolateBlock(const UCHAR* centre, ptrdiff_t stride) {
    constexpr bool greenEven = kind == kGreenRed || kind == kGreenBlue;
    constexpr bool redRow = kind == kGreenRed || kind == kRedGreen;
    Neighbours even;
    Neighbours odd;
    GatherNeighbours(centre, stride, &even, &odd);
    const Neighbours& greenSites = greenEven ? even : odd;
    const Neighbours& colourSites = greenEven ? odd : even;
    __m128i along;
    __m128i across;
    GreenSiteFilters(greenSites, &along, &across);
    __m128i greenAtColour;
    __m128i opposite;
    ColourSiteFilters(colourSites, &greenAtColour, &opposite);

    // The row's own colour (red in a red row), green, and the other colour.
    const __m128i rowColour =
        greenEven ? Plane(along, colourSites.centre) : Plane(colourSites.centre, along);
    const __m128i green = greenEven ? Plane(greenSites.centre, greenAtColour)
                                    : Plane(greenAtColour, greenSites.centre);
    const __m128i otherColour = greenEven ? Plane(across, opposite) : Plane(opposite, across);
    if (redRow) {
        return {rowColour, green, otherColour};
    }
    return {otherColour, green, rowColour};
}

// A plane's even and odd lanes as 16-bit values shifted left by 8, ready for
// the gain's high-half multiply.
BAYER_INLINE __m128i EvenHigh(__m128i plane) {
    return _mm_unpacklo_epi8(_mm_setzero_si128(), plane);
}
BAYER_INLINE __m128i OddHigh(__m128i plane) {
    return _mm_unpackhi_epi8(_mm_setzero_si128(), plane);
}

// The gain as the kernels' multiplier: the low 16 bits, limited to 32640
// (any larger gain already takes every non-zero channel to 255), doubled, so
// that the high half of (channel << 8) x multiplier is channel x gain / 128.
BAYER_INLINE __m128i GainMultiplier(ULONG gain) {
    ULONG low = gain & 0xFFFF;
    low = low < 32640 ? low : 32640;
    return _mm_set1_epi16(static_cast<short>(low << 1));
}

// min(255, channel x gain / 128) in 16-bit lanes, from (channel << 8).
BAYER_INLINE __m128i Balance(__m128i channelHigh, __m128i multiplier) {
    const __m128i scaled = _mm_mulhi_epu16(channelHigh, multiplier);
    return _mm_sub_epi16(scaled, _mm_subs_epu16(scaled, _mm_set1_epi16(255)));
}

// Balance plus 0xFF00, modulo 2^16: one operation fewer, for a consumer that
// takes the bias back out through its own constants.
BAYER_INLINE __m128i BalanceBiased(__m128i channelHigh, __m128i multiplier) {
    return _mm_adds_epu16(_mm_mulhi_epu16(channelHigh, multiplier), _mm_set1_epi16(-256));
}

// The 16 pixels of a block (blue, green, red, fourth byte) in column order,
// from planes, stored at `target`: a whole block straight from registers, a
// last partial block through the stack so only its `count` pixels inside the
// row are written.
BAYER_INLINE void StorePixels(UCHAR* target, ULONG count, __m128i blue, __m128i green, __m128i red,
                              __m128i fourth) {
    const __m128i blueGreenEven = _mm_unpacklo_epi8(blue, green);
    const __m128i blueGreenOdd = _mm_unpackhi_epi8(blue, green);
    const __m128i redFourthEven = _mm_unpacklo_epi8(red, fourth);
    const __m128i redFourthOdd = _mm_unpackhi_epi8(red, fourth);
    const __m128i evenLow = _mm_unpacklo_epi16(blueGreenEven, redFourthEven);
    const __m128i evenHigh = _mm_unpackhi_epi16(blueGreenEven, redFourthEven);
    const __m128i oddLow = _mm_unpacklo_epi16(blueGreenOdd, redFourthOdd);
    const __m128i oddHigh = _mm_unpackhi_epi16(blueGreenOdd, redFourthOdd);
    const __m128i first = _mm_unpacklo_epi32(evenLow, oddLow);
    const __m128i second = _mm_unpackhi_epi32(evenLow, oddLow);
    const __m128i third = _mm_unpacklo_epi32(evenHigh, oddHigh);
    const __m128i fourthQuarter = _mm_unpackhi_epi32(evenHigh, oddHigh);
    if (count == 16) {
        __m128i* out = reinterpret_cast<__m128i*>(target);
        _mm_storeu_si128(out, first);
        _mm_storeu_si128(out + 1, second);
        _mm_storeu_si128(out + 2, third);
        _mm_storeu_si128(out + 3, fourthQuarter);
        return;
    }
    const __m128i pixels[4] = {first, second, third, fourthQuarter};
    __builtin_memcpy(target, pixels, count * 4);
}

}  // namespace bayer_sse2
