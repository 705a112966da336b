// SaveVectorState and RestoreVectorState over the kernel's extended
// processor state routines.
#include "platform/extended_state.h"

#include "platform/cpu_features.h"

bool SaveVectorState(LONG level, VectorStateSave* save) {
    save->saved = false;
    if (level <= SimdLevelSse2) {
        return true;
    }
    const ULONG64 mask =
        level >= SimdLevelAvx512 ? XSTATE_MASK_AVX | XSTATE_MASK_AVX512 : XSTATE_MASK_AVX;
    save->saved = NT_SUCCESS(KeSaveExtendedProcessorState(mask, &save->save));
    return save->saved;
}

void RestoreVectorState(VectorStateSave* save) {
    if (save->saved) {
        KeRestoreExtendedProcessorState(&save->save);
        save->saved = false;
    }
}
