// ChooseSimdLevel, BeginKernels and the three kernel sets.
#include "pipeline/kernel_set.h"

namespace {

const KernelSet Sets[3] = {
    {SimdLevelSse2, DemosaicColourSse2, DemosaicMonoSse2, SumChannelsSse2, ConvertYuy2Sse2,
     ConvertNv12Sse2},
    {SimdLevelAvx2, DemosaicColourAvx2, DemosaicMonoAvx2, SumChannelsAvx2, ConvertYuy2Avx2,
     ConvertNv12Avx2},
    {SimdLevelAvx512, DemosaicColourAvx512, DemosaicMonoAvx512, SumChannelsAvx512,
     ConvertYuy2Avx512, ConvertNv12Avx512},
};

}  // namespace

LONG ChooseSimdLevel(LONG requested, LONG supported) {
    if (requested < SimdLevelSse2 || requested > SimdLevelAvx512) {
        requested = SimdLevelAvx512;
    }
    return requested < supported ? requested : supported;
}

const KernelSet& KernelsFor(LONG level) {
    if (level < SimdLevelSse2 || level > SimdLevelAvx512) {
        level = SimdLevelSse2;
    }
    return Sets[level - SimdLevelSse2];
}

const KernelSet& BeginKernels(LONG level, VectorStateSave* state) {
    return KernelsFor(SaveVectorState(level, state) ? level : SimdLevelSse2);
}
