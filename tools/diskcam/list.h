// The `list` command: each filter the driver publishes, with the categories
// applications find it under, the formats of its pins and the camera it
// drives among the disks it was given.
#pragma once

#include <string>
#include <vector>

#include "host/system/system.h"
#include "tools/diskcam/options.h"

namespace tool {

struct ListOptions {
    CommonOptions common;  // no --camera: the machine's disks
};

// Throws std::invalid_argument with a message for the user.
ListOptions ParseListOptions(const std::vector<std::string>& arguments);

// The whole block devices of this machine that the tool can open for
// reading and writing, as the camera's disk is opened.
std::vector<std::string> MachineDisks();

// Prints the filters on standard output. `disks` names the attached disks
// in the system's order. Throws std::runtime_error when there is no filter.
void RunList(const host::System& system, const std::vector<std::string>& disks);

}  // namespace tool
