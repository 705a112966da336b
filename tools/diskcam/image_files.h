// Writing delivered frames: PNG files as a person expects to see them, and
// the raw stream of delivered buffers.
#pragma once

#include <cstdint>
#include <string>

namespace tool {

// Writes a bottom-up BGRA image (rows of width x 4 bytes, `rows` of them,
// last row first) as a top-down RGB PNG. Throws std::runtime_error.
void WritePng(const std::string& path, const uint8_t* bgra, uint32_t width, uint32_t rows);

}  // namespace tool
