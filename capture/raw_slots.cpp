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

int ChooseSlotToFill(const CaptureEngine* engine) {
    for (int slot = 0; slot < RawSlotCount; ++slot) {
        if (engine->slotState[slot] == SlotFree) {
            return slot;
        }
    }
    return FindFilled(engine, false);
}

}  // namespace

int BeginFill(CaptureEngine* engine) {
    AcquireShortLock(&engine->slotLock);
    int slot = ChooseSlotToFill(engine);
    if (slot != NoSlot) {
        engine->slotState[slot] = SlotFilling;
    }
    ReleaseShortLock(&engine->slotLock);
    return slot;
}

void EndFill(CaptureEngine* engine, int slot, bool filled, LONG sequence) {
    AcquireShortLock(&engine->slotLock);
    engine->slotState[slot] = filled ? SlotFilled : SlotFree;
    engine->slotSequence[slot] = sequence;
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
            }
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
