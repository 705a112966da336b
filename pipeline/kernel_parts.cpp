// SplitMatrix and MatrixFitsSixteenBits (the frame matrix's entries by sign,
// from frameMatrix and matrixPositive) and GainsFromTotals.
#include "pipeline/kernel_parts.h"

#include "pipeline/kernels.h"

namespace {

ULONG Magnitude(LONG entry) {
    const ULONG bits = static_cast<ULONG>(entry);
    return (entry < 0 ? 0u - bits : bits) & 0xFFFF;
}

ULONG SignedPart(const KernelFrame* frame, int index, bool positive) {
    const bool isPositive = frame->matrixPositive[index] != 0;
    return isPositive == positive ? Magnitude(frame->frameMatrix[index]) : 0;
}

// 255 times the magnitudes of one sign in a column, plus that column's offset
// of the same sign: the largest value its accumulator reaches.
ULONG LargestAccumulator(const KernelFrame* frame, int column, bool positive) {
    ULONG sum = SignedPart(frame, 12 + column, positive);
    for (int row = 0; row < 3; ++row) {
        sum += 255 * SignedPart(frame, 4 * row + column, positive);
    }
    return sum;
}

// Limited to 65535 so a dark channel cannot wrap through the low 16 bits the
// kernels use, and so no out-of-range double is converted.
LONG GainFrom(double gain) {
    return static_cast<LONG>(gain < 65535.0 ? gain : 65535.0);
}

}  // namespace

bool MatrixFitsSixteenBits(const KernelFrame* frame) {
    for (int column = 0; column < 3; ++column) {
        if (LargestAccumulator(frame, column, true) > 0xFFFF ||
            LargestAccumulator(frame, column, false) > 0xFFFF) {
            return false;
        }
    }
    return true;
}

MatrixParts SplitMatrix(const KernelFrame* frame) {
    MatrixParts parts;
    parts.usualSigns = true;
    for (int column = 0; column < 3; ++column) {
        parts.positiveOffset[column] = SignedPart(frame, 12 + column, true);
        parts.negativeOffset[column] = SignedPart(frame, 12 + column, false);
        parts.positiveStart[column] = parts.positiveOffset[column];
        parts.negativeStart[column] = parts.negativeOffset[column];
        for (int row = 0; row < 3; ++row) {
            const int index = 4 * row + column;
            parts.magnitude[row][column] = Magnitude(frame->frameMatrix[index]);
            parts.isPositive[row][column] = frame->matrixPositive[index] != 0;
            parts.positive[row][column] = SignedPart(frame, index, true);
            parts.negative[row][column] = SignedPart(frame, index, false);
            parts.positiveStart[column] += 256 * parts.positive[row][column];
            parts.negativeStart[column] += 256 * parts.negative[row][column];
            if (parts.magnitude[row][column] != 0 &&
                parts.isPositive[row][column] != (row == column)) {
                parts.usualSigns = false;
            }
        }
    }
    parts.wide = !MatrixFitsSixteenBits(frame);
    return parts;
}

bool GainsFromTotals(const ChannelTotals& totals, LONG* red, LONG* green, LONG* blue) {
    const uint32_t sumRed = totals.red;
    const uint32_t sumGreen = totals.green;
    const uint32_t sumBlue = totals.blue;
    if (sumRed == 0 || sumGreen == 0 || sumBlue == 0) {
        return false;
    }
    const double total = static_cast<double>(sumGreen) + sumRed + sumBlue;
    const double greenShare = total / sumGreen / 3.0;
    *red = GainFrom(total / sumRed / 3.0 * 128.0 / greenShare);
    *green = 128;
    *blue = GainFrom(total / sumBlue / 3.0 * 128.0 / greenShare);
    return true;
}
