// Time for the capture thread: a monotonic count of milliseconds and a rest
// of the calling thread, over the performance counter and the kernel's
// delay.
#pragma once

#include "platform/kernel.h"

// Milliseconds since an arbitrary origin, never going back.
ULONGLONG MillisecondsNow();
// Puts the calling thread to sleep for about this long; passive level only.
void RestMilliseconds(ULONG milliseconds);
