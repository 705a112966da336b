// The output formats' table and the lookups over it.
#include "capture/output_format.h"

// The YUV subtypes are the FOURCC GUIDs: the FOURCC, then the media-type
// base 0000-0010-8000-00AA00389B71.
const OutputFormatTraits OutputFormats[OutputFormatCount] = {
    {{0xE436EB7E, 0x524F, 0x11CE, {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}},
     KS_BI_RGB,
     32,
     4,
     false},
    {{FourccYuy2, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}},
     FourccYuy2,
     16,
     2,
     false},
    {{FourccNv12, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}},
     FourccNv12,
     12,
     1,
     true},
};

OutputFormat OutputFormatOf(const KS_BITMAPINFOHEADER& bitmap) {
    if (bitmap.biCompression == FourccYuy2) {
        return OutputYuy2;
    }
    return bitmap.biCompression == FourccNv12 ? OutputNv12 : OutputRgb32;
}

bool IsDeliverableFormat(const KS_BITMAPINFOHEADER& bitmap) {
    const OutputFormatTraits& traits = OutputFormats[OutputFormatOf(bitmap)];
    return bitmap.biCompression == traits.compression && bitmap.biBitCount == traits.bitCount;
}

ULONG DeliveredRows(OutputFormat format, ULONG height) {
    return OutputFormats[format].evenRows ? height & ~1u : height;
}

ULONG RowStride(OutputFormat format, LONG width) {
    return static_cast<ULONG>(width) * OutputFormats[format].rowBytesPerPixel;
}
