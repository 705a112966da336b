// SplitMatrix and MatrixFitsSixteenBits (the frame matrix's entries by sign,
// from frameMatrix and matrixPositive) and GainsFromTotals.
#include "pipeline/kernel_parts.h"

#include "pipeline/kernels.h"

namespace {

ULONG Magnitude(LONG entry) {
    const ULONG bits = static_cast<ULONG>(entry);
    return (entry < 0 ? 0u - bits : bits) & 0xFFFF;
}

ULONG SignedPart(const ImagePipeline* pipeline, int index, bool positive) {
    const bool isPositive = pipeline->matrixPositive[index] != 0;
    return isPositive == positive ? Magnitude(pipeline->frameMatrix[index]) : 0;
}

// 255 times the magnitudes of one sign in a column, plus that column's offset
// of the same sign: the largest value its accumulator reaches.
ULONG LargestAccumulator(const ImagePipeline* pipeline, int column, bool positive) {
    ULONG sum = SignedPart(pipeline, 12 + column, positive);
    for (int row = 0; row < 3; ++row) {
        sum += 255 * SignedPart(pipeline, 4 * row + column, positive);
    }
    return sum;
}

// Limited to 65535 so a dark channel cannot wrap through the low 16 bits the
// kernels use, and so no out-of-range double is converted.
LONG GainFrom(double gain) {
    return static_cast<LONG>(gain < 65535.0 ? gain : 65535.0);
}

}  // namespace

bool MatrixFitsSixteenBits(const ImagePipeline* pipeline) {
    for (int column = 0; column < 3; ++column) {
        if (LargestAccumulator(pipeline, column, true) > 0xFFFF ||
            LargestAccumulator(pipeline, column, false) > 0xFFFF) {
            return false;
        }
    }
    return true;
}

MatrixParts SplitMatrix(const ImagePipeline* pipeline) {
    MatrixParts parts;
    for (int column = 0; column < 3; ++column) {
        parts.positiveOffset[column] = SignedPart(pipeline, 12 + column, true);
        parts.negativeOffset[column] = SignedPart(pipeline, 12 + column, false);
        parts.positiveStart[column] = parts.positiveOffset[column];
        parts.negativeStart[column] = parts.negativeOffset[column];
        for (int row = 0; row < 3; ++row) {
            const int index = 4 * row + column;
            parts.magnitude[row][column] = Magnitude(pipeline->frameMatrix[index]);
            parts.isPositive[row][column] = pipeline->matrixPositive[index] != 0;
            parts.positive[row][column] = SignedPart(pipeline, index, true);
            parts.negative[row][column] = SignedPart(pipeline, index, false);
            parts.positiveStart[column] += 256 * parts.positive[row][column];
            parts.negativeStart[column] += 256 * parts.negative[row][column];
        }
    }
    parts.wide = !MatrixFitsSixteenBits(pipeline);
    return parts;
}

bool GainsFromTotals(uint32_t sumRed, uint32_t sumGreen, uint32_t sumBlue, LONG* red, LONG* green,
                     LONG* blue) {
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
