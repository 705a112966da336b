// The delivery copy: the bottom-up copy of an image, whole or cut short,
// puts each row where a plain row-by-row copy does, at any client stride,
// and writes nothing else.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "capture/row_copy.h"

namespace {

constexpr UCHAR Guard = 0xA5;

// A plain copy of each row, last row first.
std::vector<UCHAR> Expected(const RowCopy& copy, ULONG rows, const std::vector<UCHAR>& converted,
                            size_t size) {
    std::vector<UCHAR> buffer(size, Guard);
    for (ULONG row = 0; row < rows; ++row) {
        const UCHAR* source = converted.data() + size_t{copy.sourcePitch} * (copy.rows - 1 - row);
        std::memcpy(buffer.data() + row * copy.step, source, copy.rowBytes);
    }
    return buffer;
}

TEST(BottomUpCopy, EveryRowLandsInPlaceAtAnyStride) {
    std::mt19937 random(8);
    // At the image's own stride and at a wider one that leaves destination
    // rows unaligned.
    const ULONG widths[] = {96, 1104};
    for (ULONG width : widths) {
        const ULONG rows = 1000;
        std::vector<UCHAR> converted(size_t{width + 8} * 4 * rows);
        for (auto& byte : converted) {
            byte = static_cast<UCHAR>(random());
        }
        for (ULONGLONG step : {ULONGLONG{width} * 4, ULONGLONG{width} * 4 + 13}) {
            const RowCopy copy = {width * 4, rows, (width + 8) * 4, step};
            for (ULONG copied : {rows, rows / 3}) {
                const size_t size = (copied - 1) * step + copy.rowBytes + 32;
                std::vector<UCHAR> buffer(size, Guard);
                CopyBottomUp(copy, copied, converted.data(), buffer.data());
                ASSERT_EQ(buffer, Expected(copy, copied, converted, size))
                    << width << " wide, step " << step << ", " << copied << " rows";
            }
        }
    }
}

}  // namespace
