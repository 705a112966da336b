// The capture pin's advertised data ranges, one for each output format in
// the order of capture/output_format.h: RGB32 (bottom-up), YUY2 and NV12, in
// the VideoInfo layout at the size of the device's output window. Each
// device advertises its own copies (driver/descriptors.h), made from the
// read-only RGB32 template at full-sensor size.
#pragma once

#include "capture/output_format.h"
#include "platform/kernel.h"

extern const KS_DATARANGE_VIDEO CaptureDataRangeTemplate;

// The template, then the template with each YUV format's subtype, bit count
// and compression, its sizes those of the full sensor.
void InitDataRanges(KS_DATARANGE_VIDEO ranges[OutputFormatCount]);

// Rewrites the size, rate and interval fields of a device's ranges (all
// OutputFormatCount of them) for an output of width x height pixels. The
// NV12 range describes the rows NV12 delivers: height rounded down to even.
void UpdateDataRange(KS_DATARANGE_VIDEO* ranges, ULONG width, ULONG height);
