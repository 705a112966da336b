// diskcam: runs the driver on the host kernel and drives it as applications
// do. `capture` streams frames from the camera (simulated by default) into
// PNG files or a raw stream; `controls` reads and changes the driver's
// settings through its property set; `list` shows what the driver publishes.
// Settings persist in a .reg file.
#include <ksmedia.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/client/filter.h"
#include "host/system/system.h"
#include "tools/controls_protocol/command.h"
#include "tools/diskcam/capture.h"
#include "tools/diskcam/controls.h"
#include "tools/diskcam/help.h"
#include "tools/diskcam/list.h"
#include "tools/diskcam/options.h"
#include "tools/diskcam/statuses.h"

namespace {

void InterruptHandler(int) {
    tool::RequestStop();
}

std::unique_ptr<client::Filter> OpenCaptureFilter() {
    const GUID videoCategory = {STATIC_KSCATEGORY_VIDEO};
    std::vector<std::string> filters = client::FindFilters(videoCategory);
    if (filters.empty()) {
        throw std::runtime_error("the driver offers no capture filter");
    }
    std::unique_ptr<client::Filter> filter;
    NTSTATUS status = client::Filter::Open(filters[0], &filter);
    if (!NT_SUCCESS(status)) {
        throw std::runtime_error("the filter cannot be opened: " + tool::StatusText(status));
    }
    return filter;
}

// A driver that broke a simulated camera's protocol fails the run.
void CheckProtocol(const host::System& system) {
    size_t number = 0;
    for (const auto& camera : system.SimulatedCameras()) {
        ++number;
        std::vector<std::string> violations = camera->Violations();
        if (!violations.empty()) {
            std::string more = violations.size() > 1
                                   ? " (and " + std::to_string(violations.size() - 1) + " more)"
                                   : "";
            throw std::runtime_error("simulated camera " + std::to_string(number) + ": " +
                                     violations.front() + more);
        }
    }
}

// Brings the system up, runs the command on it, and shuts down so that the
// settings reach the store; the sim log is written, then the cameras'
// protocol checked.
template <typename Command>
void RunOnSystem(const host::SystemOptions& systemOptions, const tool::CommonOptions& common,
                 Command command) {
    std::filesystem::path store(systemOptions.registryFile);
    if (store.has_parent_path()) {
        std::filesystem::create_directories(store.parent_path());
    }
    host::System system(systemOptions);
    command(system);
    system.Shutdown();
    if (!common.simLogFile.empty() && !system.SimulatedCameras().empty()) {
        system.SimulatedCameras().front()->WriteLog(common.simLogFile);
    }
    CheckProtocol(system);
}

// The same, with the command run on the capture filter, closed before the
// shutdown.
template <typename Command>
void RunOnFilter(const tool::CommonOptions& common, Command command) {
    RunOnSystem(tool::SystemOptionsFor(common), common, [&](host::System& system) {
        std::unique_ptr<client::Filter> filter = OpenCaptureFilter();
        command(*filter, system);
    });
}

int RunList(const std::vector<std::string>& arguments) {
    tool::ListOptions options = tool::ParseListOptions(arguments);
    host::SystemOptions systemOptions = tool::SystemOptionsFor(options.common);
    if (options.common.cameras.empty()) {
        systemOptions.cameras = tool::MachineDisks();
    }
    RunOnSystem(systemOptions, options.common,
                [&](host::System& system) { tool::RunList(system, systemOptions.cameras); });
    return 0;
}

int Run(const std::vector<std::string>& arguments) {
    if (arguments.empty()) {
        throw std::invalid_argument("no command");
    }
    if (tool::AsksForHelp({arguments[0]})) {
        std::fputs(tool::Usage, stdout);
        return 0;
    }
    std::vector<std::string> rest(arguments.begin() + 1, arguments.end());
    const std::string usage = tool::CommandUsage(arguments[0]);
    if (!usage.empty() && tool::AsksForHelp(rest)) {
        std::fputs(usage.c_str(), stdout);
        return 0;
    }
    if (arguments[0] == "capture") {
        tool::CaptureOptions options = tool::ParseCaptureOptions(rest);
        std::signal(SIGINT, InterruptHandler);
        std::string shortfall;
        RunOnFilter(options.common, [&](client::Filter& filter, host::System& system) {
            shortfall = tool::RunCapture(filter, options, [&] { system.UnplugCameras(); });
        });
        // After the frames, the settings and the log are written.
        if (!shortfall.empty()) {
            throw std::runtime_error(shortfall);
        }
        return 0;
    }
    if (arguments[0] == "controls") {
        tool::ControlsOptions options = tool::ParseControlsOptions(rest);
        RunOnFilter(options.common, [&](client::Filter& filter, host::System&) {
            tool::Controls controls(filter);
            controls::RunControls(controls, options.operations, options.standard);
        });
        return 0;
    }
    if (arguments[0] == "list") {
        return RunList(rest);
    }
    throw std::invalid_argument("unknown command '" + arguments[0] + "'");
}

}  // namespace

int main(int argc, char** argv) {
    return controls::RunToolMain(argc, argv, tool::Usage, Run);
}
