// The performance counter and the kernel's delay.
#include "platform/clock.h"

ULONGLONG MillisecondsNow() {
    LARGE_INTEGER frequency;
    LARGE_INTEGER counter = KeQueryPerformanceCounter(&frequency);
    const ULONGLONG ticksPerMillisecond = static_cast<ULONGLONG>(frequency.QuadPart) / 1000;
    if (ticksPerMillisecond == 0) {
        return 0;
    }
    return static_cast<ULONGLONG>(counter.QuadPart) / ticksPerMillisecond;
}

void RestMilliseconds(ULONG milliseconds) {
    // Negative: an interval relative to now, in 100-ns units.
    LARGE_INTEGER interval;
    interval.QuadPart = -static_cast<LONGLONG>(milliseconds) * 10000;
    KeDelayExecutionThread(KernelMode, FALSE, &interval);
}
