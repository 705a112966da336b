// The command line of the diskcam tool.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "host/system/system.h"
#include "tools/diskcam/controls.h"

namespace tool {

struct CommonOptions {
    std::vector<std::string> cameras;  // empty: one simulated camera
    std::string scene = "bars";
    double framesPerSecond = 30;
    // How long a simulated camera's transfers take.
    sim::TransferTiming simTiming = sim::TransferTiming::HighSpeed();
    std::string registryFile;  // empty: the default store
    std::string simLogFile;
    std::string driverFile;  // empty: $DISKCAM_DRIVER, else the linked driver
    // Simulated cameras whose frame-ready flag never rises.
    bool simNoFrames = false;
};

struct CaptureOptions {
    CommonOptions common;
    long frames = 10;
    std::optional<double> seconds;
    std::string outDirectory;
    std::string outputFile;        // "-" for standard output
    std::string format = "RGB32";  // RGB32, YUY2 or NV12
    // The output stream's rows top-down, as video tools take them, instead
    // of bottom-up as delivered.
    bool topDown = false;
    std::optional<Window> window;
    std::optional<int> subSample;
    std::vector<std::string> assignments;
    std::string poolLogFile;  // empty: no pool sampling
    double poolLogSeconds = 5;
    // The cameras are unplugged once this many frames were delivered.
    std::optional<long> simUnplugAfter;
};

struct ControlsOptions {
    CommonOptions common;
    std::vector<std::string> operations;
    // The operations name standard properties.
    bool standard = false;
};

// Throw std::invalid_argument with a message for the user.
CaptureOptions ParseCaptureOptions(const std::vector<std::string>& arguments);
ControlsOptions ParseControlsOptions(const std::vector<std::string>& arguments);

// The host system the options describe, with the settings store resolved.
host::SystemOptions SystemOptionsFor(const CommonOptions& options);

extern const char* const Usage;

}  // namespace tool
