// Help on the command line: the usage of the whole tool or of one command,
// both cut from the one usage text.
#pragma once

#include <string>
#include <vector>

namespace tool {

// True when the arguments ask for help (--help or -h).
bool AsksForHelp(const std::vector<std::string>& arguments);

// The usage lines of one command, headed "usage: "; empty for a command the
// tool does not have.
std::string CommandUsage(const std::string& command);

}  // namespace tool
