// The image pipeline on a full 4384 x 3288 frame of random raw data: each
// kernel with the steps ConvertFrame takes before it (working-frame load
// included), the scalar reference and every vector level, next to a memset
// and a memcpy of the 57.7 MB output.
// Run on one core, with repetitions interleaved so that outside load falls on
// every benchmark alike:
//   taskset -c 0 diskcam-bench --benchmark_repetitions=3
//       --benchmark_enable_random_interleaving=true --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "pipeline/kernel_set.h"

namespace {

constexpr ULONG kWidth = 4384;
constexpr ULONG kHeight = 3288;
constexpr size_t kPixels = static_cast<size_t>(kWidth) * kHeight;

// A streaming pipeline with default settings over one random raw frame.
class FullFrame {
public:
    FullFrame() : raw_(kPixels), output_(kPixels * 4) {
        std::mt19937 random(2024);
        for (auto& byte : raw_) {
            byte = static_cast<uint8_t>(random());
        }
        pipeline_ = CreateImagePipeline();
        if (pipeline_ == nullptr) {
            throw std::runtime_error("no pipeline");
        }
        SetGeometry(pipeline_, kWidth, kHeight);
        if (!AllocateWorkingFrame(pipeline_)) {
            throw std::runtime_error("no working frame");
        }
        SetOutputBuffer(pipeline_, output_.data());
    }
    ~FullFrame() { FreeImagePipeline(pipeline_); }

    ImagePipeline* pipeline() { return pipeline_; }
    void Load() { LoadWorkingFrame(pipeline_, raw_.data(), 0, kWidth); }

    // ConvertFrame's steps before the kernel.
    void PrepareFrame() {
        Load();
        pipeline_->output = pipeline_->outputBuffer;
        pipeline_->gainRed = static_cast<ULONG>(pipeline_->redGainSetting);
        pipeline_->gainGreen = static_cast<ULONG>(pipeline_->greenGainSetting);
        pipeline_->gainBlue = static_cast<ULONG>(pipeline_->blueGainSetting);
        for (int i = 0; i < 16; ++i) {
            pipeline_->frameMatrix[i] = pipeline_->fixedMatrix[i];
            pipeline_->matrixPositive[i] = pipeline_->fixedMatrix[i] > 0 ? 1 : 0;
        }
    }

private:
    std::vector<uint8_t> raw_;
    std::vector<uint8_t> output_;
    ImagePipeline* pipeline_ = nullptr;
};

FullFrame& Frame() {
    static FullFrame frame;
    return frame;
}

void CountPixels(benchmark::State& state) {
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kPixels);
}

// The frame's steps as ConvertFrame takes them (working-frame load, gains
// and matrix snapshot), then one kernel of a level; a level the processor
// lacks reports itself skipped.
template <class Run>
void RunKernel(benchmark::State& state, LONG level, Run run) {
    if (level > SupportedSimdLevel()) {
        state.SkipWithError("the processor lacks this level");
        return;
    }
    FullFrame& frame = Frame();
    for (auto _ : state) {
        frame.PrepareFrame();
        run(frame.pipeline());
    }
    CountPixels(state);
}

void ConvertColour(benchmark::State& state, LONG level) {
    RunKernel(state, level, [level](ImagePipeline* pipeline) {
        if (level == 0) {
            DemosaicColourReference(pipeline, 0);
        } else {
            benchmark::DoNotOptimize(KernelsFor(level).colour(pipeline, 0));
        }
    });
}

void ConvertMono(benchmark::State& state, LONG level) {
    RunKernel(state, level, [level](ImagePipeline* pipeline) {
        if (level == 0) {
            DemosaicMonoReference(pipeline, 0);
        } else {
            KernelsFor(level).mono(pipeline, 0);
        }
    });
}

void EstimateWhiteBalance(benchmark::State& state, LONG level) {
    RunKernel(state, level, [level](ImagePipeline* pipeline) {
        LONG gains[3];
        benchmark::DoNotOptimize(
            level == 0
                ? EstimateWhiteBalanceReference(pipeline, 0, &gains[0], &gains[1], &gains[2])
                : KernelsFor(level).whiteBalance(pipeline, 0, &gains[0], &gains[1], &gains[2]));
    });
}

void FillOutput(benchmark::State& state) {
    std::vector<uint8_t> output(kPixels * 4);
    for (auto _ : state) {
        std::memset(output.data(), static_cast<int>(state.iterations() & 0xFF), output.size());
        benchmark::ClobberMemory();
    }
    CountPixels(state);
}

void CopyOutput(benchmark::State& state) {
    std::vector<uint8_t> source(kPixels * 4, 1);
    std::vector<uint8_t> target(kPixels * 4);
    for (auto _ : state) {
        std::memcpy(target.data(), source.data(), target.size());
        benchmark::ClobberMemory();
    }
    CountPixels(state);
}

// Level 0 stands for the scalar reference here.
const char* const LevelNames[] = {"reference", "sse2", "avx2", "avx512"};

void RegisterKernels() {
    for (LONG level = 0; level <= SimdLevelAvx512; ++level) {
        const std::string name = LevelNames[level];
        benchmark::RegisterBenchmark(("ConvertColour/" + name).c_str(), ConvertColour, level)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("ConvertMono/" + name).c_str(), ConvertMono, level)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("EstimateWhiteBalance/" + name).c_str(), EstimateWhiteBalance,
                                     level)
            ->Unit(benchmark::kMillisecond);
    }
}

BENCHMARK(FillOutput)->Name("Floor/memset")->Unit(benchmark::kMillisecond);
BENCHMARK(CopyOutput)->Name("Floor/memcpy")->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    RegisterKernels();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
