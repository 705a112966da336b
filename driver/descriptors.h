// What the class driver publishes of the capture filter: the filter
// descriptor, through which it reaches the pin descriptor, the dispatch
// tables, the allocator framing and the automation table. The tables are
// read-only templates; each device publishes its own copy of the filter and
// pin descriptors, whose data ranges are the device's own, so that two
// cameras of different windows each advertise and negotiate theirs.
#pragma once

#include "capture/output_format.h"
#include "platform/kernel.h"

// From the pool (tag 'wNCK'), owned by the device's object bag.
struct PublishedDescriptors {
    KSFILTER_DESCRIPTOR filter;
    KSPIN_DESCRIPTOR_EX pin;
    PKSDATARANGE dataRanges[OutputFormatCount];
    // One for each output format, RGB32 first.
    KS_DATARANGE_VIDEO dataRange[OutputFormatCount];
};

// A copy of the templates pointing at its own pin descriptor and ranges; null
// when the pool refuses.
PublishedDescriptors* CreatePublishedDescriptors();
void NTAPI FreePublishedDescriptors(void* descriptors);

extern const KSFILTER_DESCRIPTOR CaptureFilterDescriptor;
