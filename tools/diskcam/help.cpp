#include "tools/diskcam/help.h"

#include <algorithm>
#include <sstream>

#include "tools/diskcam/options.h"

namespace tool {

namespace {

constexpr char UsageHead[] = "usage: ";

// The command a usage line introduces ("diskcam NAME ..." after the head or
// its indentation); empty for a continuation line.
std::string CommandOf(const std::string& line) {
    size_t start =
        line.rfind(UsageHead, 0) == 0 ? sizeof UsageHead - 1 : line.find_first_not_of(' ');
    if (start == std::string::npos || line.compare(start, 8, "diskcam ") != 0) {
        return {};
    }
    size_t name = start + 8;
    return line.substr(name, line.find(' ', name) - name);
}

}  // namespace

bool AsksForHelp(const std::vector<std::string>& arguments) {
    return std::any_of(arguments.begin(), arguments.end(), [](const std::string& argument) {
        return argument == "--help" || argument == "-h";
    });
}

std::string CommandUsage(const std::string& command) {
    std::istringstream lines(Usage);
    std::string usage;
    bool inside = false;
    for (std::string line; std::getline(lines, line);) {
        std::string introduced = CommandOf(line);
        if (!introduced.empty()) {
            inside = introduced == command;
            if (inside) {
                // The head is as wide as the indentation it replaces.
                line = UsageHead + line.substr(sizeof UsageHead - 1);
            }
        }
        if (inside) {
            usage += line + "\n";
        }
    }
    return usage;
}

}  // namespace tool
