// ChooseSimdLevel and the three kernel sets.
#include "pipeline/kernel_set.h"

namespace {

const KernelSet Sets[3] = {
    {SimdLevelSse2, DemosaicColourSse2, DemosaicMonoSse2, SumChannelsSse2},
    {SimdLevelAvx2, DemosaicColourAvx2, DemosaicMonoAvx2, SumChannelsAvx2},
    {SimdLevelAvx512, DemosaicColourAvx512, DemosaicMonoAvx512, SumChannelsAvx512},
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
