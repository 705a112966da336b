// Format names, and the ranges of the capture pin that carry them.
#include "tools/diskcam/formats.h"

#include <ksmedia.h>

#include <cstddef>
#include <cstring>
#include <stdexcept>

namespace tool {

namespace {

struct NamedFormat {
    const char* name;
    DWORD compression;  // BI_RGB or the FOURCC, four characters in memory order
};

const NamedFormat Formats[] = {
    {"RGB32", KS_BI_RGB},
    {"YUY2", 0x32595559},
    {"NV12", 0x3231564E},
};

const NamedFormat& Find(const std::string& name) {
    for (const NamedFormat& format : Formats) {
        if (name == format.name) {
            return format;
        }
    }
    throw std::invalid_argument("--format takes RGB32, YUY2 or NV12, not '" + name + "'");
}

}  // namespace

std::string ParseFormatName(const std::string& text) {
    return Find(text).name;
}

bool IsRgbFormat(const std::string& name) {
    return Find(name).compression == KS_BI_RGB;
}

size_t RangeOfFormat(const std::vector<std::vector<UCHAR>>& ranges, const std::string& name) {
    constexpr size_t compressionAt = offsetof(KS_DATARANGE_VIDEO, VideoInfoHeader) +
                                     offsetof(KS_VIDEOINFOHEADER, bmiHeader) +
                                     offsetof(KS_BITMAPINFOHEADER, biCompression);
    const DWORD wanted = Find(name).compression;
    for (size_t index = 0; index < ranges.size(); ++index) {
        DWORD compression;
        if (ranges[index].size() >= sizeof(KS_DATARANGE_VIDEO)) {
            std::memcpy(&compression, ranges[index].data() + compressionAt, sizeof compression);
            if (compression == wanted) {
                return index;
            }
        }
    }
    throw std::runtime_error("the capture pin offers no " + name + " format");
}

}  // namespace tool
