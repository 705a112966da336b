// LoadPaddedRows: each padded row copied from its raw row, or from the raw
// row its border position repeats, then its side columns.
#include "pipeline/padded_rows.h"

namespace {

// The raw row a padded row holds: itself inside the window, the repeated
// one in the border.
LONG SourceRow(LONG y, LONG height) {
    if (y < 0) {
        return -y;
    }
    if (y >= height) {
        return y - 4;
    }
    return y;
}

void LoadRow(const RawWindow& raw, bool bordered, LONG y, UCHAR* pixels) {
    const ULONG width = raw.width;
    const LONG height = static_cast<LONG>(raw.height);
    if (!bordered) {
        __builtin_memset(pixels - 2, 0, width + 4);
        if (y >= 0 && y < height) {
            __builtin_memcpy(pixels, raw.first + static_cast<SIZE_T>(y) * raw.pitch, width);
        }
        return;
    }
    const SIZE_T source = static_cast<SIZE_T>(SourceRow(y, height));
    __builtin_memcpy(pixels, raw.first + source * raw.pitch, width);
    pixels[-1] = pixels[1];
    pixels[-2] = pixels[2];
    pixels[width] = pixels[width - 2];
    pixels[width + 1] = pixels[width - 3];
}

}  // namespace

void LoadPaddedRows(const RawWindow& raw, LONG from, LONG to, UCHAR* target, ptrdiff_t stride) {
    const bool bordered = raw.width >= 8 && raw.height >= 8;
    for (LONG y = from; y < to; ++y) {
        LoadRow(raw, bordered, y, target + (y - from) * stride);
    }
}
