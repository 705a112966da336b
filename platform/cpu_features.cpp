// SupportedSimdLevel: CPUID leaves 1 and 7 and XCR0.
#include "platform/cpu_features.h"

#include <cpuid.h>

#include "platform/atomics.h"

namespace {

// XCR0 bits: SSE and AVX state, then the AVX-512 opmask and upper ZMM state.
constexpr ULONG64 XcrAvxState = 0x6;
constexpr ULONG64 XcrAvx512State = 0xE6;

ULONG64 ReadXcr0() {
    ULONG low;
    ULONG high;
    __asm__ volatile("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
    return (ULONG64{high} << 32) | low;
}

LONG DetectSimdLevel() {
    unsigned int eax;
    unsigned int ebx;
    unsigned int ecx;
    unsigned int edx;
    if (__get_cpuid(1, &eax, &ebx, &ecx, &edx) == 0) {
        return SimdLevelSse2;
    }
    const bool osSavesState = (ecx & bit_OSXSAVE) != 0;
    if (!osSavesState || (ecx & bit_AVX) == 0 || __get_cpuid_max(0, nullptr) < 7) {
        return SimdLevelSse2;
    }
    const ULONG64 xcr0 = ReadXcr0();
    __cpuid_count(7, 0, eax, ebx, ecx, edx);
    if ((xcr0 & XcrAvxState) != XcrAvxState || (ebx & bit_AVX2) == 0) {
        return SimdLevelSse2;
    }
    const bool avx512 = (ebx & bit_AVX512F) != 0 && (ebx & bit_AVX512BW) != 0;
    return avx512 && (xcr0 & XcrAvx512State) == XcrAvx512State ? SimdLevelAvx512 : SimdLevelAvx2;
}

// Detected on first use (the driver's entry makes that use); every later
// call reads the same answer.
LONG DetectedLevel = 0;

}  // namespace

ULONG ActiveProcessorCount() {
    return KeQueryActiveProcessorCountEx(ALL_PROCESSOR_GROUPS);
}

LONG SupportedSimdLevel() {
    LONG level = RelaxedRead(&DetectedLevel);
    if (level == 0) {
        level = DetectSimdLevel();
        RelaxedWrite(&DetectedLevel, level);
    }
    return level;
}
