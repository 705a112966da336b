// What the delivered frames were, from the frame information the capture
// pin writes into each stream header: new images, repeats of the image
// before, and the camera's frames that no delivery carried.
#pragma once

#include <string>

#include "host/client/pin.h"

namespace tool {

class FrameTally {
public:
    // One delivered buffer with an image.
    void Count(const client::StreamBuffer& buffer);
    // "(new N, repeated M, dropped D)".
    std::string Text() const;

private:
    long new_ = 0;
    long repeated_ = 0;
    long long dropped_ = 0;  // as of the last delivery
};

}  // namespace tool
