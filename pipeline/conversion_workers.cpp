// The conversion workers: one system thread per band after the first, from
// the stream's start to its teardown, each waiting for its band of the next
// pass; and the dispatch of a pass over them.
#include "pipeline/row_bands.h"
#include "platform/atomics.h"

namespace {

VOID NTAPI RunConversionWorker(PVOID context) {
    auto* worker = static_cast<ConversionWorker*>(context);
    ImagePipeline* pipeline = worker->pipeline;
    for (;;) {
        WaitForEvent(&worker->go);
        ClearEvent(&worker->go);
        if (AtomicRead(&pipeline->workersQuit) != 0) {
            break;
        }
        RunBand(pipeline, worker->band);
        SignalEvent(&worker->done);
    }
    ExitSystemThread();
}

}  // namespace

void StartConversionWorkers(ImagePipeline* pipeline) {
    AtomicExchange(&pipeline->workersQuit, 0);
    LONG bands = 1;
    for (; bands < pipeline->conversionThreads; ++bands) {
        ConversionWorker* worker = &pipeline->workers[bands - 1];
        worker->pipeline = pipeline;
        worker->band = bands;
        InitializeEvent(&worker->go);
        InitializeEvent(&worker->done);
        if (!StartSystemThread(RunConversionWorker, worker, &worker->thread)) {
            break;
        }
    }
    pipeline->bandCount = bands;
}

void StopConversionWorkers(ImagePipeline* pipeline) {
    AtomicExchange(&pipeline->workersQuit, 1);
    for (LONG band = 1; band < pipeline->bandCount; ++band) {
        ConversionWorker* worker = &pipeline->workers[band - 1];
        SignalEvent(&worker->go);
        WaitForSystemThread(&worker->thread);
    }
    pipeline->bandCount = 1;
}

void RunBands(ImagePipeline* pipeline) {
    const LONG bands = pipeline->bandCount;
    for (LONG band = 1; band < bands; ++band) {
        ConversionWorker* worker = &pipeline->workers[band - 1];
        ClearEvent(&worker->done);
        SignalEvent(&worker->go);
    }
    RunBand(pipeline, 0);
    for (LONG band = 1; band < bands; ++band) {
        WaitForEvent(&pipeline->workers[band - 1].done);
    }
}
