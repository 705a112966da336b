#include "tests/pipeline/pipeline_harness.h"

namespace pipeline_test {

void Window::FillPlanes(LONG bayerPhase, uint8_t red, uint8_t green, uint8_t blue) {
    // Colours of window rows 0 and 1 by phase; any other phase acts as 3.
    const char* const layouts[4][2] = {{"GR", "BG"}, {"BG", "GR"}, {"RG", "GB"}, {"GB", "RG"}};
    const int variant = (bayerPhase >= 0 && bayerPhase <= 2) ? bayerPhase : 3;
    for (ULONG y = 0; y < height_; ++y) {
        for (ULONG x = 0; x < width_; ++x) {
            const char colour = layouts[variant][y & 1][x & 1];
            RawAt(x, y) = colour == 'R' ? red : colour == 'G' ? green : blue;
        }
    }
}

void Window::SetFrameParameters(ULONG red, ULONG green, ULONG blue, const Matrix& matrix) {
    KernelFrame* p = frame();
    p->output = output_.data();
    p->gainRed = red;
    p->gainGreen = green;
    p->gainBlue = blue;
    for (int i = 0; i < 16; ++i) {
        p->frameMatrix[i] = matrix[i];
        p->matrixPositive[i] = matrix[i] > 0 ? 1 : 0;
    }
}

}  // namespace pipeline_test
