#include "tools/diskcam/options.h"

#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include "sim/scene.h"
#include "tools/diskcam/formats.h"

namespace tool {

const char* const Usage =
    "usage: diskcam capture  [--camera sim|PATH]... [--scene bars|FILE|raw:FILE.pgm] [--fps N]\n"
    "                        [--frames N | --seconds S] [--out DIR] [--output FILE|-]\n"
    "                        [--window X,Y,W,H] [--subsample 0|1|2] [--set NAME=VALUE]...\n"
    "                        [--registry FILE] [--sim-log FILE] [--driver FILE.sys]\n"
    "                        [--sim-link usb2|usb3|instant] [--sim-no-frames]\n"
    "                        [--sim-unplug-after N] [--pool-log FILE [--pool-interval S]]\n"
    "                        [--format RGB32|YUY2|NV12] [--top-down]\n"
    "       diskcam controls [--camera sim|PATH]... [--registry FILE] [--driver FILE.sys]\n"
    "                        [NAME | NAME=VALUE | ID | ID=VALUE]...\n"
    "       diskcam controls --standard [--camera sim|PATH]... [--registry FILE]\n"
    "                        [--driver FILE.sys] [NAME | NAME=VALUE | NAME=auto]...\n"
    "       diskcam list     [--camera sim|PATH]... [--registry FILE] [--driver FILE.sys]\n";

namespace {

// Walks the arguments; options take their value from the next argument.
class Arguments {
public:
    explicit Arguments(const std::vector<std::string>& arguments) : arguments_(arguments) {}

    bool Done() const { return index_ >= arguments_.size(); }
    const std::string& Next() { return arguments_[index_++]; }
    std::string Value(const std::string& option) {
        if (Done()) {
            throw std::invalid_argument(option + " needs a value");
        }
        return Next();
    }

private:
    const std::vector<std::string>& arguments_;
    size_t index_ = 0;
};

double ParseNumber(const std::string& option, const std::string& text) {
    char* end = nullptr;
    double value = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !(value >= 0)) {
        throw std::invalid_argument(option + " takes a number that is not negative, not '" + text +
                                    "'");
    }
    return value;
}

sim::TransferTiming ParseLink(const std::string& text) {
    if (text == "usb2") {
        return sim::TransferTiming::HighSpeed();
    }
    if (text == "usb3") {
        return sim::TransferTiming::SuperSpeed();
    }
    if (text == "instant") {
        return sim::TransferTiming::Instant();
    }
    throw std::invalid_argument("--sim-link takes usb2, usb3 or instant, not '" + text + "'");
}

Window ParseWindowOption(const std::string& text) {
    Window window{0, 0, 0, 0, 0};
    char extra;
    if (std::sscanf(text.c_str(), "%d,%d,%d,%d%c", &window.x, &window.y, &window.width,
                    &window.height, &extra) != 4) {
        throw std::invalid_argument("--window takes X,Y,W,H, not '" + text + "'");
    }
    return window;
}

// Takes an option every command has; false when the option is not one.
bool TakeCommon(const std::string& option, Arguments& arguments, CommonOptions& common) {
    if (option == "--camera") {
        common.cameras.push_back(arguments.Value(option));
    } else if (option == "--registry") {
        common.registryFile = arguments.Value(option);
    } else if (option == "--scene") {
        common.scene = arguments.Value(option);
    } else if (option == "--fps") {
        common.framesPerSecond = ParseNumber(option, arguments.Value(option));
    } else if (option == "--sim-link") {
        common.simTiming = ParseLink(arguments.Value(option));
    } else if (option == "--sim-log") {
        common.simLogFile = arguments.Value(option);
    } else if (option == "--driver") {
        common.driverFile = arguments.Value(option);
    } else if (option == "--sim-no-frames") {
        common.simNoFrames = true;
    } else {
        return false;
    }
    return true;
}

bool TakeCaptureOption(const std::string& option, Arguments& arguments, CaptureOptions& capture) {
    if (option == "--frames") {
        double frames = ParseNumber(option, arguments.Value(option));
        if (frames < 1 || frames != static_cast<long>(frames)) {
            throw std::invalid_argument("--frames takes a whole number of at least 1");
        }
        capture.frames = static_cast<long>(frames);
    } else if (option == "--sim-unplug-after") {
        double frames = ParseNumber(option, arguments.Value(option));
        if (frames != static_cast<long>(frames)) {
            throw std::invalid_argument("--sim-unplug-after takes a whole number");
        }
        capture.simUnplugAfter = static_cast<long>(frames);
    } else if (option == "--seconds") {
        capture.seconds = ParseNumber(option, arguments.Value(option));
    } else if (option == "--out") {
        capture.outDirectory = arguments.Value(option);
    } else if (option == "--output") {
        capture.outputFile = arguments.Value(option);
    } else if (option == "--format") {
        capture.format = ParseFormatName(arguments.Value(option));
    } else if (option == "--top-down") {
        capture.topDown = true;
    } else if (option == "--window") {
        capture.window = ParseWindowOption(arguments.Value(option));
    } else if (option == "--subsample") {
        std::string mode = arguments.Value(option);
        if (mode != "0" && mode != "1" && mode != "2") {
            throw std::invalid_argument("--subsample takes 0, 1 or 2, not '" + mode + "'");
        }
        capture.subSample = std::stoi(mode);
    } else if (option == "--set") {
        capture.assignments.push_back(arguments.Value(option));
    } else if (option == "--pool-log") {
        capture.poolLogFile = arguments.Value(option);
    } else if (option == "--pool-interval") {
        capture.poolLogSeconds = ParseNumber(option, arguments.Value(option));
        if (!(capture.poolLogSeconds >= 0.01)) {
            throw std::invalid_argument("--pool-interval takes at least 0.01 seconds");
        }
    } else {
        return false;
    }
    return true;
}

std::string DefaultRegistryFile() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    std::string base;
    if (config != nullptr && *config != '\0') {
        base = config;
    } else {
        const char* home = std::getenv("HOME");
        base = std::string(home != nullptr ? home : ".") + "/.config";
    }
    return base + "/diskcam/settings.reg";
}

}  // namespace

