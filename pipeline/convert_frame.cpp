// ConvertFrame: one raw frame through the optional white-balance estimate,
// the per-frame snapshot of gains and matrix, and the colour or grey kernel,
// each pass in row bands over the converting thread and the workers.
#include <cstdint>

#include "pipeline/row_bands.h"
#include "platform/atomics.h"

namespace {

// An output this large does not stay in the cache until the pin copies it
// out, so its stores go past the cache instead of evicting the raw rows the
// kernels read; streaming stores need every row 64-byte aligned.
constexpr SIZE_T StreamedOutputBytes = SIZE_T{16} << 20;

UCHAR StreamsOutput(const KernelFrame* frame) {
    const SIZE_T rowBytes = SIZE_T{frame->width} * 4;
    const bool aligned = (reinterpret_cast<uintptr_t>(frame->output) | rowBytes) % 64 == 0;
    return aligned && rowBytes * frame->height >= StreamedOutputBytes ? 1 : 0;
}

// The estimate applies to the frame it was taken from and becomes the gain
// settings. A frame with a channel that sums to 0 has no estimate: it keeps
// the gains it read and the settings stay as they are.
void BalanceFrame(ImagePipeline* pipeline) {
    pipeline->passTask = BandTask::SumChannels;
    RunBands(pipeline);
    ChannelTotals totals = {0, 0, 0};
    for (LONG band = 0; band < pipeline->bandCount; ++band) {
        AddTotals(&totals, pipeline->bandTotals[band]);
    }
    LONG red;
    LONG green;
    LONG blue;
    if (!GainsFromTotals(totals, &red, &green, &blue)) {
        return;
    }
    pipeline->frame.gainRed = static_cast<ULONG>(red);
    pipeline->frame.gainGreen = static_cast<ULONG>(green);
    pipeline->frame.gainBlue = static_cast<ULONG>(blue);
    AtomicExchange(&pipeline->redGainSetting, red);
    AtomicExchange(&pipeline->greenGainSetting, green);
    AtomicExchange(&pipeline->blueGainSetting, blue);
}

// Under matrixLock, so a frame never sees a half-published matrix.
void SnapshotMatrix(ImagePipeline* pipeline) {
    AcquireShortLock(&pipeline->matrixLock);
    for (int i = 0; i < 16; ++i) {
        const LONG entry = pipeline->fixedMatrix[i];
        pipeline->frame.matrixPositive[i] = entry > 0 ? 1 : 0;
        pipeline->frame.frameMatrix[i] = entry;
    }
    ReleaseShortLock(&pipeline->matrixLock);
}

}  // namespace

void ConvertFrame(ImagePipeline* pipeline, const UCHAR* rawFrame, ULONG offset, ULONG pitch) {
    if (pipeline->outputBuffer == nullptr || rawFrame == nullptr ||
        pipeline->workBuffer == nullptr) {
        return;
    }
    KernelFrame* frame = &pipeline->frame;
    frame->output = pipeline->outputBuffer;
    frame->streamOutput = StreamsOutput(frame);
    frame->gainRed = static_cast<ULONG>(AtomicRead(&pipeline->redGainSetting));
    frame->gainGreen = static_cast<ULONG>(AtomicRead(&pipeline->greenGainSetting));
    frame->gainBlue = static_cast<ULONG>(AtomicRead(&pipeline->blueGainSetting));
    pipeline->rawFirst = rawFrame + offset;
    pipeline->rawPitch = pitch;
    pipeline->passPhase = AtomicRead(&pipeline->bayerPhase);
    pipeline->passLevel = pipeline->simdLevel;
    if (AtomicRead(&pipeline->whiteBalanceEnabled) != 0) {
        BalanceFrame(pipeline);
    }
    SnapshotMatrix(pipeline);
    pipeline->passTask =
        AtomicRead(&pipeline->colourEnabled) != 0 ? BandTask::Colour : BandTask::Grey;
    RunBands(pipeline);
}
