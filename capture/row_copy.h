// The copy of the ConvertedFrame into a client's buffer: a bottom-up image
// of whole rows, as many as the buffer holds.
#pragma once

#include "platform/kernel.h"

// The copy of one image: rows of rowBytes, sourcePitch apart in the
// ConvertedFrame and step apart in the client's buffer.
struct RowCopy {
    ULONG rowBytes;
    ULONG rows;
    ULONG sourcePitch;
    ULONGLONG step;
};

// Whole rows only: a buffer shorter than the image receives the rows that
// fit in it.
ULONG RowsThatFit(const RowCopy& copy, ULONGLONG extent);
// The converted rows are top-down; the buffer is a bottom-up image, so its
// first row is the last converted row.
void CopyBottomUp(const RowCopy& copy, ULONG rows, const UCHAR* converted, UCHAR* destination);
// The format's image size when every row fit, else the bytes up to the end
// of the last row written; never more than the buffer holds.
ULONG BytesUsed(const RowCopy& copy, ULONG rowsCopied, ULONG imageSize, ULONG extent);
