// The capture filter's context and its create and close dispatch.
#pragma once

#include "platform/kernel.h"

// From the pool (tag 'wNCK'), owned by the filter's object bag.
struct CaptureFilter {
    KSFILTER* filter;
};

NTSTATUS NTAPI FilterCreate(PKSFILTER filter, PIRP request);
// Saves the device's settings: a control application's changes persist when
// it closes the filter.
NTSTATUS NTAPI FilterClose(PKSFILTER filter, PIRP request);
