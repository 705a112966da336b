// The processing step and the end of the pin's run: the engine's half of the
// pin's processing, on the class driver's processing thread.
#include "capture/capture_engine.h"
#include "capture/raw_slots.h"
#include "pipeline/image_pipeline.h"
#include "platform/atomics.h"

namespace {

void ConvertSlot(CaptureEngine* engine, int slot) {
    LONG offset = 0;
    LONG stride = 0;
    engine->device->GetFrameOffset(&offset);
    engine->device->GetFrameStride(&stride);
    SetBayerPhase(engine->pipeline, engine->slotPhase[slot]);
    ConvertFrame(engine->pipeline, engine->slotBuffer[slot], static_cast<ULONG>(offset),
                 static_cast<ULONG>(stride));
}

}  // namespace

bool ProcessFilledSlot(CaptureEngine* engine) {
    // Set before the slot section, so that a stop that marks the engine
    // after this run passed the mark sees the run and waits for it.
    AtomicExchange(&engine->processingActive, 1);
    int slot = NoSlot;
    LONG sequence = 0;
    if (!BeginProcessing(engine, &slot, &sequence)) {
        return false;
    }
    if (slot != NoSlot) {
        ConvertSlot(engine, slot);
        engine->convertedSequence = sequence;
        EndProcessingSlot(engine, slot);
    }
    // The capture thread counts a frame just before its slot shows it as
    // filled: until the stream's first conversion there is no image.
    return engine->convertedSequence != 0;
}

void EndProcessing(CaptureEngine* engine) {
    AtomicExchange(&engine->processingActive, 0);
    SignalEvent(&engine->processingDone);
}
