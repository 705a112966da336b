// The slot section: the short-locked steps in which the capture thread and
// the processing step choose, take and give back the two raw slots, and in
// which state changes open the slots and mark the engine stopping. Frames
// never go back in time: the thread overwrites the older of two filled slots
// and the processing step takes the newest, dropping the other. A filled
// frame waiting for the processing step is given up only for a newer frame
// read whole: the thread never polls into the one filled slot while the other
// is being processed, and a poll that writes nothing leaves its slot as it
// was.
#pragma once

#include "capture/capture_engine.h"

constexpr int NoSlot = -1;

// Capture thread, before a read: a free slot (slot 0 first), else the older
// of two filled ones, marked Filling; NoSlot when one slot is being
// processed and the other holds a frame for it, and the thread then waits
// for slotChanged.
int BeginFill(CaptureEngine* engine);

enum class FillResult {
    Untouched,  // no frame, or the poll failed before the frame data
    Torn,       // the frame data transfer failed midway
    Complete,
};
// Capture thread, after the read: Filled with the frame's sequence when
// complete, Free when torn, and as before the read when untouched.
void EndFill(CaptureEngine* engine, int slot, FillResult result, LONG sequence);

// Processing step: false when the engine is stopping. Otherwise takes the
// newest filled slot, if any (else *slot is NoSlot), marks it Processing with
// its sequence in *sequence, and frees any older filled slot.
bool BeginProcessing(CaptureEngine* engine, int* slot, LONG* sequence);
// Processing step, after the conversion.
void EndProcessingSlot(CaptureEngine* engine, int slot);

// State changes. Frees both slots; the engine must be stopping.
void ResetSlots(CaptureEngine* engine);
// Lets the processing step take slots again.
void AllowProcessing(CaptureEngine* engine);
// Marks the engine stopping and clears processingDone, in one section with
// the processing step's test of the mark; true when a processing step is
// active, which StopCapture must then wait for.
bool StopProcessing(CaptureEngine* engine);
