// Writing delivered frames: PNG files as a person expects to see them, and
// the raw stream of delivered buffers, as delivered or top-down.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace tool {

// Row y, counted from the top, of a bottom-up image of `rows` rows of
// `rowBytes` bytes.
inline const uint8_t* TopDownRow(const uint8_t* bottomUp, size_t rowBytes, uint32_t rows,
                                 uint32_t y) {
    return bottomUp + (rows - 1 - y) * rowBytes;
}

// Writes a bottom-up BGRA image (rows of width x 4 bytes, `rows` of them,
// last row first) as a top-down RGB PNG. Throws std::runtime_error.
void WritePng(const std::string& path, const uint8_t* bgra, uint32_t width, uint32_t rows);

// Writes `used` bytes of a delivered bottom-up BGRA buffer whose rows are
// width x 4 bytes: as they are, or with the rows top-down (bytes after the
// last whole row stay at the end). False when the write fails.
bool WriteRawFrame(FILE* out, const uint8_t* bgra, size_t used, uint32_t width, bool topDown);

}  // namespace tool
