// The `capture` command: frames from the camera through the whole driver
// stack, as a capture application receives them.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "host/client/filter.h"
#include "tools/diskcam/options.h"

namespace tool {

// Streams from the open filter as the options say and reports on stderr.
// Throws std::runtime_error (or RequestRefused) with one line for the user
// when the stream cannot start. A stream that started but fell short (fewer
// frames than asked, no camera frame at all, the stream ended by the driver)
// returns why, in one line, once the frames it got are written; an empty
// string when it did what was asked. `unplug` pulls the cameras out, for
// --sim-unplug-after.
std::string RunCapture(client::Filter& filter, const CaptureOptions& options,
                       const std::function<void()>& unplug);

constexpr ULONG CapturePinId = 0;

// The format the capture pin proposes for its range of the named format
// (RGB32, YUY2 or NV12), as an application negotiates it. Throws
// std::runtime_error when the pin refuses.
std::vector<UCHAR> NegotiateFormat(client::Filter& filter, const std::string& name = "RGB32");

// Set by the interrupt handler: stop at the next completed buffer.
void RequestStop();

}  // namespace tool
