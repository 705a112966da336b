// The image pipeline on a full 4384 x 3288 frame of random raw data, next to
// a memset and a memcpy of the 57.7 MB output. Each conversion runs as the
// driver runs it (ConvertFrame, band windows and workers), at a forced level
// on one band, or at the best level on 1, 2 and 4 bands; the scalar reference
// runs over a whole padded frame. Every benchmark also reports its time per
// frame as a ratio to the memset's, measured once at start (x_memset).
// Run with repetitions interleaved, so that outside load falls on every
// benchmark alike:
//   diskcam-bench --benchmark_repetitions=3
//       --benchmark_enable_random_interleaving=true --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "capture/row_copy.h"
#include "pipeline/kernel_set.h"
#include "pipeline/padded_rows.h"
#include "pipeline/row_bands.h"

namespace {

constexpr ULONG kWidth = 4384;
constexpr ULONG kHeight = 3288;
constexpr size_t kPixels = static_cast<size_t>(kWidth) * kHeight;
constexpr size_t kOutputBytes = kPixels * 4;

using Clock = std::chrono::steady_clock;

// Floor/memset's time per frame once it has run (it is registered first),
// else the best of a few memsets: the floor every ratio refers to.
double measuredMemset = 0;

double MemsetSeconds() {
    if (measuredMemset > 0) {
        return measuredMemset;
    }
    static const double seconds = [] {
        std::vector<uint8_t> output(kOutputBytes);
        double best = 1e9;
        for (int round = 0; round < 20; ++round) {
            const Clock::time_point start = Clock::now();
            std::memset(output.data(), round, output.size());
            benchmark::ClobberMemory();
            best = std::min(best, std::chrono::duration<double>(Clock::now() - start).count());
        }
        return best;
    }();
    return seconds;
}

// Times the loop's body, and sets the pixel rate and the ratio to memset;
// returns the time per frame.
template <class Body>
double TimeFrames(benchmark::State& state, Body body) {
    double seconds = 0;
    for (auto _ : state) {
        const Clock::time_point start = Clock::now();
        body();
        seconds += std::chrono::duration<double>(Clock::now() - start).count();
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kPixels);
    if (state.iterations() == 0) {
        return 0;
    }
    const double perFrame = seconds / static_cast<double>(state.iterations());
    state.counters["x_memset"] = perFrame / MemsetSeconds();
    return perFrame;
}

std::vector<uint8_t> RandomRaw() {
    std::vector<uint8_t> raw(kPixels);
    std::mt19937 random(2024);
    for (auto& byte : raw) {
        byte = static_cast<uint8_t>(random());
    }
    return raw;
}

const std::vector<uint8_t>& Raw() {
    static const std::vector<uint8_t> raw = RandomRaw();
    return raw;
}

// The output at the start of a page, as the driver's pool block of a page or
// more is on Windows.
UCHAR* PageAligned(std::vector<uint8_t>& storage) {
    const uintptr_t start = reinterpret_cast<uintptr_t>(storage.data());
    return reinterpret_cast<UCHAR*>((start + 4095) & ~uintptr_t{4095});
}

// A streaming pipeline with default settings, converting in `bands` bands at
// `level`, its workers running while it lives.
class StreamingPipeline {
public:
    StreamingPipeline(LONG level, LONG bands) : output_(kOutputBytes + 4096) {
        pipeline_ = CreateImagePipeline();
        if (pipeline_ == nullptr) {
            throw std::runtime_error("no pipeline");
        }
        pipeline_->simdLevel = level;
        pipeline_->conversionThreads = bands;
        SetGeometry(pipeline_, kWidth, kHeight);
        if (!AllocateWorkingFrame(pipeline_)) {
            throw std::runtime_error("no working frame");
        }
        SetOutputBuffer(pipeline_, PageAligned(output_));
        StartConversionWorkers(pipeline_);
    }
    ~StreamingPipeline() {
        StopConversionWorkers(pipeline_);
        FreeImagePipeline(pipeline_);
    }
    StreamingPipeline(const StreamingPipeline&) = delete;
    StreamingPipeline& operator=(const StreamingPipeline&) = delete;

