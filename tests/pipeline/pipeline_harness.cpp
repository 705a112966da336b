#include "tests/pipeline/pipeline_harness.h"

#include <stdexcept>

namespace pipeline_test {

namespace {

// Colour letters of window rows 0 and 1 by phase; any other phase acts as 3.
const char* const kLayouts[4][2] = {{"GR", "BG"}, {"BG", "GR"}, {"RG", "GB"}, {"GB", "RG"}};

}  // namespace

PipelinePtr MakePipeline() {
    PipelinePtr pipeline(CreateImagePipeline());
    if (!pipeline) {
        throw std::runtime_error("CreateImagePipeline failed");
    }
    return pipeline;
}

Window::Window(ULONG width, ULONG height)
    : width_(width),
      height_(height),
      pipeline_(MakePipeline()),
      raw_(static_cast<size_t>(width) * height),
      output_(static_cast<size_t>(width) * height * 4 + kGuardBytes, kGuardValue) {
    SetGeometry(pipeline(), width, height);
    if (!AllocateWorkingFrame(pipeline())) {
        throw std::runtime_error("AllocateWorkingFrame failed");
    }
    SetOutputBuffer(pipeline(), output_.data());
}

uint8_t Window::WorkAt(LONG x, LONG y) const {
    const ImagePipeline* p = pipeline();
    return p->workBuffer[(y + 2) * p->workStride + x + 5];
}

void Window::FillRaw(std::mt19937& random) {
    for (auto& byte : raw_) {
        byte = static_cast<uint8_t>(random());
    }
}

void Window::FillPlanes(LONG bayerPhase, uint8_t red, uint8_t green, uint8_t blue) {
    const int variant = (bayerPhase >= 0 && bayerPhase <= 2) ? bayerPhase : 3;
    for (ULONG y = 0; y < height_; ++y) {
        for (ULONG x = 0; x < width_; ++x) {
            const char colour = kLayouts[variant][y & 1][x & 1];
            RawAt(x, y) = colour == 'R' ? red : colour == 'G' ? green : blue;
        }
    }
}

void Window::SetFrameParameters(ULONG red, ULONG green, ULONG blue, const Matrix& matrix) {
    ImagePipeline* p = pipeline();
    p->output = output_.data();
    p->gainRed = red;
    p->gainGreen = green;
    p->gainBlue = blue;
    for (int i = 0; i < 16; ++i) {
        p->frameMatrix[i] = matrix[i];
        p->matrixPositive[i] = matrix[i] > 0 ? 1 : 0;
    }
}

bool Window::GuardIntact() const {
    for (size_t i = static_cast<size_t>(width_) * height_ * 4; i < output_.size(); ++i) {
        if (output_[i] != kGuardValue) {
            return false;
        }
    }
    return true;
}

std::array<uint8_t, 4> Window::PixelAt(ULONG x, ULONG y) const {
    const uint8_t* pixel = output_.data() + (static_cast<size_t>(y) * width_ + x) * 4;
    return {pixel[0], pixel[1], pixel[2], pixel[3]};
}

Matrix IdentityMatrix() {
    Matrix matrix{};
    matrix[0] = matrix[5] = matrix[10] = 64;
    return matrix;
}

Matrix FixedMatrix(const ImagePipeline* pipeline) {
    Matrix matrix;
    for (int i = 0; i < 16; ++i) {
        matrix[i] = pipeline->fixedMatrix[i];
    }
    return matrix;
}

}  // namespace pipeline_test
