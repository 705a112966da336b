// Readers for the picture files a scene can come from: 8-bit PGM (P5) for
// raw mosaics, PPM (P6) and PNG for colour pictures. Each throws
// std::runtime_error naming the file when it cannot be read or is malformed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sim {

struct Image {
    int width = 0;
    int height = 0;
    int channels = 0;             // 1 grey, 3 RGB
    std::vector<uint8_t> pixels;  // rows top to bottom, channels interleaved
};

// Values exactly as stored; the maximum value must not exceed 255.
Image ReadPgm(const std::string& path);
// RGB scaled to 0..255 when the file's maximum value is below 255.
Image ReadPpm(const std::string& path);
Image ReadPng(const std::string& path);
// PNG or PPM, told apart by the file's first bytes.
Image ReadColourImage(const std::string& path);

}  // namespace sim
