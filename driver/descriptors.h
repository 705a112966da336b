// What the class driver publishes of the capture filter: the filter
// descriptor, through which it reaches the pin descriptor, the dispatch
// tables, the allocator framing and the automation table.
#pragma once

#include "platform/kernel.h"

extern const KSFILTER_DESCRIPTOR CaptureFilterDescriptor;
