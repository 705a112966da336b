// The padded rows the kernels read: a raw window's rows with a two-pixel
// border all round, filled from rows and columns an even distance away so
// that every border pixel carries the colour the Bayer layout gives its
// position. The band windows of ConvertFrame and the whole padded frames of
// the tests and benchmarks are both loaded here.
#pragma once

#include <cstddef>

#include "platform/kernel.h"

// A window of a raw frame: its pixel of row 0, column 0, and its pitch and size.
struct RawWindow {
    const UCHAR* first;
    ULONG pitch;
    ULONG width;
    ULONG height;
};

// Bytes a padded row needs before column 0, and the pitch of padded rows of
// a window `width` wide: room for the border and for the kernels' 16-byte
// loads reaching 18 columns past the last full block.
constexpr ULONG PaddedRowLead = 5;
inline ULONG PaddedStride(ULONG width) {
    return ((width + 16) & ~15u) + 11;
}

// Writes padded rows `from` .. `to` - 1, each within -2 .. height + 1, row
// `from` at `target` (its column 0) and each next one `stride` further, each
// from column -2 to width + 1. Rows -2 and -1 repeat rows 2 and 1, rows
// height and height + 1 repeat rows height - 4 and height - 3; columns -2
// and -1 repeat columns 2 and 1, columns width and width + 1 repeat columns
// width - 2 and width - 3. A window below 8 pixels either way has a border
// of zeros.
void LoadPaddedRows(const RawWindow& raw, LONG from, LONG to, UCHAR* target, ptrdiff_t stride);
