// The three kernels of one instruction set, `Wide` (an operation set the
// including file names before it), as functions of the file's target region:
// what its baseline entry points call. Internal to pipeline/.
#pragma once

#include "pipeline/colour_kernel.h"
#include "pipeline/mono_kernel.h"
#include "pipeline/white_balance_kernel.h"

namespace {

AccumulatorPath Colour(const ImagePipeline* pipeline, LONG bayerPhase) {
    return DemosaicColourWith<Wide>(pipeline, bayerPhase);
}

void Mono(const ImagePipeline* pipeline, LONG bayerPhase) {
    DemosaicMonoWith<Wide>(pipeline, bayerPhase);
}

bool WhiteBalance(const ImagePipeline* pipeline, LONG bayerPhase, LONG* red, LONG* green,
                  LONG* blue) {
    return EstimateWhiteBalanceWith<Wide>(pipeline, bayerPhase, red, green, blue);
}

}  // namespace
