// The delivery counts, each step inside the counts' short lock.
#include "capture/delivery_counts.h"

namespace {

// Applications take the pictures a stream had as the frames they received
// plus the frames dropped, and what they received as the picture number
// less the drop count.
LONGLONG PictureNumber(const DeliveryCounts* counts) {
    return counts->delivered + counts->dropped;
}

}  // namespace

void InitializeDeliveryCounts(DeliveryCounts* counts) {
    InitializeShortLock(&counts->lock);
    ResetDeliveryCounts(counts);
}

void ResetDeliveryCounts(DeliveryCounts* counts) {
    AcquireShortLock(&counts->lock);
    counts->delivered = 0;
    counts->dropped = 0;
    counts->bytesDelivered = 0;
    counts->lastSequence = 0;
    ReleaseShortLock(&counts->lock);
}

// Sequences are compared by their 32-bit difference, which survives the
// count wrapping; frames never go back in time, so a delivery is either the
// last one's frame again or a newer one.
DeliveredFrame CountDelivery(DeliveryCounts* counts, LONG sequence, ULONG bytes) {
    AcquireShortLock(&counts->lock);
    const auto advance =
        static_cast<LONG>(static_cast<ULONG>(sequence) - static_cast<ULONG>(counts->lastSequence));
    const bool repeated = counts->delivered != 0 && advance <= 0;
    if (advance > 0) {
        counts->dropped += advance - 1;
        counts->lastSequence = sequence;
    }
    ++counts->delivered;
    counts->bytesDelivered += bytes;
    const DeliveredFrame frame = {PictureNumber(counts), counts->dropped, repeated};
    ReleaseShortLock(&counts->lock);
    return frame;
}

DeliverySummary ReadDeliveryCounts(DeliveryCounts* counts) {
    AcquireShortLock(&counts->lock);
    DeliverySummary summary = {PictureNumber(counts), counts->dropped, 0};
    if (counts->delivered > 0) {
        summary.averageFrameSize =
            static_cast<ULONG>(counts->bytesDelivered / static_cast<ULONGLONG>(counts->delivered));
    }
    ReleaseShortLock(&counts->lock);
    return summary;
}