    ImagePipeline* pipeline() { return pipeline_; }
    bool Complete(LONG bands) const { return pipeline_->bandCount == bands; }
    void Convert() { ConvertFrame(pipeline_, Raw().data(), 0, kWidth); }
    // The white-balance pass alone, as ConvertFrame runs it.
    void SumChannels() {
        pipeline_->rawFirst = Raw().data();
        pipeline_->rawPitch = kWidth;
        pipeline_->passPhase = 0;
        pipeline_->passLevel = pipeline_->simdLevel;
        pipeline_->passTask = BandTask::SumChannels;
        RunBands(pipeline_);
    }

private:
    std::vector<uint8_t> output_;
    ImagePipeline* pipeline_ = nullptr;
};

enum class Pass { Colour, Grey, WhiteBalance };

void RunPass(StreamingPipeline* stream, Pass pass) {
    switch (pass) {
        case Pass::Colour:
            stream->Convert();
            break;
        case Pass::Grey:
            SetColourEnabled(stream->pipeline(), 0);
            stream->Convert();
            break;
        case Pass::WhiteBalance:
            stream->SumChannels();
            break;
    }
}

// One pass at a forced level on one band; a level the processor lacks
// reports itself skipped.
void Level(benchmark::State& state, Pass pass, LONG level) {
    if (level > SupportedSimdLevel()) {
        state.SkipWithError("the processor lacks this level");
        return;
    }
    StreamingPipeline stream(level, 1);
    TimeFrames(state, [&] { RunPass(&stream, pass); });
}

// One pass at the best level, in `bands` bands: the wall time of a frame.
void Bands(benchmark::State& state, Pass pass, LONG bands) {
    StreamingPipeline stream(SupportedSimdLevel(), bands);
    if (!stream.Complete(bands)) {
        state.SkipWithError("the workers did not start");
        return;
    }
    TimeFrames(state, [&] { RunPass(&stream, pass); });
}

// The reference over a whole padded frame, loaded as the tests load it.
class PaddedFrame {
public:
    PaddedFrame() : padded_(size_t{kHeight + 5} * PaddedStride(kWidth)), output_(kOutputBytes) {
        const ULONG stride = PaddedStride(kWidth);
        LoadPaddedRows({Raw().data(), kWidth, kWidth, kHeight}, -2, kHeight + 2,
                       padded_.data() + PaddedRowLead, stride);
        ImagePipeline* defaults = CreateImagePipeline();
        frame_.firstPixel = padded_.data() + 2 * stride + PaddedRowLead;
        frame_.output = output_.data();
        frame_.stride = static_cast<LONG>(stride);
        frame_.gainRed = frame_.gainGreen = frame_.gainBlue = 128;
        frame_.width = kWidth;
        frame_.height = kHeight;
        for (int i = 0; i < 16; ++i) {
            frame_.frameMatrix[i] = defaults->fixedMatrix[i];
            frame_.matrixPositive[i] = defaults->fixedMatrix[i] > 0 ? 1 : 0;
        }
        FreeImagePipeline(defaults);
    }
    const KernelFrame* frame() const { return &frame_; }

private:
    std::vector<uint8_t> padded_;
    std::vector<uint8_t> output_;
    KernelFrame frame_ = {};
};

void Reference(benchmark::State& state, Pass pass) {
    PaddedFrame padded;
    TimeFrames(state, [&] {
        LONG gains[3];
        switch (pass) {
            case Pass::Colour:
                DemosaicColourReference(padded.frame(), 0);
                break;
            case Pass::Grey:
                DemosaicMonoReference(padded.frame(), 0);
                break;
            case Pass::WhiteBalance:
                benchmark::DoNotOptimize(EstimateWhiteBalanceReference(padded.frame(), 0, &gains[0],
                                                                       &gains[1], &gains[2]));
                break;
        }
    });
}

void FillOutput(benchmark::State& state) {
    std::vector<uint8_t> output(kOutputBytes);
    const double perFrame = TimeFrames(state, [&] {
        std::memset(output.data(), static_cast<int>(state.iterations() & 0xFF), output.size());
        benchmark::ClobberMemory();
    });
    if (perFrame > 0) {
        measuredMemset = perFrame;
        state.counters["x_memset"] = 1;
    }
}

void CopyFrame(benchmark::State& state) {
    std::vector<uint8_t> source(kOutputBytes, 1);
    std::vector<uint8_t> target(kOutputBytes);
    TimeFrames(state, [&] {
        std::memcpy(target.data(), source.data(), target.size());
        benchmark::ClobberMemory();
    });
}

// The pin's delivery copy of a full frame into a bottom-up client buffer.
void CopyOutput(benchmark::State& state) {
    std::vector<uint8_t> converted(kOutputBytes, 1);
    std::vector<uint8_t> buffer(kOutputBytes);
    const RowCopy copy = {kWidth * 4, kHeight, kWidth * 4, kWidth * 4};
    TimeFrames(state, [&] {
        CopyBottomUp(copy, kHeight, converted.data(), buffer.data());
        benchmark::ClobberMemory();
    });
}

const char* const LevelNames[] = {"sse2", "avx2", "avx512"};

void RegisterFamily(const std::string& family, Pass pass) {
    benchmark::RegisterBenchmark((family + "/reference").c_str(), Reference, pass)
        ->Unit(benchmark::kMillisecond);
    for (LONG level = SimdLevelSse2; level <= SimdLevelAvx512; ++level) {
        benchmark::RegisterBenchmark((family + "/" + LevelNames[level - SimdLevelSse2]).c_str(),
                                     Level, pass, level)
            ->Unit(benchmark::kMillisecond);
    }
    for (LONG bands : {1, 2, 4}) {
        benchmark::RegisterBenchmark((family + "/best/threads:" + std::to_string(bands)).c_str(),
                                     Bands, pass, bands)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    }
}

void RegisterAll() {
    benchmark::RegisterBenchmark("Floor/memset", FillOutput)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("Floor/memcpy", CopyFrame)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("CopyOutput", CopyOutput)->Unit(benchmark::kMillisecond);
    RegisterFamily("ConvertColour", Pass::Colour);
    RegisterFamily("ConvertMono", Pass::Grey);
    RegisterFamily("EstimateWhiteBalance", Pass::WhiteBalance);
}

}  // namespace

int main(int argc, char** argv) {
    RegisterAll();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
