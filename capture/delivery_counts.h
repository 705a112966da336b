// The capture pin's count of what it delivered since the stream started, as
// capture applications read it in each buffer's KS_FRAME_INFO and through
// PROPSETID_VIDCAP_DROPPEDFRAMES. A picture is a delivery or a drop: a raw
// frame read from the camera that no delivery carried. A delivery that
// carries the image of the one before it is a repeat. Which raw frame a
// delivery carries is its sequence, the engine's framesCaptured count of it.
#pragma once

#include "platform/lock.h"

// Part of the zero-filled CapturePin; reset at each stream start. The pin's
// processing (never twice at once) writes it and property requests read
// it, both under `lock`.
struct DeliveryCounts {
    ShortLock lock;
    LONGLONG delivered;  // buffers completed with an image, repeats included
    // Raw frames up to the last one delivered that no delivery carried.
    LONGLONG dropped;
    ULONGLONG bytesDelivered;  // DataUsed over the deliveries
    LONG lastSequence;         // the raw frame the last delivery carried; 0 before the first
};

// What a delivery's KS_FRAME_INFO says of it.
struct DeliveredFrame {
    LONGLONG pictureNumber;  // deliveries and drops up to and including this one
    LONGLONG dropCount;
    bool repeated;
};

// The dropped-frames property's values.
struct DeliverySummary {
    LONGLONG pictureNumber;
    LONGLONG dropCount;
    ULONG averageFrameSize;  // DataUsed per delivery; 0 before the first
};

void InitializeDeliveryCounts(DeliveryCounts* counts);
// At a stream start, before the pin's processing can run.
void ResetDeliveryCounts(DeliveryCounts* counts);
// A buffer completed with `bytes` of the raw frame `sequence`: raw frames
// read since the last delivered one and before this one are dropped.
DeliveredFrame CountDelivery(DeliveryCounts* counts, LONG sequence, ULONG bytes);
DeliverySummary ReadDeliveryCounts(DeliveryCounts* counts);
