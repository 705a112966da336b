// The AVX2 kernels: the generic kernel bodies on 256-bit vectors, two 16-pixel
// blocks per step, compiled for AVX2 alone. Only what the target region holds
// uses AVX2 instructions; the entry points after it are baseline code that the
// kernel set calls once the processor is known to have them.
#include <immintrin.h>

#include "pipeline/kernel_parts.h"
#include "pipeline/kernels.h"
#include "pipeline/yuv_kernels.h"

#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2")
#endif

#include "pipeline/vector_avx2.h"
namespace {
using Wide = Avx2;
}  // namespace
// The kernel bodies, inside the target region.
#include "pipeline/kernel_entries.h"

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

AccumulatorPath DemosaicColourAvx2(const KernelFrame* frame, LONG bayerPhase) {
    return Colour(frame, bayerPhase);
}

void DemosaicMonoAvx2(const KernelFrame* frame, LONG bayerPhase) {
    Mono(frame, bayerPhase);
}

void SumChannelsAvx2(const KernelFrame* frame, LONG bayerPhase, ChannelTotals* totals) {
    SumChannels(frame, bayerPhase, totals);
}

void ConvertYuy2Avx2(const YuvImage* image) {
    Yuy2(image);
}

void ConvertNv12Avx2(const YuvImage* image) {
    Nv12(image);
}
