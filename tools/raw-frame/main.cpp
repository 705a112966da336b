// diskcam-raw-frame: loads the driver on the host kernel with one simulated
// camera, lets it find and configure the camera for a window, reads one raw
// Bayer frame through the camera link and writes it as an 8-bit PGM file.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "camera/camera_device.h"
#include "camera/sensor.h"
#include "driver/device.h"
#include "host/ks/device.h"
#include "host/nt/disks.h"
#include "sim/sim_camera.h"

namespace {

struct Options {
    std::string output = "frame.pgm";
    std::string scene = "bars";
    LONG x = 0, y = 0, width = SensorWidth, height = SensorHeight, mode = 0;
};

Options ParseOptions(int argc, char** argv) {
    Options options;
    for (int index = 1; index < argc; ++index) {
        std::string argument = argv[index];
        auto value = [&]() -> std::string {
            if (index + 1 >= argc) {
                throw std::runtime_error(argument + " needs a value");
            }
            return argv[++index];
        };
        if (argument == "--out") {
            options.output = value();
        } else if (argument == "--scene") {
            options.scene = value();
        } else if (argument == "--window") {
            if (std::sscanf(value().c_str(), "%d,%d,%d,%d", &options.x, &options.y,
                            &options.width, &options.height) != 4) {
                throw std::runtime_error("--window takes X,Y,W,H");
            }
        } else if (argument == "--subsample") {
            options.mode = std::stoi(value());
        } else {
            throw std::runtime_error("unknown option " + argument +
                                     " (options: --out FILE --scene S --window X,Y,W,H "
                                     "--subsample 0|1|2)");
        }
    }
    return options;
}

void WritePgm(const std::string& path, const std::vector<uint8_t>& frame, LONG width,
              LONG height) {
    std::ofstream out(path, std::ios::binary);
    out << "P5\n" << width << " " << height << "\n255\n";
    out.write(reinterpret_cast<const char*>(frame.data()), std::streamsize(width) * height);
    if (!out) {
        throw std::runtime_error("cannot write " + path);
    }
}

int Run(const Options& options) {
    sim::SimOptions simOptions;
    simOptions.scene = sim::Scene::Load(options.scene);
    host::AttachDisk(std::make_shared<sim::SimCamera>(simOptions));

    host::Driver driver(DriverEntry);
    host::Device device(driver);
    if (device.Add() != STATUS_SUCCESS) {
        throw std::runtime_error("device add failed");
    }
    auto* camera = static_cast<CameraDevice*>(device.Ks()->Context);
    SetReadoutWindow(camera, options.x, options.y, options.width, options.height, options.mode);
    if (!camera->ConfigureSensor()) {
        throw std::runtime_error("no camera found");
    }
    std::vector<uint8_t> frame(camera->FrameBytes);
    camera->OpenLink();
    bool ok = false;
    while (!camera->ReadFrame(frame.data(), &ok)) {
    }
    camera->CloseLink();
    WritePgm(options.output, frame, camera->WindowWidth, camera->WindowHeight);
    std::fprintf(stderr, "raw frame %dx%d, Bayer phase %u, %u bytes read: %s\n",
                 camera->WindowWidth, camera->WindowHeight, camera->BayerPhase,
                 camera->FrameBytes, options.output.c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return Run(ParseOptions(argc, argv));
    } catch (const std::exception& error) {
        std::fprintf(stderr, "diskcam-raw-frame: %s\n", error.what());
        return 1;
    }
}
