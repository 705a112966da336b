// The kernels of one instruction set, `Wide` (an operation set the
// including file names before it), as functions of the file's target region:
// what its baseline entry points call. Internal to pipeline/.
#pragma once

#include "pipeline/colour_kernel.h"
#include "pipeline/mono_kernel.h"
#include "pipeline/white_balance_kernel.h"
#include "pipeline/yuv_kernel.h"

namespace {

AccumulatorPath Colour(const KernelFrame* frame, LONG bayerPhase) {
    return DemosaicColourWith<Wide>(frame, bayerPhase);
}

void Mono(const KernelFrame* frame, LONG bayerPhase) {
    DemosaicMonoWith<Wide>(frame, bayerPhase);
}

void SumChannels(const KernelFrame* frame, LONG bayerPhase, ChannelTotals* totals) {
    SumChannelsWith<Wide>(frame, bayerPhase, totals);
}

void Yuy2(const YuvImage* image) {
    ConvertYuy2With<Wide>(image);
}

void Nv12(const YuvImage* image) {
    ConvertNv12With<Wide>(image);
}

}  // namespace
