// The `capture` command: frames from the camera through the whole driver
// stack, as a capture application receives them.
#pragma once

#include "host/client/filter.h"
#include "tools/diskcam/options.h"

namespace tool {

// Streams from the open filter as the options say and reports on stderr.
// Throws std::runtime_error (or RequestRefused) with one line for the user.
void RunCapture(client::Filter& filter, const CaptureOptions& options);

// Set by the interrupt handler: stop at the next completed buffer.
void RequestStop();

}  // namespace tool
