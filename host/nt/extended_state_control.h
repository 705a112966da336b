// Test control of the extended processor state routines
// (KeSaveExtendedProcessorState, KeRestoreExtendedProcessorState).
//
// A save takes a known, non-empty mask at or below DISPATCH_LEVEL and
// becomes the thread's newest; a restore must name the thread's newest save,
// on the thread that made it. Anything else, and a system thread ending with
// a save outstanding, stops with a bug check. Every balanced pair is logged
// with its thread and mask, so a test can check that the vector kernels ran
// under the state they use.
#pragma once

#include <ntddk.h>

#include <vector>

namespace host {

struct ExtendedStatePair {
    unsigned long thread;  // the system thread's number; 0 for any other thread
    ULONG64 mask;
};

// The balanced pairs since the last ResetKernel or ClearExtendedStatePairs.
std::vector<ExtendedStatePair> ExtendedStatePairs();
void ClearExtendedStatePairs();

// The next `count` saves fail with STATUS_INSUFFICIENT_RESOURCES and save
// nothing.
void FailNextExtendedStateSaves(int count);

}  // namespace host
