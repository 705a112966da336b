// SumChannels for any vector operation set: the colour kernel's
// interpolation, each channel's bytes summed with a sum of absolute
// differences against zero. Internal
// to pipeline/: included once by each kernel file, after its target region
// opens; the file includes kernels.h and kernel_parts.h before it.
#pragma once

#include <cstdint>

#include "pipeline/bayer_block.h"

namespace {

template <class O>
struct ChannelSums {
    typename O::V red;  // 64-bit partial sums
    typename O::V green;
    typename O::V blue;
};

template <class O>
VECTOR_INLINE void AddBlock(const BlockColours<O>& colours, typename O::V keep,
                            ChannelSums<O>* sums) {
    sums->red = O::Add64(sums->red, O::SumBytes(O::And(colours.red, keep)));
    sums->green = O::Add64(sums->green, O::SumBytes(O::And(colours.green, keep)));
    sums->blue = O::Add64(sums->blue, O::SumBytes(O::And(colours.blue, keep)));
}

template <class O>
struct RowSums {
    ChannelSums<O> vector;
    ChannelSums<Sse2> tail;
    __m128i lastKeep;  // the pixels of the last partial block
};

template <class O, RowKind kind>
void SumRow(const UCHAR* source, ptrdiff_t stride, ULONG width, RowSums<O>* sums) {
    constexpr ULONG step = 16 * O::kBlocks;
    ULONG x = 0;
    for (; x + step <= width; x += step) {
        AddBlock<O>(InterpolateBlock<O, kind>(source + x, stride), O::Set8(-1), &sums->vector);
    }
    for (; x < width; x += 16) {
        const __m128i keep = width - x >= 16 ? Sse2::Set8(-1) : sums->lastKeep;
        AddBlock<Sse2>(InterpolateBlock<Sse2, kind>(source + x, stride), keep, &sums->tail);
    }
}

template <class O>
using RowSummer = void (*)(const UCHAR*, ptrdiff_t, ULONG, RowSums<O>*);

template <class O>
RowSummer<O> RowSummerFor(RowKind kind) {
    switch (kind) {
        case kGreenRed:
            return SumRow<O, kGreenRed>;
        case kBlueGreen:
            return SumRow<O, kBlueGreen>;
        case kRedGreen:
            return SumRow<O, kRedGreen>;
        default:
            return SumRow<O, kGreenBlue>;
    }
}

// Byte mask over the plane layout (even columns in bytes 0-7, odd columns in
// 8-15) keeping the first `count` pixels of a block.
inline __m128i KeepFirst(ULONG count) {
    alignas(16) UCHAR keep[16];
    for (ULONG lane = 0; lane < 8; ++lane) {
        keep[lane] = 2 * lane < count ? 0xFF : 0;
        keep[8 + lane] = 2 * lane + 1 < count ? 0xFF : 0;
    }
    return _mm_load_si128(reinterpret_cast<const __m128i*>(keep));
}

// The reference sums in 32 bits: the 64-bit partial sums, taken modulo 2^32.
template <class O>
uint32_t Total(typename O::V vector, __m128i tail) {
    return static_cast<uint32_t>(O::Total64(vector) + Sse2::Total64(tail));
}

template <class O>
void SumChannelsWith(const KernelFrame* frame, LONG bayerPhase, ChannelTotals* totals) {
    const RowSummer<O> rows[2] = {RowSummerFor<O>(EvenRowKind(bayerPhase)),
                                  RowSummerFor<O>(OddRowKind(bayerPhase))};
    RowSums<O> sums = {{O::Zero(), O::Zero(), O::Zero()},
                       {Sse2::Zero(), Sse2::Zero(), Sse2::Zero()},
                       KeepFirst(frame->width % 16)};
    const ptrdiff_t stride = frame->stride;
    for (ULONG y = 0; y < frame->height; ++y) {
        rows[y & 1](frame->firstPixel + static_cast<ptrdiff_t>(y) * stride, stride, frame->width,
                    &sums);
    }
    totals->red = Total<O>(sums.vector.red, sums.tail.red);
    totals->green = Total<O>(sums.vector.green, sums.tail.green);
    totals->blue = Total<O>(sums.vector.blue, sums.tail.blue);
}

}  // namespace
