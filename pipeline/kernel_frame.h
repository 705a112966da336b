// The KernelFrame: what one kernel call reads and writes. ConvertFrame fills
// one per frame and gives each row band and each window of rows its own copy,
// the position, the output and the height changed.
#pragma once

#include "platform/kernel.h"

struct KernelFrame {
    const UCHAR* firstPixel;  // padded byte of row 0, column 0
    UCHAR* output;            // the pixels of row 0, rows of width x 4 bytes
    LONG stride;              // padded row pitch
    ULONG gainRed;            // gains of this frame, 128 = 1.0; kernels use the low 16 bits
    ULONG gainGreen;
    ULONG gainBlue;
    ULONG width;  // in pixels
    ULONG height;
    LONG frameMatrix[16];  // the pipeline's fixedMatrix for this frame, 64 = 1.0
    UCHAR matrixPositive[16];
    // 1: the output is written with streaming stores, which bypass the
    // cache; only for outputs whose every row starts 64-byte aligned.
    UCHAR streamOutput;
};
