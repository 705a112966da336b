// The image pipeline on a full 4384 x 3288 frame of random raw data: each
// conversion as ConvertFrame runs it (working-frame load included), scalar
// reference against SSE2, next to a memset and a memcpy of the 57.7 MB output.
// Run on one core, with repetitions interleaved so that outside load falls on
// every benchmark alike:
//   taskset -c 0 diskcam-bench --benchmark_repetitions=3
//       --benchmark_enable_random_interleaving=true --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <stdexcept>
#include <vector>

#include "pipeline/kernels.h"

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
    void Convert() { ConvertFrame(pipeline_, raw_.data(), 0, kWidth); }
    void Load() { LoadWorkingFrame(pipeline_, raw_.data(), 0, kWidth); }

    // ConvertFrame's steps around the kernel, for the reference kernels.
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

void ConvertColourReference(benchmark::State& state) {
    FullFrame& frame = Frame();
    for (auto _ : state) {
        frame.PrepareFrame();
        DemosaicColourReference(frame.pipeline(), 0);
    }
    CountPixels(state);
}

void ConvertColourSse2(benchmark::State& state) {
    FullFrame& frame = Frame();
    SetColourEnabled(frame.pipeline(), 1);
    for (auto _ : state) {
        frame.Convert();
    }
    CountPixels(state);
}

void ConvertMonoReference(benchmark::State& state) {
    FullFrame& frame = Frame();
    for (auto _ : state) {
        frame.PrepareFrame();
        DemosaicMonoReference(frame.pipeline(), 0);
    }
    CountPixels(state);
}

void ConvertMonoSse2(benchmark::State& state) {
    FullFrame& frame = Frame();
    SetColourEnabled(frame.pipeline(), 0);
    for (auto _ : state) {
        frame.Convert();
    }
    SetColourEnabled(frame.pipeline(), 1);
    CountPixels(state);
}

void EstimateReference(benchmark::State& state) {
    FullFrame& frame = Frame();
    LONG gains[3];
    for (auto _ : state) {
        frame.Load();
        benchmark::DoNotOptimize(
            EstimateWhiteBalanceReference(frame.pipeline(), 0, &gains[0], &gains[1], &gains[2]));
    }
    CountPixels(state);
}

void EstimateSse2(benchmark::State& state) {
    FullFrame& frame = Frame();
    LONG gains[3];
    for (auto _ : state) {
        frame.Load();
        benchmark::DoNotOptimize(
            EstimateWhiteBalanceSse2(frame.pipeline(), 0, &gains[0], &gains[1], &gains[2]));
    }
    CountPixels(state);
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

BENCHMARK(ConvertColourReference)->Name("ConvertColour/reference")->Unit(benchmark::kMillisecond);
BENCHMARK(ConvertColourSse2)->Name("ConvertColour/sse2")->Unit(benchmark::kMillisecond);
BENCHMARK(ConvertMonoReference)->Name("ConvertMono/reference")->Unit(benchmark::kMillisecond);
BENCHMARK(ConvertMonoSse2)->Name("ConvertMono/sse2")->Unit(benchmark::kMillisecond);
BENCHMARK(EstimateReference)->Name("EstimateWhiteBalance/reference")->Unit(benchmark::kMillisecond);
BENCHMARK(EstimateSse2)->Name("EstimateWhiteBalance/sse2")->Unit(benchmark::kMillisecond);
BENCHMARK(FillOutput)->Unit(benchmark::kMillisecond);
BENCHMARK(CopyOutput)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
