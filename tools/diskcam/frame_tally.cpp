#include "tools/diskcam/frame_tally.h"

namespace tool {

// The pin marks an image delivered again with the field-repeat flag; a
// header without frame information counts as a new image.
void FrameTally::Count(const client::StreamBuffer& buffer) {
    const std::optional<KS_FRAME_INFO> info = buffer.FrameInfo();
    if (info && (info->dwFrameFlags & KS_VIDEO_FLAG_REPEAT_FIELD) != 0) {
        ++repeated_;
    } else {
        ++new_;
    }
    if (info) {
        dropped_ = info->DropCount;
    }
}

std::string FrameTally::Text() const {
    return "(new " + std::to_string(new_) + ", repeated " + std::to_string(repeated_) +
           ", dropped " + std::to_string(dropped_) + ")";
}

}  // namespace tool
