// The vector state a kernel level needs saved before it runs in the kernel:
// nothing for SSE2, the AVX state for AVX2, and the AVX-512 state as well for
// AVX-512. Save and restore on the thread that converts, around the
// conversion.
#pragma once

#include "platform/kernel.h"

struct VectorStateSave {
    XSTATE_SAVE save;
    bool saved;
};

// True when `level` may run: SSE2 at once, a wider level once its state is
// saved. False when the save failed: run SSE2 instead.
bool SaveVectorState(LONG level, VectorStateSave* save);
// Undoes a save that SaveVectorState made; nothing when it made none.
void RestoreVectorState(VectorStateSave* save);
