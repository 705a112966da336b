// The slot section's steps. Every function here runs under slotLock and
// does nothing else: no I/O, no conversion, no wait.
#include "capture/raw_slots.h"

#include "platform/atomics.h"

namespace {

// Sequences are framesCaptured counts; compared by difference so that the
// order survives the count wrapping.
bool IsNewer(LONG sequence, LONG than) {
    return static_cast<LONG>(static_cast<ULONG>(sequence) - static_cast<ULONG>(than)) > 0;
}

// With the lock held: the filled slot whose frame is the newest (newest
// true) or the oldest, or NoSlot.
int FindFilled(const CaptureEngine* engine, bool newest) {
    int found = NoSlot;
    for (int slot = 0; slot < RawSlotCount; ++slot) {
        if (engine->slotState[slot] != SlotFilled) {
            continue;
        }
        if (found == NoSlot ||
            IsNewer(engine->slotSequence[slot], engine->slotSequence[found]) == newest) {
            found = slot;
        }
    }
    return found;
}

// A free slot, else the older of two filled ones: never the only filled
// one, which waits for the processing step.
int ChooseSlotToFill(const CaptureEngine* engine) {
    int filled = 0;
    for (int slot = 0; slot < RawSlotCount; ++slot) {
        if (engine->slotState[slot] == SlotFree) {
            return slot;
        }
        filled += engine->slotState[slot] == SlotFilled;
    }
    return filled > 1 ? FindFilled(engine, false) : NoSlot;
}

}  // namespace

int BeginFill(CaptureEngine* engine) {
    AcquireShortLock(&engine->slotLock);
    int slot = ChooseSlotToFill(engine);
    if (slot != NoSlot) {
        engine->fillPreviousState = engine->slotState[slot];
        engine->fillPreviousSequence = engine->slotSequence[slot];
        engine->slotState[slot] = SlotFilling;
    }
    ReleaseShortLock(&engine->slotLock);
    return slot;
}

void EndFill(CaptureEngine* engine, int slot, FillResult result, LONG sequence) {
    AcquireShortLock(&engine->slotLock);
    switch (result) {
        case FillResult::Untouched:
            engine->slotState[slot] = engine->fillPreviousState;
            engine->slotSequence[slot] = engine->fillPreviousSequence;
            break;
        case FillResult::Torn:
            engine->slotState[slot] = SlotFree;
            engine->slotSequence[slot] = 0;
            break;
        case FillResult::Complete:
            engine->slotState[slot] = SlotFilled;
            engine->slotSequence[slot] = sequence;
            break;
    }
    ReleaseShortLock(&engine->slotLock);
}

bool BeginProcessing(CaptureEngine* engine, int* slot, LONG* sequence) {
    AcquireShortLock(&engine->slotLock);
    if (engine->stopping != 0) {
        ReleaseShortLock(&engine->slotLock);
        return false;
    }
    *slot = FindFilled(engine, true);
    if (*slot != NoSlot) {
        for (int other = 0; other < RawSlotCount; ++other) {
            if (other != *slot && engine->slotState[other] == SlotFilled) {
                engine->slotState[other] = SlotFree;  // older: dropped
                SignalEvent(&engine->slotChanged);
            }
        }
        // The older frame in the slot being filled is superseded too: a
        // poll that brings nothing must not give it back after this one.
        if (engine->fillPreviousState == SlotFilled) {
            engine->fillPreviousState = SlotFree;
            engine->fillPreviousSequence = 0;
        }
        engine->slotState[*slot] = SlotProcessing;
        *sequence = engine->slotSequence[*slot];
    }
    ReleaseShortLock(&engine->slotLock);
    return true;
}

void EndProcessingSlot(CaptureEngine* engine, int slot) {
    AcquireShortLock(&engine->slotLock);
    engine->slotState[slot] = SlotFree;
    SignalEvent(&engine->slotChanged);
    ReleaseShortLock(&engine->slotLock);
}

void ResetSlots(CaptureEngine* engine) {
    AcquireShortLock(&engine->slotLock);
    for (int slot = 0; slot < RawSlotCount; ++slot) {
        engine->slotState[slot] = SlotFree;
        engine->slotSequence[slot] = 0;
    }
    ReleaseShortLock(&engine->slotLock);
}

void AllowProcessing(CaptureEngine* engine) {
    AcquireShortLock(&engine->slotLock);
    engine->stopping = 0;
    ReleaseShortLock(&engine->slotLock);
}

bool StopProcessing(CaptureEngine* engine) {
    AcquireShortLock(&engine->slotLock);
    engine->stopping = 1;
    // Cleared inside the section: a run that ended before it may still set
    // the event afterwards, but then any run seen active here began after
    // that, so after the mark, and takes nothing.
    ClearEvent(&engine->processingDone);
    bool active = AtomicRead(&engine->processingActive) != 0;
    ReleaseShortLock(&engine->slotLock);
    return active;
}
