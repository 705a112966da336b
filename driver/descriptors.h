// What the class driver publishes of the capture filter: the filter
// descriptor, through which it reaches the pin descriptor, the dispatch
// tables, the allocator framing and the automation table. The tables are
// read-only templates; each device publishes its own copy of the filter and
// pin descriptors, whose data range is the device's own, so that two cameras
// of different windows each advertise and negotiate theirs.
#pragma once

#include "platform/kernel.h"

// From the pool (tag 'wNCK'), owned by the device's object bag.
struct PublishedDescriptors {
    KSFILTER_DESCRIPTOR filter;
    KSPIN_DESCRIPTOR_EX pin;
    PKSDATARANGE dataRanges[1];
    KS_DATARANGE_VIDEO dataRange;
};

// A copy of the templates pointing at its own pin descriptor and range; null
// when the pool refuses.
PublishedDescriptors* CreatePublishedDescriptors();
void NTAPI FreePublishedDescriptors(void* descriptors);

extern const KSFILTER_DESCRIPTOR CaptureFilterDescriptor;
