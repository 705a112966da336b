// ConvertFrame: one raw frame through the WorkingFrame, the optional
// white-balance estimate, the per-frame snapshot of gains and matrix, and the
// colour or grey kernel.
#include "pipeline/kernels.h"
#include "platform/atomics.h"

namespace {

// The estimate applies to the frame it was taken from and becomes the gain
// settings. A frame with a channel that sums to 0 has no estimate: it keeps
// the gains it read and the settings stay as they are.
void BalanceFrame(ImagePipeline* pipeline, LONG bayerPhase) {
    LONG red;
    LONG green;
    LONG blue;
    if (!EstimateWhiteBalanceSse2(pipeline, bayerPhase, &red, &green, &blue)) {
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
    if (AtomicRead(&pipeline->whiteBalanceEnabled) != 0) {
        BalanceFrame(pipeline, bayerPhase);
    }
    SnapshotMatrix(pipeline);
    if (AtomicRead(&pipeline->colourEnabled) != 0) {
        DemosaicColourSse2(pipeline, bayerPhase);
    } else {
        DemosaicMonoSse2(pipeline, bayerPhase);
    }
}
