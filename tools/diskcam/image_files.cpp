#include "tools/diskcam/image_files.h"

#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <vector>

namespace tool {

namespace {

struct FileCloser {
    void operator()(FILE* file) const { std::fclose(file); }
};

}  // namespace

void WritePng(const std::string& path, const uint8_t* bgra, uint32_t width, uint32_t rows) {
    std::unique_ptr<FILE, FileCloser> file(std::fopen(path.c_str(), "wb"));
    if (!file) {
        throw std::runtime_error("cannot write " + path);
    }
    std::vector<uint8_t> row(size_t{width} * 3);
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
    // libpng reports its errors by a jump back here.
    if (info == nullptr || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        throw std::runtime_error("cannot write " + path);
    }
    png_init_io(png, file.get());
    png_set_IHDR(png, info, width, rows, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_compression_level(png, 1);
    png_write_info(png, info);
    for (uint32_t y = 0; y < rows; ++y) {
        const uint8_t* source = TopDownRow(bgra, size_t{width} * 4, rows, y);
        for (uint32_t x = 0; x < width; ++x) {
            row[x * 3 + 0] = source[x * 4 + 2];
            row[x * 3 + 1] = source[x * 4 + 1];
            row[x * 3 + 2] = source[x * 4 + 0];
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    if (std::fflush(file.get()) != 0) {
        throw std::runtime_error("cannot write " + path);
    }
}

bool WriteRawFrame(FILE* out, const uint8_t* bgra, size_t used, uint32_t width, bool topDown) {
    const size_t rowBytes = size_t{width} * 4;
    if (!topDown || rowBytes == 0) {
        return std::fwrite(bgra, 1, used, out) == used;
    }
    const auto rows = static_cast<uint32_t>(used / rowBytes);
    for (uint32_t y = 0; y < rows; ++y) {
        if (std::fwrite(TopDownRow(bgra, rowBytes, rows, y), 1, rowBytes, out) != rowBytes) {
            return false;
        }
    }
    const size_t tail = used - rows * rowBytes;
    return std::fwrite(bgra + rows * rowBytes, 1, tail, out) == tail;
}

}  // namespace tool
