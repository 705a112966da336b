// Pins: created on a filter with a connection format, limited by the
// descriptor's InstancesPossible; states walked one step at a time; the
// process dispatch run on the pin's own worker thread (in the System
// process); the stream queue of client buffers.
//
// Locks: as on Windows, the filter's control mutex serialises create, close,
// format and state changes, and the pin's processing mutex is held around
// each Process call, so a state change and processing may overlap: a driver
// that must keep them apart takes the processing mutex itself. `mutex_`
// guards the processing flags, the device state the worker reads and the
// clock; `queueMutex_` guards the queue, the leading edge and the completed
// buffers. Neither is held while a dispatch routine runs.
#pragma once

#include <ks.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "host/ks/ks_mutex.h"

namespace host::ks {

class Filter;
class ReferenceClock;

// A buffer back from the pin: the client's header, written back, and the
// status it completed with (STATUS_CANCELLED when the pin stopped first).
struct CompletedBuffer {
    KSSTREAM_HEADER* header;
    NTSTATUS status;
};

class Pin {
public:
    static NTSTATUS Create(Filter* filter, ULONG pinId, const KSDATAFORMAT* format,
                           ULONG formatSize, Pin** pin);
    // Walks the pin down to stop (failures ignored), stops the worker,
    // cancels the queue, runs the Close dispatch and frees the pin. The
    // driver must have unlocked the leading edge: a bug check otherwise.
    void Close();

    Pin(Filter* filter, ULONG pinId, const KSPIN_DESCRIPTOR_EX* descriptor);

    // Walks one step at a time to `state`; stops at the first refused step.
    NTSTATUS SetState(KSSTATE state);
    KSSTATE State();
    // A new connection format on the existing pin (SetDataFormat with the old
    // one); the old format stays when the driver refuses.
    NTSTATUS SetDataFormat(const KSDATAFORMAT* format, ULONG formatSize);
    // The graph's clock; null for none. The pin holds a reference.
    void SetMasterClock(ReferenceClock* clock);
    NTSTATUS GetReferenceClock(PIKSREFERENCECLOCK* clock);

    // Queues a client buffer: STATUS_PENDING until it completes. Its header
    // must be exactly the pin's StreamHeaderSize, as Windows probes stream
    // headers against it; the whole header comes back at completion.
    NTSTATUS SubmitBuffer(KSSTREAM_HEADER* header);
    // Cancels the queued buffer with this client header, as an IRP is
    // cancelled: it completes with STATUS_CANCELLED at once, or, behind a
    // locked leading edge, when the driver unlocks it without ejecting. No
    // such buffer queued: nothing happens.
    void CancelBuffer(const KSSTREAM_HEADER* clientHeader);
    bool WaitForCompletion(CompletedBuffer* completed, std::chrono::milliseconds timeout);
    PKSSTREAM_POINTER LeadingEdge(KSSTREAM_POINTER_STATE state);
    void Unlock(PKSSTREAM_POINTER pointer, bool eject);
    // The status the leading edge's buffer completes with when ejected.
    NTSTATUS SetStatusCode(PKSSTREAM_POINTER pointer, NTSTATUS status);

    void AttemptProcessing();

    KSPIN ks{};
    Filter* const filter;
    KsMutex processingMutex;  // held around each Process call

private:
    // One pool block: the record, then the class driver's copy of the
    // client's header, headerSize bytes (the pin's StreamHeaderSize when
    // queued), which is what the driver writes.
    struct QueuedFrame {
        KSSTREAM_HEADER* kernelHeader;
        KSSTREAM_HEADER* clientHeader;
        ULONG headerSize;
        // Cancelled while behind the locked leading edge: completes as
        // cancelled when the driver unlocks it without ejecting.
        bool cancelled;
    };
    static QueuedFrame* NewQueuedFrame(KSSTREAM_HEADER* clientHeader, ULONG headerSize);

    NTSTATUS Step(KSSTATE to, KSSTATE from);
    bool ProcessingAllowed();
    void RunWorker();
    void Complete(QueuedFrame* frame, NTSTATUS status);
    void CancelQueue();
    void StopWorker();

    std::mutex mutex_;
    std::condition_variable changed_;
    bool attemptPending_ = false;
    bool closing_ = false;
    std::thread worker_;

    std::mutex queueMutex_;
    std::condition_variable completion_;
    std::deque<QueuedFrame*> queue_;
    std::deque<CompletedBuffer> completed_;
    KSSTREAM_POINTER leadingEdge_{};
    // False in the stop state. Cleared under the lock that empties the
    // queue at a stop, so that no buffer joins the queue after that.
    bool acceptingBuffers_ = false;
    bool leadingEdgeLocked_ = false;
    // Set by the driver through KsStreamPointerSetStatusCode, reset each
    // time the leading edge is handed out.
    NTSTATUS leadingEdgeStatus_ = STATUS_SUCCESS;

    ReferenceClock* clock_ = nullptr;  // under mutex_
};

// The host pin behind a KSPIN; a bug check if it is no live pin.
Pin* PinOf(PKSPIN pin);

// The first of the pin's data ranges whose major format, subformat and
// specifier match the format's (GUID_NULL in a range matches any), or null.
const KSDATARANGE* MatchingDataRange(const KSPIN_DESCRIPTOR_EX* descriptor,
                                     const KSDATAFORMAT* format);

}  // namespace host::ks
