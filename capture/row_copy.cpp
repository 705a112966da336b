// The delivery copy: rows that fit, the bottom-up copy and the bytes used.
#include "capture/row_copy.h"

ULONG RowsThatFit(const RowCopy& copy, ULONGLONG extent) {
    if (copy.rowBytes == 0 || extent < copy.rowBytes) {
        return 0;
    }
    const ULONGLONG fit = (extent - copy.rowBytes) / copy.step + 1;
    return fit < copy.rows ? static_cast<ULONG>(fit) : copy.rows;
}

void CopyBottomUp(const RowCopy& copy, ULONG rows, const UCHAR* converted, UCHAR* destination) {
    if (rows == 0) {
        return;
    }
    const UCHAR* source = converted + SIZE_T{copy.sourcePitch} * (copy.rows - 1);
    for (ULONG row = 0; row < rows; ++row) {
        __builtin_memcpy(destination, source, copy.rowBytes);
        source -= copy.sourcePitch;
        destination += copy.step;
    }
}

ULONG BytesUsed(const RowCopy& copy, ULONG rowsCopied, ULONG imageSize, ULONG extent) {
    if (rowsCopied == copy.rows) {
        return imageSize < extent ? imageSize : extent;
    }
    if (rowsCopied == 0) {
        return 0;
    }
    return static_cast<ULONG>((rowsCopied - 1) * copy.step + copy.rowBytes);
}
