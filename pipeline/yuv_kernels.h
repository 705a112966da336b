// The YUV conversions of a converted RGB32 image (blue, green, red, 255;
// rows top-down) into the two YUV layouts the pin delivers, top-down: YUY2
// (Y0 U Y1 V for each pixel pair of a row) and NV12 (a plane of Y, then a
// plane of interleaved U V, one pair for each 2 x 2 pixel group). BT.601
// studio range, in integer arithmetic:
//   Y = ((66 R + 129 G + 25 B + 128) >> 8) + 16           16 .. 235
//   U = ((-38 R - 74 G + 112 B + 128) >> 8) + 128         16 .. 240
//   V = ((112 R - 94 G - 18 B + 128) >> 8) + 128          16 .. 240
// with >> rounding down. The U and V of a group come from the mean of its
// pixels' red, green and blue, each rounded half up: (a + b + 1) / 2 for a
// pair, (a + b + c + d + 2) / 4 for a 2 x 2 group.
// Each as a scalar reference (the definition) and as SSE2, AVX2 and AVX-512
// versions that store the same bytes; a wider version may run only on a
// processor that has its instructions, and in the kernel only under a saved
// extended state.
#pragma once

#include "platform/kernel.h"

// One image to convert and where its YUV image goes. Pixels convert in pairs
// (YUY2) or 2 x 2 groups (NV12): an odd last column, and for NV12 an odd last
// row, is left out.
struct YuvImage {
    const UCHAR* source;  // pixel (0, 0) of the RGB32 image
    ULONG sourcePitch;    // bytes between source rows
    ULONG width;          // pixels
    ULONG height;         // rows
    // YUY2: row 0. NV12: row 0 of the Y plane, whose rows (height rounded
    // down to even) are followed by the U V plane's, half as many.
    UCHAR* target;
    ULONG targetPitch;  // bytes between target rows, in each plane
};

enum class YuvLayout : LONG { Yuy2, Nv12 };

// Writes width x 2 bytes of each row.
void ConvertYuy2Reference(const YuvImage* image);
void ConvertYuy2Sse2(const YuvImage* image);
void ConvertYuy2Avx2(const YuvImage* image);
void ConvertYuy2Avx512(const YuvImage* image);

// Writes width bytes of each row of both planes.
void ConvertNv12Reference(const YuvImage* image);
void ConvertNv12Sse2(const YuvImage* image);
void ConvertNv12Avx2(const YuvImage* image);
void ConvertNv12Avx512(const YuvImage* image);

// The conversion at `level` (as ChooseSimdLevel returns it), under that
// level's vector state saved on the calling thread; SSE2 when the save fails.
void ConvertToYuv(LONG level, YuvLayout layout, const YuvImage* image);
