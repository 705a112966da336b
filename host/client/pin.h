// The client side of a pin: state changes, format changes, property
// requests, the graph's master clock, and streaming: buffers of any frame
// extent queued with their stream header and collected once the driver
// completed them.
#pragma once

#include <ks.h>
#include <ksmedia.h>

#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "host/client/filter.h"

namespace host::ks {
class Pin;
class ReferenceClock;
}  // namespace host::ks

namespace client {

// A client buffer: its stream header of `headerSize` bytes (Size,
// FrameExtent and Data set; the rest, with any extension after the
// KSSTREAM_HEADER, zero until the driver writes it) and its bytes. `status`
// is STATUS_PENDING until the buffer comes back, then the status it
// completed with. A pin takes only headers of its own size (Pin::NewBuffer).
struct StreamBuffer {
    explicit StreamBuffer(ULONG frameExtent, ULONG headerSize = sizeof(KSSTREAM_HEADER));
    StreamBuffer(const StreamBuffer&) = delete;
    StreamBuffer& operator=(const StreamBuffer&) = delete;

    // A completed buffer as new for queueing again: the same bytes, a fresh
    // header of the same size.
    void Reset();
    // The KS_FRAME_INFO a video pin writes after the header; none when the
    // header has no room for it.
    std::optional<KS_FRAME_INFO> FrameInfo() const;

private:
    std::vector<ULONGLONG> headerStorage_;  // the header and its extension

public:
    KSSTREAM_HEADER& header;
    std::vector<UCHAR> data;
    NTSTATUS status = STATUS_PENDING;
};

// A reference clock for the graph, 100-ns units from the monotonic clock.
class MasterClock {
public:
    MasterClock();
    ~MasterClock();
    MasterClock(const MasterClock&) = delete;
    MasterClock& operator=(const MasterClock&) = delete;

    LONGLONG Time() const;
    // References held: this object's, the pins' and the driver's.
    ULONG References() const;
    host::ks::ReferenceClock* Kernel() const { return clock_; }

private:
    host::ks::ReferenceClock* clock_;
};

class Pin {
public:
    // Closes the pin (walking it down to stop); outstanding buffers are
    // cancelled and dropped.
    ~Pin();
    Pin(const Pin&) = delete;
    Pin& operator=(const Pin&) = delete;

    // Walks one state at a time; the first refused step ends the walk.
    NTSTATUS SetState(KSSTATE state);
    KSSTATE State() const;
    NTSTATUS SetDataFormat(const void* format, ULONG formatSize);
    RequestResult Property(const void* property, ULONG propertyLength, void* data,
                           ULONG dataLength);

    // The pin's allocator framing now (zero when it has none), and the frame
    // size a client allocates from it.
    KSALLOCATOR_FRAMING_EX AllocatorFraming() const;
    ULONG FrameSize() const;
    // The size of the stream headers the pin takes, as it declared it.
    ULONG StreamHeaderSize() const;
    // A buffer of `frameExtent` bytes (the frame size when not given) with a
    // stream header of the pin's size.
    std::unique_ptr<StreamBuffer> NewBuffer(ULONG frameExtent) const;
    std::unique_ptr<StreamBuffer> NewBuffer() const;

    // Null takes the clock away. Assign before the pin leaves stop.
    void SetMasterClock(MasterClock* clock);

    // Streaming may go on from several threads at once, as applications do
    // with overlapped I/O.
    // STATUS_PENDING once queued; a refused buffer is dropped.
    NTSTATUS Queue(std::unique_ptr<StreamBuffer> buffer);
    // Cancels the outstanding buffer at this address, as CancelIoEx does
    // with an OVERLAPPED: it comes back through WaitForCompleted, cancelled
    // unless it had completed first.
    void Cancel(const StreamBuffer* buffer);
    // The next completed buffer, or null when none came within the timeout.
    std::unique_ptr<StreamBuffer> WaitForCompleted(std::chrono::milliseconds timeout);
    size_t Outstanding() const;

    // The class driver's pin object, for tests that look inside.
    PKSPIN Kernel() const;

private:
    friend class Filter;
    Pin(Filter* filter, host::ks::Pin* pin);
    void Detach();

    Filter* filter_;
    host::ks::Pin* pin_;
    mutable std::mutex outstandingMutex_;
    std::map<KSSTREAM_HEADER*, std::unique_ptr<StreamBuffer>> outstanding_;
};

}  // namespace client
