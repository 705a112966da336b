// The scalar parts the vector kernels of every instruction set share, built
// once at the SSE2 baseline: the frame's colour matrix split the way the
// colour kernels use it (each entry's sign and magnitude, the magnitudes
// sorted by sign, the accumulators' starting values for both accumulator
// paths), and the white-balance gains from the channel totals.
#pragma once

#include <cstdint>

#include "pipeline/kernels.h"

struct MatrixParts {
    // [input: red, green, blue][output: red, green, blue]
    ULONG magnitude[3][3];
    bool isPositive[3][3];
    ULONG positive[3][3];  // the magnitude where the entry is positive, else 0
    ULONG negative[3][3];  // the magnitude where it is not, else 0
    // The 16-bit path's inputs carry a bias of 0xFF00, that is -256 modulo
    // 2^16, which adds -256 x magnitude to each product: its accumulators
    // start that much higher, on top of the offset (modulo 2^16).
    ULONG positiveStart[3];
    ULONG negativeStart[3];
    // The exact path's offsets, by sign.
    ULONG positiveOffset[3];
    ULONG negativeOffset[3];
    // True when an accumulator can pass 65535: the exact 32-bit path runs.
    bool wide;
    // True when no entry off the diagonal is positive and none on it is
    // negative (entries of magnitude 0 count as either).
    bool usualSigns;
};

MatrixParts SplitMatrix(const KernelFrame* frame);
