// LoadWorkingFrame: the raw window copied into the padded WorkingFrame, and
// its two-pixel border filled from rows and columns an even distance away so
// every border pixel carries the colour the Bayer layout gives its position.
#include <cstddef>

#include "pipeline/image_pipeline.h"

void LoadWorkingFrame(ImagePipeline* pipeline, const UCHAR* rawFrame, ULONG offset, ULONG pitch) {
    const ULONG width = pipeline->windowWidth;
    const ULONG height = pipeline->windowHeight;
    const ptrdiff_t stride = pipeline->workStride;
    UCHAR* first = pipeline->workBuffer + 2 * stride + 5;
    auto row = [first, stride](LONG y) { return first + y * stride; };

    for (ULONG y = 0; y < height; ++y) {
        __builtin_memcpy(row(static_cast<LONG>(y)),
                         rawFrame + offset + static_cast<SIZE_T>(y) * pitch, width);
    }
    if (width < 8 || height < 8) {
        return;
    }
    // The bottom border repeats rows H - 4 and H - 3 rather than mirroring
    // about row H - 1; like the top, it keeps the Bayer colours.
    const LONG last = static_cast<LONG>(height);
    __builtin_memcpy(row(-2), row(2), width);
    __builtin_memcpy(row(-1), row(1), width);
    __builtin_memcpy(row(last), row(last - 4), width);
    __builtin_memcpy(row(last + 1), row(last - 3), width);
    for (LONG y = -2; y <= last + 1; ++y) {
        UCHAR* pixels = row(y);
        pixels[-1] = pixels[1];
        pixels[-2] = pixels[2];
        pixels[width] = pixels[width - 2];
        pixels[width + 1] = pixels[width - 3];
    }
}