CaptureOptions ParseCaptureOptions(const std::vector<std::string>& list) {
    CaptureOptions capture;
    Arguments arguments(list);
    while (!arguments.Done()) {
        const std::string& option = arguments.Next();
        if (!TakeCommon(option, arguments, capture.common) &&
            !TakeCaptureOption(option, arguments, capture)) {
            throw std::invalid_argument("unknown option '" + option + "'");
        }
    }
    return capture;
}

ControlsOptions ParseControlsOptions(const std::vector<std::string>& list) {
    ControlsOptions controls;
    Arguments arguments(list);
    while (!arguments.Done()) {
        const std::string& argument = arguments.Next();
        if (argument == "--standard") {
            controls.standard = true;
        } else if (argument.rfind("--", 0) == 0) {
            if (!TakeCommon(argument, arguments, controls.common)) {
                throw std::invalid_argument("unknown option '" + argument + "'");
            }
        } else {
            controls.operations.push_back(argument);
        }
    }
    return controls;
}

host::SystemOptions SystemOptionsFor(const CommonOptions& options) {
    host::SystemOptions system;
    if (!options.cameras.empty()) {
        system.cameras = options.cameras;
    }
    system.simulated.scene = sim::Scene::Load(options.scene);
    system.simulated.framesPerSecond = options.framesPerSecond;
    system.simulated.timing = options.simTiming;
    system.simulated.frameReadyNeverRises = options.simNoFrames;
    system.registryFile =
        options.registryFile.empty() ? DefaultRegistryFile() : options.registryFile;
    const char* environment = std::getenv("DISKCAM_DRIVER");
    system.driverFile = !options.driverFile.empty() ? options.driverFile
                        : environment != nullptr    ? environment
                                                    : "";
    return system;
}

}  // namespace tool
