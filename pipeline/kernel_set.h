// The kernels of one instruction-set level, chosen once: the colour and grey
// demosaic, the channel sums of the white-balance estimate and the YUV
// conversions of the delivered image.
#pragma once

#include "pipeline/kernels.h"
#include "pipeline/yuv_kernels.h"
#include "platform/cpu_features.h"
#include "platform/extended_state.h"

struct KernelSet {
    LONG level;  // SimdLevelSse2, SimdLevelAvx2 or SimdLevelAvx512
    AccumulatorPath (*colour)(const KernelFrame* frame, LONG bayerPhase);
    void (*mono)(const KernelFrame* frame, LONG bayerPhase);
    void (*sumChannels)(const KernelFrame* frame, LONG bayerPhase, ChannelTotals* totals);
    void (*yuy2)(const YuvImage* image);
    void (*nv12)(const YuvImage* image);
};

// The level to run: the requested one (a SimdLevel setting; 0 or any value
// out of range asks for the best), never above what the processor supports.
LONG ChooseSimdLevel(LONG requested, LONG supported);
// The kernels of a level that ChooseSimdLevel returned.
const KernelSet& KernelsFor(LONG level);
// The kernels the calling thread may run at `level`: the level's own once
// its vector state is saved into `state`, SSE2's when the save fails. The
// caller restores `state` (RestoreVectorState) after its last kernel call.
const KernelSet& BeginKernels(LONG level, VectorStateSave* state);
