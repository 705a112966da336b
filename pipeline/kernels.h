// The per-frame kernels: colour demosaic, grey demosaic and the white-balance
// estimate, each as a scalar reference (the definition, written straight from
// the arithmetic) and as SSE2, AVX2 and AVX-512 versions that store the same
// bytes. All read the kernel parameter block of the pipeline; the Bayer phase
// selects the colour layout (0 G R / B G, 1 B G / G R, 2 R G / G B, any other
// value G B / R G). A wider version may run only on a processor that has its
// instructions, and in the kernel only under a saved extended state.
#pragma once

#include "pipeline/image_pipeline.h"

// The accumulators the vector colour kernels sum the matrix products in.
enum class AccumulatorPath { SixteenBit, Exact };

// Writes width x height pixels (blue, green, red, 255) at output: demosaic,
// white balance, frameMatrix with matrixPositive. The vector kernels return
// the accumulator path they ran: 16-bit lanes where MatrixFitsSixteenBits
// allows, otherwise 32-bit ones.
void DemosaicColourReference(const ImagePipeline* pipeline, LONG bayerPhase);
AccumulatorPath DemosaicColourSse2(const ImagePipeline* pipeline, LONG bayerPhase);
AccumulatorPath DemosaicColourAvx2(const ImagePipeline* pipeline, LONG bayerPhase);
AccumulatorPath DemosaicColourAvx512(const ImagePipeline* pipeline, LONG bayerPhase);

// Writes width x height pixels (Y, Y, Y, 255) at output: demosaic, white
// balance, fixed luma weights.
void DemosaicMonoReference(const ImagePipeline* pipeline, LONG bayerPhase);
void DemosaicMonoSse2(const ImagePipeline* pipeline, LONG bayerPhase);
void DemosaicMonoAvx2(const ImagePipeline* pipeline, LONG bayerPhase);
void DemosaicMonoAvx512(const ImagePipeline* pipeline, LONG bayerPhase);

// Gains that bring the frame's red and blue totals to its green total, green
// 128, each at most 65535. Returns false, writing nothing, when a channel sums
// to 0 and so has no gain.
bool EstimateWhiteBalanceReference(const ImagePipeline* pipeline, LONG bayerPhase, LONG* red,
                                   LONG* green, LONG* blue);
bool EstimateWhiteBalanceSse2(const ImagePipeline* pipeline, LONG bayerPhase, LONG* red,
                              LONG* green, LONG* blue);
bool EstimateWhiteBalanceAvx2(const ImagePipeline* pipeline, LONG bayerPhase, LONG* red,
                              LONG* green, LONG* blue);
bool EstimateWhiteBalanceAvx512(const ImagePipeline* pipeline, LONG bayerPhase, LONG* red,
                                LONG* green, LONG* blue);

// True when no matrix accumulator of this frame can pass 65535, so the colour
// kernel may run its 16-bit path; otherwise it runs the exact 32-bit path.
bool MatrixFitsSixteenBits(const ImagePipeline* pipeline);
