// diskcam.exe: the driver's controls on a Windows machine. It finds the
// cameras among the capture filters through the device-interface API and
// runs the same `controls` command as the host tool, with the same syntax
// and output, over IOCTL_KS_PROPERTY.
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "diskcam/controls.h"
#include "tools/controls_protocol/command.h"
#include "tools/windows/windows_transport.h"

namespace {

const char* const Usage =
    "usage: diskcam list\n"
    "       diskcam controls [--camera N] [NAME | NAME=VALUE | ID | ID=VALUE]...\n"
    "       diskcam controls --standard [--camera N] [NAME | NAME=VALUE | NAME=auto]...\n"
    "The cameras are numbered from 1 in the order `diskcam list` prints them.\n";

// The capture filters that serve the driver's private control set.
std::vector<std::wstring> FindCameras() {
    std::vector<std::wstring> cameras;
    for (const std::wstring& path : wintool::FindFilterPaths(GUID{STATIC_KSCATEGORY_CAPTURE})) {
        try {
            wintool::WindowsTransport transport(path);
            controls::ControlClient client(transport);
            if (client.Access(*controls::FindPrivate("Timeout")) != 0) {
                cameras.push_back(path);
            }
        } catch (const std::runtime_error&) {
            // A filter this user cannot open is not listed.
        }
    }
    return cameras;
}

int List() {
    std::vector<std::wstring> cameras = FindCameras();
    for (size_t index = 0; index < cameras.size(); ++index) {
        std::printf("%zu %s\n", index + 1, wintool::Narrow(cameras[index]).c_str());
    }
    if (cameras.empty()) {
        throw std::runtime_error("no camera found");
    }
    return 0;
}

size_t ParseCamera(const std::string& text) {
    int32_t number = controls::ParseValue(text);
    if (number < 1) {
        throw std::invalid_argument("--camera takes a number from 1, not '" + text + "'");
    }
    return static_cast<size_t>(number);
}

int Controls(const std::vector<std::string>& arguments) {
    size_t camera = 1;
    bool standard = false;
    std::vector<std::string> operations;
    for (size_t index = 0; index < arguments.size(); ++index) {
        if (arguments[index] == "--standard") {
            standard = true;
        } else if (arguments[index] == "--camera") {
            if (++index == arguments.size()) {
                throw std::invalid_argument("--camera needs a value");
            }
            camera = ParseCamera(arguments[index]);
        } else if (arguments[index].rfind("--", 0) == 0) {
            throw std::invalid_argument("unknown option '" + arguments[index] + "'");
        } else {
            operations.push_back(arguments[index]);
        }
    }
    std::vector<std::wstring> cameras = FindCameras();
    if (camera > cameras.size()) {
        throw std::runtime_error(cameras.empty() ? "no camera found"
                                                 : "there is no camera " + std::to_string(camera));
    }
    wintool::WindowsTransport transport(cameras[camera - 1]);
    controls::ControlClient client(transport);
    controls::RunControls(client, operations, standard);
    return 0;
}

bool AsksForHelp(const std::vector<std::string>& arguments) {
    for (const std::string& argument : arguments) {
        if (argument == "--help" || argument == "-h" || argument == "/?") {
            return true;
        }
    }
    return false;
}

int Run(const std::vector<std::string>& arguments) {
    if (AsksForHelp(arguments)) {
        std::fputs(Usage, stdout);
        return 0;
    }
    if (arguments.empty()) {
        throw std::invalid_argument("no command");
    }
    std::vector<std::string> rest(arguments.begin() + 1, arguments.end());
    if (arguments[0] == "list" && rest.empty()) {
        return List();
    }
    if (arguments[0] == "controls") {
        return Controls(rest);
    }
    throw std::invalid_argument("unknown command '" + arguments[0] + "'");
}

}  // namespace

int main(int argc, char** argv) {
    return controls::RunToolMain(argc, argv, Usage, Run);
}
