// The capture pin's one advertised data range: uncompressed RGB32, bottom-up,
// in the VideoInfo layout, at the size of the device's output window. Each
// device advertises its own copy (driver/descriptors.h), made from this
// read-only template at full-sensor size.
#pragma once

#include "platform/kernel.h"

extern const KS_DATARANGE_VIDEO CaptureDataRangeTemplate;

// Rewrites the size, rate and interval fields of a device's range for an
// output of width x height pixels.
void UpdateDataRange(KS_DATARANGE_VIDEO* range, ULONG width, ULONG height);
