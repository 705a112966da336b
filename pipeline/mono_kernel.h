// DemosaicMono for any vector operation set: interpolation and white balance
// as the colour kernel, then the luma Y = 77r/256 + 150g/256 + 29b/256, each
// term rounded down on its own. Internal to pipeline/: included once by each
// kernel file, after its target region opens.
#pragma once

#include "pipeline/bayer_block.h"

namespace {

template <class O>
struct MonoConstants {
    typename O::V gainRed;
    typename O::V gainGreen;
    typename O::V gainBlue;
};

template <class O>
MonoConstants<O> PrepareMonoConstants(const KernelFrame* frame) {
    return {O::Set16(GainMultiplier(frame->gainRed)), O::Set16(GainMultiplier(frame->gainGreen)),
            O::Set16(GainMultiplier(frame->gainBlue))};
}

// weight x value / 256, exactly, as the high half of value x (weight << 8).
template <class O>
VECTOR_INLINE typename O::V LumaTerm(typename O::V value, int weight) {
    return O::MulHigh16(value, O::Set16(static_cast<short>(weight << 8)));
}

template <class O>
VECTOR_INLINE typename O::V Luma(typename O::V red, typename O::V green, typename O::V blue) {
    return O::Add16(O::Add16(LumaTerm<O>(red, 77), LumaTerm<O>(green, 150)), LumaTerm<O>(blue, 29));
}

template <class O, RowKind kind>
VECTOR_INLINE PixelQuarters<O> MonoPixels(const UCHAR* centre, ptrdiff_t stride,
                                          const MonoConstants<O>& k) {
    const BlockColours<O> colours = InterpolateBlock<O, kind>(centre, stride);
    const typename O::V even = Luma<O>(Balance<O>(EvenHigh<O>(colours.red), k.gainRed),
                                       Balance<O>(EvenHigh<O>(colours.green), k.gainGreen),
                                       Balance<O>(EvenHigh<O>(colours.blue), k.gainBlue));
    const typename O::V odd = Luma<O>(Balance<O>(OddHigh<O>(colours.red), k.gainRed),
                                      Balance<O>(OddHigh<O>(colours.green), k.gainGreen),
                                      Balance<O>(OddHigh<O>(colours.blue), k.gainBlue));
    const typename O::V luma = Plane<O>(even, odd);
    return Interleave<O>(luma, luma, luma, O::Set8(-1));
}

template <class O>
struct MonoRowConstants {
    MonoConstants<O> vector;
    MonoConstants<Sse2> tail;
    bool stream;
};

template <class O, RowKind kind>
void MonoRow(const UCHAR* source, ptrdiff_t stride, ULONG width, UCHAR* target,
             const MonoRowConstants<O>& k) {
    constexpr ULONG step = 16 * O::kBlocks;
    ULONG x = 0;
    for (; x + step <= width; x += step) {
        StorePixels<O>(target + 4 * x, MonoPixels<O, kind>(source + x, stride, k.vector), k.stream);
    }
    for (; x < width; x += 16) {
        const PixelQuarters<Sse2> pixels = MonoPixels<Sse2, kind>(source + x, stride, k.tail);
        if (width - x >= 16) {
            StorePixels<Sse2>(target + 4 * x, pixels, k.stream);
        } else {
            StoreFirstPixels(target + 4 * x, width - x, pixels);
        }
    }
}

template <class O>
using MonoRowConverter = void (*)(const UCHAR*, ptrdiff_t, ULONG, UCHAR*,
                                  const MonoRowConstants<O>&);

template <class O>
MonoRowConverter<O> MonoRowFor(RowKind kind) {
    switch (kind) {
        case kGreenRed:
            return MonoRow<O, kGreenRed>;
        case kBlueGreen:
            return MonoRow<O, kBlueGreen>;
        case kRedGreen:
            return MonoRow<O, kRedGreen>;
        default:
            return MonoRow<O, kGreenBlue>;
    }
}

template <class O>
void DemosaicMonoWith(const KernelFrame* frame, LONG bayerPhase) {
    const MonoRowConstants<O> constants = {PrepareMonoConstants<O>(frame),
                                           PrepareMonoConstants<Sse2>(frame),
                                           frame->streamOutput != 0};
    const MonoRowConverter<O> rows[2] = {MonoRowFor<O>(EvenRowKind(bayerPhase)),
                                         MonoRowFor<O>(OddRowKind(bayerPhase))};
    const ptrdiff_t stride = frame->stride;
    const SIZE_T rowBytes = static_cast<SIZE_T>(frame->width) * 4;
    for (ULONG y = 0; y < frame->height; ++y) {
        rows[y & 1](frame->firstPixel + static_cast<ptrdiff_t>(y) * stride, stride, frame->width,
                    frame->output + y * rowBytes, constants);
    }
    EndStreamedOutput(frame);
}

}  // namespace
