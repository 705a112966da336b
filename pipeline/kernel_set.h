// The kernels of one instruction-set level, chosen once: the colour and grey
// demosaic and the channel sums of the white-balance estimate.
#pragma once

#include "pipeline/kernels.h"
#include "platform/cpu_features.h"

struct KernelSet {
    LONG level;  // SimdLevelSse2, SimdLevelAvx2 or SimdLevelAvx512
    AccumulatorPath (*colour)(const KernelFrame* frame, LONG bayerPhase);
    void (*mono)(const KernelFrame* frame, LONG bayerPhase);
    void (*sumChannels)(const KernelFrame* frame, LONG bayerPhase, ChannelTotals* totals);
};

// The level to run: the requested one (a SimdLevel setting; 0 or any value
// out of range asks for the best), never above what the processor supports.
LONG ChooseSimdLevel(LONG requested, LONG supported);
// The kernels of a level that ChooseSimdLevel returned.
const KernelSet& KernelsFor(LONG level);
