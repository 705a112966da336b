// NTSTATUS values in the tool's messages, and what a refused stream start
// means to the user.
#pragma once

#include <ntddk.h>

#include <string>

namespace tool {

// "0xC0000043".
std::string StatusText(NTSTATUS status);

// One line for a stream start the driver refused: the camera busy with
// another application's stream, no camera, or the status itself.
std::string StreamStartRefusal(NTSTATUS status);

}  // namespace tool
