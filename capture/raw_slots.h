// The slot section: the short-locked steps in which the capture thread and
// the processing step choose, take and give back the two raw slots, and in
// which state changes open the slots and mark the engine stopping. Frames
// never go back in time: the thread overwrites the older of two filled slots
// and the processing step takes the newest, dropping the other.
#pragma once

#include "capture/capture_engine.h"

constexpr int NoSlot = -1;

// Capture thread, before a read: a free slot (slot 0 first), else the older
// filled one, marked Filling. A slot being processed is never chosen; NoSlot
// only if both are.
int BeginFill(CaptureEngine* engine);
// Capture thread, after the read: Filled with the frame's sequence, or Free
// when the read failed.
void EndFill(CaptureEngine* engine, int slot, bool filled, LONG sequence);

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
