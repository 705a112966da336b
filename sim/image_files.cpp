// PGM/PPM parsing by hand (a short header, then binary samples); PNG through
// libpng's simplified API.
#include "sim/image_files.h"

#include <png.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace sim {

namespace {

constexpr int kMaxDimension = 1 << 16;

[[noreturn]] void Fail(const std::string& path, const std::string& why) {
    throw std::runtime_error(path + ": " + why);
}

std::vector<uint8_t> ReadWholeFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        Fail(path, "cannot open");
    }
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(file), {});
}

// Walks a netpbm header: magic, then whitespace-separated decimal fields with
// '#' comments running to the end of the line.
class NetpbmHeader {
public:
    NetpbmHeader(const std::string& path, const std::vector<uint8_t>& bytes)
        : path_(path), bytes_(bytes) {}

    void ExpectMagic(const char* magic) {
        if (bytes_.size() < 2 || bytes_[0] != magic[0] || bytes_[1] != magic[1]) {
            Fail(path_, std::string("not a binary netpbm file of type ") + magic);
        }
        position_ = 2;
    }

    int NextField(int maximum) {
        SkipSpaceAndComments();
        long value = 0;
        size_t start = position_;
        while (position_ < bytes_.size() && std::isdigit(bytes_[position_])) {
            value = value * 10 + (bytes_[position_++] - '0');
            if (value > maximum) {
                Fail(path_, "header value too large");
            }
        }
        if (position_ == start || value == 0) {
            Fail(path_, "malformed header");
        }
        return static_cast<int>(value);
    }

    // Exactly one whitespace byte separates the header from the samples.
    size_t SamplesStart() const {
        if (position_ >= bytes_.size() || !std::isspace(bytes_[position_])) {
            Fail(path_, "malformed header");
        }
        return position_ + 1;
    }

private:
    void SkipSpaceAndComments() {
        while (position_ < bytes_.size()) {
            if (bytes_[position_] == '#') {
                while (position_ < bytes_.size() && bytes_[position_] != '\n') {
                    ++position_;
                }
            } else if (std::isspace(bytes_[position_])) {
                ++position_;
            } else {
                return;
            }
        }
    }

    const std::string& path_;
    const std::vector<uint8_t>& bytes_;
    size_t position_ = 0;
};

Image ReadNetpbm(const std::string& path, const char* magic, int channels, int* maxValue) {
    std::vector<uint8_t> bytes = ReadWholeFile(path);
    NetpbmHeader header(path, bytes);
    header.ExpectMagic(magic);
    Image image;
    image.channels = channels;
    image.width = header.NextField(kMaxDimension);
    image.height = header.NextField(kMaxDimension);
    *maxValue = header.NextField(65535);
    if (*maxValue > 255) {
        Fail(path, "only 8-bit samples are supported");
    }
    size_t start = header.SamplesStart();
    size_t count = static_cast<size_t>(image.width) * static_cast<size_t>(image.height) *
                   static_cast<size_t>(channels);
    if (bytes.size() - start < count) {
        Fail(path, "fewer samples than the header announces");
    }
    image.pixels.assign(bytes.begin() + static_cast<std::ptrdiff_t>(start),
                        bytes.begin() + static_cast<std::ptrdiff_t>(start + count));
    return image;
}

}  // namespace

Image ReadPgm(const std::string& path) {
    int maxValue = 0;
    return ReadNetpbm(path, "P5", 1, &maxValue);
}

Image ReadPpm(const std::string& path) {
    int maxValue = 0;
    Image image = ReadNetpbm(path, "P6", 3, &maxValue);
    if (maxValue < 255) {
        for (uint8_t& sample : image.pixels) {
            sample = static_cast<uint8_t>(std::min(sample, static_cast<uint8_t>(maxValue)) * 255 /
                                          maxValue);
        }
    }
    return image;
}

Image ReadPng(const std::string& path) {
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&png, path.c_str())) {
        Fail(path, png.message);
    }
    png.format = PNG_FORMAT_RGB;
    Image image;
    image.width = static_cast<int>(png.width);
    image.height = static_cast<int>(png.height);
    image.channels = 3;
    image.pixels.resize(PNG_IMAGE_SIZE(png));
    if (!png_image_finish_read(&png, nullptr, image.pixels.data(), 0, nullptr)) {
        std::string message = png.message;
        png_image_free(&png);
        Fail(path, message);
    }
    return image;
}

Image ReadColourImage(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        Fail(path, "cannot open");
    }
    char magic[2] = {};
    file.read(magic, sizeof magic);
    if (magic[0] == 'P' && magic[1] == '6') {
        return ReadPpm(path);
    }
    return ReadPng(path);
}

}  // namespace sim
