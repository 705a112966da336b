// The per-frame kernels: colour demosaic, grey demosaic and the white-balance
// estimate, each as a scalar reference (the definition, written straight from
// the arithmetic) and as SSE2, AVX2 and AVX-512 versions that store the same
// bytes. All read one KernelFrame; the Bayer phase
// selects the colour layout (0 G R / B G, 1 B G / G R, 2 R G / G B, any other
// value G B / R G). A wider version may run only on a processor that has its
// instructions, and in the kernel only under a saved extended state.
#pragma once

#include <cstdint>

#include "pipeline/kernel_frame.h"

// The accumulators the vector colour kernels sum the matrix products in.
enum class AccumulatorPath { SixteenBit, Exact };

// Writes width x height pixels (blue, green, red, 255) at output: demosaic,
// white balance, frameMatrix with matrixPositive. The vector kernels return
// the accumulator path they ran: 16-bit lanes where MatrixFitsSixteenBits
// allows, otherwise 32-bit ones.
void DemosaicColourReference(const KernelFrame* frame, LONG bayerPhase);
AccumulatorPath DemosaicColourSse2(const KernelFrame* frame, LONG bayerPhase);
AccumulatorPath DemosaicColourAvx2(const KernelFrame* frame, LONG bayerPhase);
AccumulatorPath DemosaicColourAvx512(const KernelFrame* frame, LONG bayerPhase);

// Writes width x height pixels (Y, Y, Y, 255) at output: demosaic, white
// balance, fixed luma weights.
void DemosaicMonoReference(const KernelFrame* frame, LONG bayerPhase);
void DemosaicMonoSse2(const KernelFrame* frame, LONG bayerPhase);
void DemosaicMonoAvx2(const KernelFrame* frame, LONG bayerPhase);
void DemosaicMonoAvx512(const KernelFrame* frame, LONG bayerPhase);

// The frame's interpolated red, green and blue, each summed over every pixel
// modulo 2^32: sums of row bands add up to the frame's.
struct ChannelTotals {
    uint32_t red;
    uint32_t green;
    uint32_t blue;
};

inline void AddTotals(ChannelTotals* sum, const ChannelTotals& part) {
    sum->red += part.red;
    sum->green += part.green;
    sum->blue += part.blue;
}

void SumChannelsSse2(const KernelFrame* frame, LONG bayerPhase, ChannelTotals* totals);
void SumChannelsAvx2(const KernelFrame* frame, LONG bayerPhase, ChannelTotals* totals);
void SumChannelsAvx512(const KernelFrame* frame, LONG bayerPhase, ChannelTotals* totals);

// Gains that bring the frame's red and blue totals to its green total, green
// 128, each at most 65535. Returns false, writing nothing, when a channel sums
// to 0 and so has no gain: the definition, and the same from the channel
// totals of the vector path.
bool EstimateWhiteBalanceReference(const KernelFrame* frame, LONG bayerPhase, LONG* red,
                                   LONG* green, LONG* blue);
bool GainsFromTotals(const ChannelTotals& totals, LONG* red, LONG* green, LONG* blue);

// True when no matrix accumulator of this frame can pass 65535, so the colour
// kernel may run its 16-bit path; otherwise it runs the exact 32-bit path.
bool MatrixFitsSixteenBits(const KernelFrame* frame);
