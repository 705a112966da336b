// A pipeline streaming one window for tests: geometry set, WorkingFrame
// allocated, an output buffer with guard bytes behind it, and helpers to fill
// the raw frame and the kernel parameter block directly.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "pipeline/image_pipeline.h"

namespace pipeline_test {

constexpr size_t kGuardBytes = 256;
constexpr uint8_t kGuardValue = 0x5A;

struct PipelineDeleter {
    void operator()(ImagePipeline* pipeline) const { FreeImagePipeline(pipeline); }
};
using PipelinePtr = std::unique_ptr<ImagePipeline, PipelineDeleter>;

PipelinePtr MakePipeline();

using Matrix = std::array<LONG, 16>;

class Window {
public:
    Window(ULONG width, ULONG height);

    ImagePipeline* pipeline() const { return pipeline_.get(); }
    ULONG width() const { return width_; }
    ULONG height() const { return height_; }
    std::vector<uint8_t>& raw() { return raw_; }
    const std::vector<uint8_t>& output() const { return output_; }
    uint8_t* outputData() { return output_.data(); }

    // Window pixel (x, y) of the raw frame (row pitch = width).
    uint8_t& RawAt(ULONG x, ULONG y) { return raw_[static_cast<size_t>(y) * width_ + x]; }
    // WorkingFrame byte of window pixel (x, y); x and y may reach into the border.
    uint8_t WorkAt(LONG x, LONG y) const;

    void FillRaw(std::mt19937& random);
    // A mosaic whose red, green and blue sites hold one value each.
    void FillPlanes(LONG bayerPhase, uint8_t red, uint8_t green, uint8_t blue);
    void Load() { LoadWorkingFrame(pipeline(), raw_.data(), 0, width_); }
    void Convert() { ConvertFrame(pipeline(), raw_.data(), 0, width_); }

    // The kernel block as ConvertFrame would leave it before the kernel runs.
    void SetFrameParameters(ULONG red, ULONG green, ULONG blue, const Matrix& matrix);
    void ClearOutput() { output_.assign(output_.size(), kGuardValue); }
    bool GuardIntact() const;

    // Output pixel (x, y): blue, green, red, fourth byte.
    std::array<uint8_t, 4> PixelAt(ULONG x, ULONG y) const;

private:
    ULONG width_;
    ULONG height_;
    PipelinePtr pipeline_;
    std::vector<uint8_t> raw_;
    std::vector<uint8_t> output_;
};

Matrix IdentityMatrix();
// The fixedMatrix the pipeline publishes now.
Matrix FixedMatrix(const ImagePipeline* pipeline);

}  // namespace pipeline_test
