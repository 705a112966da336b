// The capture pin's one advertised data range: uncompressed RGB32, bottom-up,
// in the VideoInfo layout, at the size of the current output window. One
// record shared by every device; the last window set on any device defines it.
#pragma once

#include "platform/kernel.h"

extern KS_DATARANGE_VIDEO CaptureDataRange;

// Rewrites the size, rate and interval fields for an output of width x height
// pixels; every product in 32-bit arithmetic, as the range has always carried.
void UpdateDataRange(ULONG width, ULONG height);
