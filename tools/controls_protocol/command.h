// The `controls` command over any transport: its operations (NAME, ID,
// NAME=VALUE; with `standard`, the standard properties by name, NAME=auto
// setting the auto flag) and the lines it prints, the same in every tool.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tools/controls_protocol/client.h"

namespace controls {

// The private item's id for a name (any case) or a decimal id; nothing when
// neither names an item.
std::optional<uint32_t> FindPrivate(const std::string& nameOrId);

// Parses a signed 32-bit decimal (or 0x hex) value; std::invalid_argument
// when it is not one.
int32_t ParseValue(const std::string& text);

// Parses "NAME=VALUE" or "ID=VALUE" and applies it; ReadoutWindow takes
// MODE,X,Y,W,H. Throws std::invalid_argument for a malformed assignment.
void ApplyAssignment(ControlClient& client, const std::string& assignment);

// Runs the operations in order, printing to standard output; with none,
// lists every item (or every standard property).
void RunControls(ControlClient& client, const std::vector<std::string>& operations, bool standard);

// A tool's main: runs the command line's arguments (after the program
// name). A bad argument (std::invalid_argument) prints "diskcam: WHY" and
// the usage on standard error and gives 2; any other failure prints
// "diskcam: WHY" and gives 1.
int RunToolMain(int argc, char** argv, const char* usage,
                int (*run)(const std::vector<std::string>& arguments));

}  // namespace controls
