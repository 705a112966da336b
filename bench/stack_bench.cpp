// The whole stack end to end: host kernel, driver, device start, filter and
// pin streaming full-sensor RGB32 frames (4384 x 3288) from a simulated
// camera at frame rate 0 with instant transfers, whose raw frames are
// rendered once beforehand, so that a frame costs only what the driver does
// with it: the camera's polls and frame read, the conversion and the copy
// into the buffer. Each iteration is one delivered frame. A benchmark
// brings the stack up once and keeps it for all its runs (Google Benchmark
// runs it a few times to size the iteration count); each run warms up the
// stream before its timed loop. The stack goes down, checked for leaks,
// before the next benchmark's comes up.
//
// Stack/DRIVER/threads:N, with DRIVER `linked` (the driver linked into the
// host build) or `sys` (the image DISKCAM_DRIVER names, else the one the
// build was configured with, DISKCAM_SYS; reported skipped when there is
// none), and N the ConversionThreads value stored in the Settings key
// before device start: 1, or `best` (0, the driver's default). Counters:
//   fps               delivered frames per second of wall clock;
//   cpu_ms_per_frame  CPU time per delivered frame of every thread of the
//                     process but the benchmark's own (the pin's processing
//                     worker, the driver's system threads, the camera's
//                     transfers that run on them); the benchmark thread only
//                     waits for buffers and queues them again;
//   cores             that CPU time over the wall clock.
// A run takes about two seconds of frames unless --benchmark_min_time says
// otherwise, e.g.
//   nice diskcam-stack-bench --benchmark_filter=linked --benchmark_format=json
#include <benchmark/benchmark.h>
#include <time.h>

#include <chrono>
#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "bench/stack_stream.h"

namespace {

enum class DriverKind { Linked, Sys };

std::string SysImage() {
    std::string image = host::DriverFileFromEnvironment();
    return image.empty() ? std::string(DISKCAM_SYS) : image;
}

double CpuSeconds(clockid_t clock) {
    timespec time{};
    clock_gettime(clock, &time);
    return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_nsec) * 1e-9;
}

// The clocks the counters come from, read together.
struct Sample {
    std::chrono::steady_clock::time_point wall;
    double process;
    double thread;

    static Sample Now() {
        return {std::chrono::steady_clock::now(), CpuSeconds(CLOCK_PROCESS_CPUTIME_ID),
                CpuSeconds(CLOCK_THREAD_CPUTIME_ID)};
    }
};

void ReportCounters(benchmark::State& state, const Sample& start, const Sample& end, int64_t frames,
                    uint64_t frameBytes) {
    const double wall = std::chrono::duration<double>(end.wall - start.wall).count();
    const double stackCpu = (end.process - start.process) - (end.thread - start.thread);
    state.counters["fps"] = static_cast<double>(frames) / wall;
    state.counters["cpu_ms_per_frame"] = 1000 * stackCpu / static_cast<double>(frames);
    state.counters["cores"] = stackCpu / wall;
    state.SetBytesProcessed(frames * static_cast<int64_t>(frameBytes));
}

// The stack of the benchmark running now: bringing one up takes seconds
// here, mostly first touches of the few hundred megabytes of frames.
std::unique_ptr<bench::StackStream> current;

bench::StackStream& StackFor(const bench::StackOptions& options) {
    if (current != nullptr && !(current->Options() == options)) {
        current.reset();
    }
    if (current == nullptr) {
        current = std::make_unique<bench::StackStream>(options);
    }
    return *current;
}

void StreamFrames(benchmark::State& state, DriverKind driver, uint32_t conversionThreads) {
    bench::StackOptions options;
    options.conversionThreads = conversionThreads;
    if (driver == DriverKind::Sys) {
        options.driverImage = SysImage();
        if (options.driverImage.empty()) {
            state.SkipWithError("skipped: no diskcam.sys configured (DISKCAM_SYS, DISKCAM_DRIVER)");
            return;
        }
    }
    bench::StackStream* stack = nullptr;
    try {
        stack = &StackFor(options);
        stack->WarmUp();
    } catch (const std::exception& error) {
        current.reset();
        state.SkipWithError(error.what());
        return;
    }
    int64_t frames = 0;
    const Sample start = Sample::Now();
    for (auto _ : state) {
        try {
            stack->NextFrame();
        } catch (const std::exception& error) {
            current.reset();
            state.SkipWithError(error.what());
            break;
        }
        ++frames;
    }
    const Sample end = Sample::Now();
    if (current == nullptr) {
        return;
    }
    const std::vector<std::string> violations = stack->CameraViolations();
    if (!violations.empty()) {
        current.reset();
        state.SkipWithError(("the camera saw: " + violations.front()).c_str());
    } else if (frames > 0) {
        ReportCounters(state, start, end, frames, stack->FrameBytes());
    }
}

void RegisterStackBenchmarks() {
    const struct {
        DriverKind kind;
        const char* name;
    } drivers[] = {{DriverKind::Linked, "linked"}, {DriverKind::Sys, "sys"}};
    const struct {
        uint32_t value;
        const char* name;
    } threads[] = {{1, "1"}, {0, "best"}};
    for (const auto& driver : drivers) {
        for (const auto& thread : threads) {
            const std::string name =
                std::string("Stack/") + driver.name + "/threads:" + thread.name;
            benchmark::RegisterBenchmark(name.c_str(), StreamFrames, driver.kind, thread.value)
                ->UseRealTime()
                ->Unit(benchmark::kMillisecond);
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    // The default run length goes first, so that one on the command line wins.
    static char defaultMinTime[] = "--benchmark_min_time=2";
    std::vector<char*> arguments(argv, argv + argc);
    arguments.insert(arguments.begin() + 1, defaultMinTime);
    int count = static_cast<int>(arguments.size());
    arguments.push_back(nullptr);
    benchmark::Initialize(&count, arguments.data());
    if (benchmark::ReportUnrecognizedArguments(count, arguments.data())) {
        return 1;
    }
    RegisterStackBenchmarks();
    benchmark::RunSpecifiedBenchmarks();
    current.reset();
    benchmark::Shutdown();
    return 0;
}
