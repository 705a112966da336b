// A pipeline streaming one window for tests: geometry set, WorkingFrame
// allocated, an output buffer with guard bytes behind it; and for the kernels
// alone, the window's whole padded frame and the KernelFrame over it, with
// helpers to fill the raw frame and the KernelFrame directly.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <random>
#include <stdexcept>
#include <vector>

#include "pipeline/image_pipeline.h"
#include "pipeline/padded_rows.h"

namespace pipeline_test {

struct PipelineDeleter {
    void operator()(ImagePipeline* pipeline) const { FreeImagePipeline(pipeline); }
};
using PipelinePtr = std::unique_ptr<ImagePipeline, PipelineDeleter>;
using Matrix = std::array<LONG, 16>;

inline PipelinePtr MakePipeline() {
    PipelinePtr pipeline(CreateImagePipeline());
    if (!pipeline) {
        throw std::runtime_error("CreateImagePipeline failed");
    }
    return pipeline;
}

inline Matrix FixedMatrix(const ImagePipeline* pipeline) {
    Matrix matrix;
    std::copy(pipeline->fixedMatrix, pipeline->fixedMatrix + 16, matrix.begin());
    return matrix;
}

inline Matrix IdentityMatrix() {
    return {64, 0, 0, 0, 0, 64, 0, 0, 0, 0, 64, 0, 0, 0, 0, 0};
}

// An output of `bytes` whose first byte is 64-byte aligned, as a pool block
// of a page or more is: the rows streaming stores may write.
class AlignedOutput {
public:
    explicit AlignedOutput(size_t bytes) : storage_(bytes + 64) {}
    UCHAR* data() {
        const uintptr_t start = reinterpret_cast<uintptr_t>(storage_.data());
        return reinterpret_cast<UCHAR*>((start + 63) & ~uintptr_t{63});
    }

private:
    std::vector<uint8_t> storage_;
};

class Window {
public:
    static constexpr uint8_t kGuard = 0x5A;

    Window(ULONG width, ULONG height)
        : width_(width),
          height_(height),
          pipeline_(MakePipeline()),
          raw_(static_cast<size_t>(width) * height),
          output_(static_cast<size_t>(width) * height * 4 + 256, kGuard),
          stride_(PaddedStride(width)),
          padded_(static_cast<size_t>(height + 5) * stride_) {
        SetGeometry(pipeline(), width, height);
        if (!AllocateWorkingFrame(pipeline())) {
            throw std::runtime_error("AllocateWorkingFrame failed");
        }
        SetOutputBuffer(pipeline(), output_.data());
        frame_.firstPixel = padded_.data() + 2 * stride_ + PaddedRowLead;
        frame_.output = output_.data();
        frame_.stride = static_cast<LONG>(stride_);
        frame_.width = width;
        frame_.height = height;
    }

    ImagePipeline* pipeline() const { return pipeline_.get(); }
    // Converts in `bands` bands from now on, with its workers started; the
    // number that run is the pipeline's bandCount.
    void UseBands(LONG bands) {
        StopConversionWorkers(pipeline());
        pipeline()->conversionThreads = bands;
        SetGeometry(pipeline(), width_, height_);
        if (!AllocateWorkingFrame(pipeline())) {
            throw std::runtime_error("AllocateWorkingFrame failed");
        }
        StartConversionWorkers(pipeline());
    }
    KernelFrame* frame() { return &frame_; }
    ULONG width() const { return width_; }
    ULONG height() const { return height_; }
    std::vector<uint8_t>& raw() { return raw_; }
    const std::vector<uint8_t>& output() const { return output_; }

    // Raw window pixel (x, y); the raw row pitch is the width.
    uint8_t& RawAt(ULONG x, ULONG y) { return raw_[static_cast<size_t>(y) * width_ + x]; }
    // Padded frame byte of window pixel (x, y), border included.
    uint8_t PaddedAt(LONG x, LONG y) const { return padded_[PaddedIndex(x, y)]; }
    uint8_t& PaddedAt(LONG x, LONG y) { return padded_[PaddedIndex(x, y)]; }
    // Output pixel (x, y): blue, green, red, fourth byte.
    std::array<uint8_t, 4> PixelAt(ULONG x, ULONG y) const {
        const uint8_t* pixel = output_.data() + (static_cast<size_t>(y) * width_ + x) * 4;
        return {pixel[0], pixel[1], pixel[2], pixel[3]};
    }

    void FillRaw(std::mt19937& random) {
        for (auto& byte : raw_) {
            byte = static_cast<uint8_t>(random());
        }
    }
    // A mosaic whose red, green and blue sites hold one value each.
    void FillPlanes(LONG bayerPhase, uint8_t red, uint8_t green, uint8_t blue);
    // The padded frame from the raw frame, or from another raw window of the
    // same size.
    void Load() { Load({raw_.data(), width_, width_, height_}); }
    void Load(const RawWindow& raw) {
        LoadPaddedRows(raw, -2, static_cast<LONG>(height_) + 2, padded_.data() + PaddedRowLead,
                       static_cast<ptrdiff_t>(stride_));
    }
    void Convert() { ConvertFrame(pipeline(), raw_.data(), 0, width_); }

    // The KernelFrame as ConvertFrame leaves it before a kernel runs.
    void SetFrameParameters(ULONG red, ULONG green, ULONG blue, const Matrix& matrix);
    void ClearOutput() { output_.assign(output_.size(), kGuard); }
    bool GuardIntact() const {
        const size_t frame = static_cast<size_t>(width_) * height_ * 4;
        return std::all_of(output_.begin() + frame, output_.end(),
                           [](uint8_t byte) { return byte == kGuard; });
    }

private:
    size_t PaddedIndex(LONG x, LONG y) const {
        return static_cast<size_t>((y + 2) * static_cast<LONG>(stride_) +
                                   static_cast<LONG>(PaddedRowLead) + x);
    }

    ULONG width_;
    ULONG height_;
    PipelinePtr pipeline_;
    std::vector<uint8_t> raw_;
    std::vector<uint8_t> output_;
    ULONG stride_;
    std::vector<uint8_t> padded_;
    KernelFrame frame_ = {};
};

}  // namespace pipeline_test
