// The formats `capture --format` asks the capture pin for, by name, found
// among the pin's data ranges by their bitmap header's compression.
#pragma once

#include <ks.h>

#include <string>
#include <vector>

namespace tool {

// "RGB32", "YUY2" or "NV12"; throws std::invalid_argument for any other.
std::string ParseFormatName(const std::string& text);
// RGB32 frames are bottom-up BGRA, written as PNG files; YUV ones are raw.
bool IsRgbFormat(const std::string& name);
// The index of the range of the named format; throws std::runtime_error
// when the pin offers none.
size_t RangeOfFormat(const std::vector<std::vector<UCHAR>>& ranges, const std::string& name);

}  // namespace tool
