// The YUV conversions of yuv_kernels.h for any vector operation set: each
// 128-bit lane converts one block of 16 pixels, all in 16-bit lanes. The
// sums stay within 16 bits without a sign: Y's is at most 56228, and U's and
// V's are taken with 32768 added, which puts them in 4336 .. 61456 and makes
// the shift round down exactly as the definition's; 32768 / 256 is the 128
// of their offset. Rows end in SSE2 blocks and a last part block through the
// stack, so nothing is read or written past a row's pixels. Internal to
// pipeline/: included once by each kernel file, after its target region
// opens; the file includes its operation sets before.
#pragma once

#include "pipeline/yuv_kernels.h"

namespace {

// A block's channels in 16-bit lanes: pixels 0 to 7, then 8 to 15.
template <class O>
struct BlockChannels {
    typename O::V red[2];
    typename O::V green[2];
    typename O::V blue[2];
};

template <class O>
VECTOR_INLINE BlockChannels<O> LoadChannels(const UCHAR* source) {
    using V = typename O::V;
    V quarters[4];
    O::LoadQuarters(source, quarters);
    const V low = O::Set32(0xFF);
    BlockChannels<O> c;
    for (int half = 0; half < 2; ++half) {
        const V a = quarters[2 * half];
        const V b = quarters[2 * half + 1];
        c.blue[half] = O::PackSigned32(O::And(a, low), O::And(b, low));
        c.green[half] = O::PackSigned32(O::And(O::template ShiftRight32<8>(a), low),
                                        O::And(O::template ShiftRight32<8>(b), low));
        c.red[half] = O::PackSigned32(O::And(O::template ShiftRight32<16>(a), low),
                                      O::And(O::template ShiftRight32<16>(b), low));
    }
    return c;
}

template <class O>
VECTOR_INLINE typename O::V Weighted(typename O::V value, short weight) {
    return O::MulLow16(value, O::Set16(weight));
}

template <class O>
VECTOR_INLINE typename O::V LumaOf(typename O::V red, typename O::V green, typename O::V blue) {
    const typename O::V sum = O::Add16(O::Add16(Weighted<O>(red, 66), Weighted<O>(green, 129)),
                                       O::Add16(Weighted<O>(blue, 25), O::Set16(128)));
    return O::Add16(O::template ShiftRight16<8>(sum), O::Set16(16));
}

// 128 + 32768, as a 16-bit lane holds it.
constexpr short ChromaBias = static_cast<short>(0x8080);

// (positive x value + bias - the two negative terms) >> 8.
template <class O>
VECTOR_INLINE typename O::V DifferenceOf(typename O::V positive, short weight,
                                         typename O::V negative1, short weight1,
                                         typename O::V negative2, short weight2) {
    const typename O::V sum =
        O::Sub16(O::Sub16(O::Add16(Weighted<O>(positive, weight), O::Set16(ChromaBias)),
                          Weighted<O>(negative1, weight1)),
                 Weighted<O>(negative2, weight2));
    return O::template ShiftRight16<8>(sum);
}

// The 16 Y bytes of a block, in pixel order.
template <class O>
VECTOR_INLINE typename O::V BlockLuma(const BlockChannels<O>& c) {
    return O::PackUnsigned16(LumaOf<O>(c.red[0], c.green[0], c.blue[0]),
                             LumaOf<O>(c.red[1], c.green[1], c.blue[1]));
}

// The means of the pixel pairs of two halves whose lanes hold sums of
// `count` rows: (sum + count) / (2 x count), for count 1 or 2.
template <class O, int count>
VECTOR_INLINE typename O::V PairMeans(typename O::V first, typename O::V second) {
    using V = typename O::V;
    const V ones = O::Set16(1);
    const V rounding = O::Set32(count);
    constexpr int shift = count == 1 ? 1 : 2;
    const V a =
        O::template ShiftRight32<shift>(O::Add32(O::MultiplyAddPairs16(first, ones), rounding));
    const V b =
        O::template ShiftRight32<shift>(O::Add32(O::MultiplyAddPairs16(second, ones), rounding));
    return O::PackSigned32(a, b);
}

// U then V of each of a block's eight groups, from the groups' channel means.
template <class O>
VECTOR_INLINE typename O::V GroupChroma(typename O::V red, typename O::V green,
                                        typename O::V blue) {
    const typename O::V u = DifferenceOf<O>(blue, 112, red, 38, green, 74);
    const typename O::V v = DifferenceOf<O>(red, 112, green, 94, blue, 18);
    return O::Add16(u, O::template ShiftLeft16<8>(v));
}

// 16 pixels of a row: 32 bytes of Y0 U Y1 V.
template <class O>
VECTOR_INLINE void Yuy2Block(const UCHAR* source, UCHAR* target) {
    const BlockChannels<O> c = LoadChannels<O>(source);
    const typename O::V chroma =
        GroupChroma<O>(PairMeans<O, 1>(c.red[0], c.red[1]), PairMeans<O, 1>(c.green[0], c.green[1]),
                       PairMeans<O, 1>(c.blue[0], c.blue[1]));
    const typename O::V luma = BlockLuma<O>(c);
    O::StoreHalves(target, O::UnpackLow8(luma, chroma), O::UnpackHigh8(luma, chroma));
}

// 16 pixels of two rows: 16 Y bytes of each and their 16 bytes of U V.
template <class O>
VECTOR_INLINE void Nv12Block(const UCHAR* top, const UCHAR* bottom, UCHAR* lumaTop,
                             UCHAR* lumaBottom, UCHAR* chroma) {
    const BlockChannels<O> a = LoadChannels<O>(top);
    const BlockChannels<O> b = LoadChannels<O>(bottom);
    O::Store(lumaTop, BlockLuma<O>(a));
    O::Store(lumaBottom, BlockLuma<O>(b));
    const typename O::V red =
        PairMeans<O, 2>(O::Add16(a.red[0], b.red[0]), O::Add16(a.red[1], b.red[1]));
    const typename O::V green =
        PairMeans<O, 2>(O::Add16(a.green[0], b.green[0]), O::Add16(a.green[1], b.green[1]));
    const typename O::V blue =
        PairMeans<O, 2>(O::Add16(a.blue[0], b.blue[0]), O::Add16(a.blue[1], b.blue[1]));
    O::Store(chroma, GroupChroma<O>(red, green, blue));
}

constexpr ULONG BlockPixels = 16;

// A last part block of `count` pixels: converted from a copy on the stack,
// of which only what the pixels make is written back.
void Yuy2PartBlock(const UCHAR* source, ULONG count, UCHAR* target) {
    alignas(16) UCHAR pixels[BlockPixels * 4] = {};
    alignas(16) UCHAR converted[BlockPixels * 2];
    __builtin_memcpy(pixels, source, count * 4);
    Yuy2Block<Sse2>(pixels, converted);
    __builtin_memcpy(target, converted, count * 2);
}

void Nv12PartBlock(const UCHAR* top, const UCHAR* bottom, ULONG count, UCHAR* lumaTop,
                   UCHAR* lumaBottom, UCHAR* chroma) {
    alignas(16) UCHAR pixels[2][BlockPixels * 4] = {};
    alignas(16) UCHAR converted[3][BlockPixels];
    __builtin_memcpy(pixels[0], top, count * 4);
    __builtin_memcpy(pixels[1], bottom, count * 4);
    Nv12Block<Sse2>(pixels[0], pixels[1], converted[0], converted[1], converted[2]);
    __builtin_memcpy(lumaTop, converted[0], count);
    __builtin_memcpy(lumaBottom, converted[1], count);
    __builtin_memcpy(chroma, converted[2], count);
}

template <class O>
void Yuy2Row(const UCHAR* source, ULONG width, UCHAR* target) {
    constexpr ULONG step = BlockPixels * O::kBlocks;
    ULONG x = 0;
    for (; x + step <= width; x += step) {
        Yuy2Block<O>(source + 4 * x, target + 2 * x);
    }
    for (; x + BlockPixels <= width; x += BlockPixels) {
        Yuy2Block<Sse2>(source + 4 * x, target + 2 * x);
    }
    if (x < width) {
        Yuy2PartBlock(source + 4 * x, width - x, target + 2 * x);
    }
}

template <class O>
void Nv12Rows(const UCHAR* top, const UCHAR* bottom, ULONG width, UCHAR* lumaTop, UCHAR* lumaBottom,
              UCHAR* chroma) {
    constexpr ULONG step = BlockPixels * O::kBlocks;
    ULONG x = 0;
    for (; x + step <= width; x += step) {
        Nv12Block<O>(top + 4 * x, bottom + 4 * x, lumaTop + x, lumaBottom + x, chroma + x);
    }
    for (; x + BlockPixels <= width; x += BlockPixels) {
        Nv12Block<Sse2>(top + 4 * x, bottom + 4 * x, lumaTop + x, lumaBottom + x, chroma + x);
    }
    if (x < width) {
        Nv12PartBlock(top + 4 * x, bottom + 4 * x, width - x, lumaTop + x, lumaBottom + x,
                      chroma + x);
    }
}

template <class O>
void ConvertYuy2With(const YuvImage* image) {
    const ULONG width = image->width & ~1u;
    for (ULONG y = 0; y < image->height; ++y) {
        Yuy2Row<O>(image->source + SIZE_T{image->sourcePitch} * y, width,
                   image->target + SIZE_T{image->targetPitch} * y);
    }
}

template <class O>
void ConvertNv12With(const YuvImage* image) {
    const ULONG width = image->width & ~1u;
    const ULONG height = image->height & ~1u;
    const SIZE_T sourcePitch = image->sourcePitch;
    const SIZE_T targetPitch = image->targetPitch;
    UCHAR* chroma = image->target + targetPitch * height;
    for (ULONG y = 0; y < height; y += 2) {
        const UCHAR* top = image->source + sourcePitch * y;
        UCHAR* luma = image->target + targetPitch * y;
        Nv12Rows<O>(top, top + sourcePitch, width, luma, luma + targetPitch,
                    chroma + targetPitch * (y / 2));
    }
}

}  // namespace
