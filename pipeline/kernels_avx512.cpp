// The AVX-512 kernels: the generic kernel bodies on 512-bit vectors, four
// 16-pixel blocks per step, compiled for AVX-512 F and BW alone. Only what
// the target region holds uses AVX-512 instructions; the entry points after
// it are baseline code that the kernel set calls once the processor is known
// to have them.
#include <immintrin.h>

#include "pipeline/kernel_parts.h"
#include "pipeline/kernels.h"
#include "pipeline/yuv_kernels.h"

#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx512f,avx512bw"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx512f,avx512bw")
// GCC 12's AVX-512 intrinsics start some results from a deliberately
// undefined vector, which its flow analysis reports as uninitialised.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#pragma GCC diagnostic ignored "-Wuninitialized"
#endif

#include "pipeline/vector_avx512.h"
namespace {
using Wide = Avx512;
}  // namespace
// The kernel bodies, inside the target region.
#include "pipeline/kernel_entries.h"

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC diagnostic pop
#pragma GCC pop_options
#endif

AccumulatorPath DemosaicColourAvx512(const KernelFrame* frame, LONG bayerPhase) {
    return Colour(frame, bayerPhase);
}

void DemosaicMonoAvx512(const KernelFrame* frame, LONG bayerPhase) {
    Mono(frame, bayerPhase);
}

void SumChannelsAvx512(const KernelFrame* frame, LONG bayerPhase, ChannelTotals* totals) {
    SumChannels(frame, bayerPhase, totals);
}

void ConvertYuy2Avx512(const YuvImage* image) {
    Yuy2(image);
}

void ConvertNv12Avx512(const YuvImage* image) {
    Nv12(image);
}
