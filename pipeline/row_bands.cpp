// RunBand: one band's rows, WindowRows at a time, through its window of
// padded rows and the kernels of the pass's level.
#include "pipeline/row_bands.h"

#include "pipeline/kernel_set.h"
#include "pipeline/padded_rows.h"

static_assert(WindowRows % 2 == 0, "every window starts on an even row, as its band does");

namespace {

// Rows first .. end - 1 of the band: the frame's row pairs shared out as
// evenly as whole pairs allow, so that every band starts on an even row.
void BandRows(const ImagePipeline* pipeline, LONG band, ULONG* first, ULONG* end) {
    const ULONG height = pipeline->frame.height;
    const ULONG pairs = (height + 1) / 2;
    const ULONG bands = static_cast<ULONG>(pipeline->bandCount);
    const ULONG index = static_cast<ULONG>(band);
    *first = 2 * (pairs * index / bands);
    const ULONG last = 2 * (pairs * (index + 1) / bands);
    *end = last < height ? last : height;
}

void RunWindow(ImagePipeline* pipeline, const KernelSet& kernels, const KernelFrame& window,
               LONG band) {
    switch (pipeline->passTask) {
        case BandTask::SumChannels: {
            ChannelTotals totals;
            kernels.sumChannels(&window, pipeline->passPhase, &totals);
            AddTotals(&pipeline->bandTotals[band], totals);
            break;
        }
        case BandTask::Colour:
            kernels.colour(&window, pipeline->passPhase);
            break;
        case BandTask::Grey:
            kernels.mono(&window, pipeline->passPhase);
            break;
    }
}

}  // namespace

void RunBand(ImagePipeline* pipeline, LONG band) {
    ULONG first = 0;
    ULONG end = 0;
    BandRows(pipeline, band, &first, &end);
    pipeline->bandTotals[band] = {0, 0, 0};
    const RawWindow raw = {pipeline->rawFirst, pipeline->rawPitch, pipeline->frame.width,
                           pipeline->frame.height};
    const ptrdiff_t stride = pipeline->frame.stride;
    UCHAR* rows = pipeline->workBuffer + static_cast<SIZE_T>(band) * pipeline->windowBytes;
    KernelFrame window = pipeline->frame;
    window.firstPixel = rows + 2 * stride + PaddedRowLead;

    VectorStateSave state;
    const LONG level = pipeline->passLevel;
    const KernelSet& kernels = BeginKernels(level, &state);
    for (ULONG y = first; y < end; y += WindowRows) {
        window.height = end - y < WindowRows ? end - y : WindowRows;
        const LONG top = static_cast<LONG>(y);
        LoadPaddedRows(raw, top - 2, top + static_cast<LONG>(window.height) + 2,
                       rows + PaddedRowLead, stride);
        window.output = pipeline->frame.output + SIZE_T{y} * pipeline->frame.width * 4;
        RunWindow(pipeline, kernels, window, band);
    }
    RestoreVectorState(&state);
}
