// The SSE2 kernels: the generic kernel bodies on 128-bit vectors, one
// 16-pixel block per step.
#include "pipeline/kernel_parts.h"
#include "pipeline/kernels.h"
#include "pipeline/vector_sse2.h"
#include "pipeline/yuv_kernels.h"
namespace {
using Wide = Sse2;
}  // namespace
// The kernel bodies come after every shared header, like the wider files'.
#include "pipeline/kernel_entries.h"

AccumulatorPath DemosaicColourSse2(const KernelFrame* frame, LONG bayerPhase) {
    return Colour(frame, bayerPhase);
}

void DemosaicMonoSse2(const KernelFrame* frame, LONG bayerPhase) {
    Mono(frame, bayerPhase);
}

void SumChannelsSse2(const KernelFrame* frame, LONG bayerPhase, ChannelTotals* totals) {
    SumChannels(frame, bayerPhase, totals);
}

void ConvertYuy2Sse2(const YuvImage* image) {
    Yuy2(image);
}

void ConvertNv12Sse2(const YuvImage* image) {
    Nv12(image);
}
