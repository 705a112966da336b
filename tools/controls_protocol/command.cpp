#include "tools/controls_protocol/command.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include "diskcam/controls.h"
#include "tools/controls_protocol/report.h"
#include "tools/controls_protocol/windows_layouts.h"

namespace controls {

namespace {

Window ParseWindow(const std::string& text) {
    Window window{};
    char extra;
    if (std::sscanf(text.c_str(), "%d,%d,%d,%d,%d%c", &window.mode, &window.x, &window.y,
                    &window.width, &window.height, &extra) != 5) {
        throw std::invalid_argument("ReadoutWindow takes MODE,X,Y,W,H, not '" + text + "'");
    }
    return window;
}

bool SameName(const std::string& a, const char* b) {
    if (b == nullptr || a.size() != std::char_traits<char>::length(b)) {
        return false;
    }
    for (size_t index = 0; index < a.size(); ++index) {
        if (std::tolower(static_cast<unsigned char>(a[index])) !=
            std::tolower(static_cast<unsigned char>(b[index]))) {
            return false;
        }
    }
    return true;
}

void PrintAll(ControlClient& client) {
    for (uint32_t id = 0; id < diskcam::ControlItemCount; ++id) {
        uint32_t access = client.Access(id);
        std::optional<int32_t> value;
        if ((access & KSPROPERTY_TYPE_GET) != 0) {
            value = client.Get(id);
        }
        std::printf("%s\n", PrivateItemLine(id, value, access).c_str());
    }
}

uint32_t FindOrThrow(const std::string& nameOrId) {
    std::optional<uint32_t> id = FindPrivate(nameOrId);
    if (!id) {
        throw std::invalid_argument("no control named '" + nameOrId + "'");
    }
    return *id;
}

const diskcam::StandardControl& FindStandardOrThrow(const std::string& name) {
    const diskcam::StandardControl* control = FindStandard(name.c_str());
    if (control == nullptr) {
        throw std::invalid_argument("no standard control named '" + name + "'");
    }
    return *control;
}

void PrintStandard(ControlClient& client, const diskcam::StandardControl& control) {
    std::printf("%s\n", StandardLine(control, client.Read(control)).c_str());
}

void RunStandard(ControlClient& client, const std::string& operation) {
    const size_t equals = operation.find('=');
    if (equals == std::string::npos) {
        PrintStandard(client, FindStandardOrThrow(operation));
        return;
    }
    const diskcam::StandardControl& control = FindStandardOrThrow(operation.substr(0, equals));
    const std::string value = operation.substr(equals + 1);
    if (SameName(value, "auto")) {
        client.Set(control, 0, true);
    } else {
        client.Set(control, ParseValue(value), false);
    }
}

void RunPrivate(ControlClient& client, const std::string& operation) {
    if (operation.find('=') != std::string::npos) {
        ApplyAssignment(client, operation);
        return;
    }
    uint32_t id = FindOrThrow(operation);
    std::printf("%s\n", PrivateValueLine(id, client.Get(id)).c_str());
}

}  // namespace

std::optional<uint32_t> FindPrivate(const std::string& nameOrId) {
    if (!nameOrId.empty() && nameOrId.find_first_not_of("0123456789") == std::string::npos &&
        nameOrId.size() < 4) {
        uint32_t id = static_cast<uint32_t>(std::stoul(nameOrId));
        if (id < diskcam::ControlItemCount) {
            return id;
        }
        return std::nullopt;
    }
    for (uint32_t id = 0; id < diskcam::ControlItemCount; ++id) {
        if (SameName(nameOrId, diskcam::ControlItemNames[id])) {
            return id;
        }
    }
    return std::nullopt;
}

int32_t ParseValue(const std::string& text) {
    errno = 0;
    char* end = nullptr;
    long long value = std::strtoll(text.c_str(), &end, 0);
    if (text.empty() || *end != '\0' || errno != 0 || value < INT32_MIN || value > INT32_MAX) {
        throw std::invalid_argument("'" + text + "' is not a 32-bit number");
    }
    return static_cast<int32_t>(value);
}

void ApplyAssignment(ControlClient& client, const std::string& assignment) {
    size_t equals = assignment.find('=');
    if (equals == std::string::npos) {
        throw std::invalid_argument("expected NAME=VALUE, not '" + assignment + "'");
    }
    uint32_t id = FindOrThrow(assignment.substr(0, equals));
    std::string value = assignment.substr(equals + 1);
    if (id == diskcam::ReadoutWindowItem) {
        client.SetWindow(ParseWindow(value));
    } else {
        client.Set(id, ParseValue(value));
    }
}

void RunControls(ControlClient& client, const std::vector<std::string>& operations, bool standard) {
    if (operations.empty()) {
        if (!standard) {
            PrintAll(client);
            return;
        }
        for (const diskcam::StandardControl& control : diskcam::StandardControls) {
            PrintStandard(client, control);
        }
        return;
    }
    for (const std::string& operation : operations) {
        if (standard) {
            RunStandard(client, operation);
        } else {
            RunPrivate(client, operation);
        }
    }
}

int RunToolMain(int argc, char** argv, const char* usage,
                int (*run)(const std::vector<std::string>& arguments)) {
    std::vector<std::string> arguments(argv + 1, argv + argc);
    try {
        return run(arguments);
    } catch (const std::invalid_argument& error) {
        std::fprintf(stderr, "diskcam: %s\n%s", error.what(), usage);
        return 2;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "diskcam: %s\n", error.what());
        return 1;
    }
}

}  // namespace controls
