// ConvertFrame: one raw frame through the WorkingFrame, the optional
// white-balance estimate, the per-frame snapshot of gains and matrix, and the
// colour or grey kernel, the kernels of the pipeline's level running under
// the vector state they use.
#include "pipeline/kernel_set.h"
#include "platform/atomics.h"
#include "platform/extended_state.h"

namespace {

// The estimate applies to the frame it was taken from and becomes the gain
// settings. A frame with a channel that sums to 0 has no estimate: it keeps
// the gains it read and the settings stay as they are.
void BalanceFrame(ImagePipeline* pipeline, const KernelSet& kernels, LONG bayerPhase) {
    LONG red;
    LONG green;
    LONG blue;
    if (!kernels.whiteBalance(pipeline, bayerPhase, &red, &green, &blue)) {
        return;
    }
    pipeline->gainRed = static_cast<ULONG>(red);
    pipeline->gainGreen = static_cast<ULONG>(green);
    pipeline->gainBlue = static_cast<ULONG>(blue);
    AtomicExchange(&pipeline->redGainSetting, red);
    AtomicExchange(&pipeline->greenGainSetting, green);
    AtomicExchange(&pipeline->blueGainSetting, blue);
}

// Under matrixLock, so a frame never sees a half-published matrix.
void SnapshotMatrix(ImagePipeline* pipeline) {
    AcquireShortLock(&pipeline->matrixLock);
    for (int i = 0; i < 16; ++i) {
        const LONG entry = pipeline->fixedMatrix[i];
        pipeline->matrixPositive[i] = entry > 0 ? 1 : 0;
        pipeline->frameMatrix[i] = entry;
    }
    ReleaseShortLock(&pipeline->matrixLock);
}

}  // namespace

void ConvertFrame(ImagePipeline* pipeline, const UCHAR* rawFrame, ULONG offset, ULONG pitch) {
    if (pipeline->outputBuffer == nullptr || rawFrame == nullptr ||
        pipeline->workBuffer == nullptr) {
        return;
    }
    LoadWorkingFrame(pipeline, rawFrame, offset, pitch);
    pipeline->output = pipeline->outputBuffer;
    pipeline->gainRed = static_cast<ULONG>(AtomicRead(&pipeline->redGainSetting));
    pipeline->gainGreen = static_cast<ULONG>(AtomicRead(&pipeline->greenGainSetting));
    pipeline->gainBlue = static_cast<ULONG>(AtomicRead(&pipeline->blueGainSetting));
    const LONG bayerPhase = AtomicRead(&pipeline->bayerPhase);
    VectorStateSave state;
    const LONG level = pipeline->simdLevel;
    const KernelSet& kernels = KernelsFor(SaveVectorState(level, &state) ? level : SimdLevelSse2);
    if (AtomicRead(&pipeline->whiteBalanceEnabled) != 0) {
        BalanceFrame(pipeline, kernels, bayerPhase);
    }
    SnapshotMatrix(pipeline);
    if (AtomicRead(&pipeline->colourEnabled) != 0) {
        kernels.colour(pipeline, bayerPhase);
    } else {
        kernels.mono(pipeline, bayerPhase);
    }
    RestoreVectorState(&state);
}
