// The formats the capture pin delivers, in the order of its data ranges:
// RGB32, the ConvertedFrame copied bottom-up, and YUY2 and NV12, converted
// from it into top-down images (the rows of a YUV image run top-down
// whatever the sign of biHeight). A connection format is one of them by its
// bitmap header's compression.
#pragma once

#include "platform/kernel.h"

enum OutputFormat : ULONG {
    OutputRgb32 = 0,
    OutputYuy2 = 1,
    OutputNv12 = 2,
    OutputFormatCount = 3,
};

// The FOURCCs, as biCompression holds them: the four characters in memory
// order.
constexpr DWORD FourccYuy2 = 0x32595559;  // 'Y' 'U' 'Y' '2'
constexpr DWORD FourccNv12 = 0x3231564E;  // 'N' 'V' '1' '2'

struct OutputFormatTraits {
    GUID subFormat;          // the KSDATAFORMAT subtype
    DWORD compression;       // biCompression: BI_RGB or the FOURCC
    WORD bitCount;           // biBitCount: bits per pixel of the image
    ULONG rowBytesPerPixel;  // bytes per pixel of a row in the buffer (NV12: of each plane)
    bool evenRows;           // chroma of 2 x 2 groups: delivers an even number of rows
};

extern const OutputFormatTraits OutputFormats[OutputFormatCount];

// The format whose compression the header has; RGB32 for any other, which
// no accepted format has (set-data-format matches it to a range's) and which
// the pipeline's attach refuses unless it is 32-bit BI_RGB.
OutputFormat OutputFormatOf(const KS_BITMAPINFOHEADER& bitmap);
// True when the header is exactly one of the formats: compression and bit
// count both.
bool IsDeliverableFormat(const KS_BITMAPINFOHEADER& bitmap);
// The rows delivered of an output `height` rows high: NV12's chroma comes in
// row pairs, so an odd last row is left out.
ULONG DeliveredRows(OutputFormat format, ULONG height);
// Bytes between the starts of two rows of a format `width` pixels wide.
ULONG RowStride(OutputFormat format, LONG width);
