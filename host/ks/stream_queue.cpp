// The pin's stream queue. A client buffer is queued with a copy of its
// header of the pin's header size (with any extension the driver declared),
// the class driver's, which is what the driver sees and writes; completion
// writes it back over the client's header (keeping the client's Data
// pointer). The leading edge is the oldest buffer not yet ejected; a
// frame behind a locked leading edge cannot be cancelled, as on Windows.
#include <algorithm>
#include <cstring>

#include "host/ks/pin.h"
#include "host/ks/pool_object.h"
#include "host/ks/refusals.h"
#include "host/nt/bug_check.h"

namespace host::ks {

Pin::QueuedFrame* Pin::NewQueuedFrame(KSSTREAM_HEADER* clientHeader, ULONG headerSize) {
    static_assert(sizeof(QueuedFrame) % alignof(KSSTREAM_HEADER) == 0, "the header's alignment");
    void* memory =
        ExAllocatePoolWithTag(NonPagedPoolNx, sizeof(QueuedFrame) + headerSize, FrameTag);
    if (memory == nullptr) {
        return nullptr;
    }
    auto* frame = new (memory) QueuedFrame{nullptr, clientHeader, headerSize, false};
    frame->kernelHeader = reinterpret_cast<KSSTREAM_HEADER*>(frame + 1);
    std::memcpy(frame->kernelHeader, clientHeader, headerSize);
    return frame;
}

NTSTATUS Pin::SubmitBuffer(KSSTREAM_HEADER* header) {
    const ULONG headerSize = ks.StreamHeaderSize;
    if (header->Size != headerSize) {
        return Refusal::RequestTooShort;
    }
    if (State() == KSSTATE_STOP) {
        return Refusal::StreamingWhileStopped;
    }
    QueuedFrame* frame = NewQueuedFrame(header, headerSize);
    if (frame == nullptr) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    bool wasEmpty = false;
    bool accepted = false;
    {
        std::lock_guard<std::mutex> lock(queueMutex_);
        accepted = acceptingBuffers_;
        if (accepted) {
            wasEmpty = queue_.empty();
            queue_.push_back(frame);
        }
    }
    // A stop that came after the state check above.
    if (!accepted) {
        ExFreePoolWithTag(frame, FrameTag);
        return Refusal::StreamingWhileStopped;
    }
    const ULONG flags = ks.Descriptor->Flags;
    const bool initiate = (flags & KSPIN_FLAG_DO_NOT_INITIATE_PROCESSING) == 0 &&
                          (wasEmpty || (flags & KSPIN_FLAG_INITIATE_PROCESSING_ON_EVERY_ARRIVAL));
    if (initiate) {
        AttemptProcessing();
    }
    return STATUS_PENDING;
}

bool Pin::WaitForCompletion(CompletedBuffer* completed, std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(queueMutex_);
    if (!completion_.wait_for(lock, timeout, [this] { return !completed_.empty(); })) {
        return false;
    }
    *completed = completed_.front();
    completed_.pop_front();
    return true;
}

PKSSTREAM_POINTER Pin::LeadingEdge(KSSTREAM_POINTER_STATE state) {
    std::lock_guard<std::mutex> lock(queueMutex_);
    if (queue_.empty()) {
        return nullptr;
    }
    KSSTREAM_HEADER& header = *queue_.front()->kernelHeader;
    const KSSTREAM_POINTER_OFFSET data = {
        {static_cast<PUCHAR>(header.Data)}, header.FrameExtent, header.FrameExtent};
    leadingEdge_.Context = nullptr;
    leadingEdge_.Pin = &ks;
    leadingEdge_.StreamHeader = &header;
    leadingEdge_.OffsetIn = ks.DataFlow == KSPIN_DATAFLOW_IN ? data : KSSTREAM_POINTER_OFFSET{};
    leadingEdge_.OffsetOut = ks.DataFlow == KSPIN_DATAFLOW_OUT ? data : KSSTREAM_POINTER_OFFSET{};
    leadingEdge_.Offset =
        ks.DataFlow == KSPIN_DATAFLOW_IN ? &leadingEdge_.OffsetIn : &leadingEdge_.OffsetOut;
    leadingEdgeLocked_ = leadingEdgeLocked_ || state == KSSTREAM_POINTER_STATE_LOCKED;
    leadingEdgeStatus_ = STATUS_SUCCESS;
    return &leadingEdge_;
}

void Pin::Unlock(PKSSTREAM_POINTER pointer, bool eject) {
    QueuedFrame* done = nullptr;
    NTSTATUS status = STATUS_SUCCESS;
    {
        std::lock_guard<std::mutex> lock(queueMutex_);
        if (pointer != &leadingEdge_ || queue_.empty()) {
            BugCheck("KsStreamPointerUnlock of a stream pointer the pin did not hand out");
        }
        if (!leadingEdgeLocked_) {
            BugCheck("KsStreamPointerUnlock of a stream pointer that is not locked");
        }
        leadingEdgeLocked_ = false;
        status = leadingEdgeStatus_;
        const bool cancelled = queue_.front()->cancelled;
        if (eject || cancelled) {
            done = queue_.front();
            queue_.pop_front();
        }
        if (!eject && cancelled) {
            done->kernelHeader->DataUsed = 0;
            status = STATUS_CANCELLED;
        }
    }
    if (done != nullptr) {
        Complete(done, status);
    }
}

NTSTATUS Pin::SetStatusCode(PKSSTREAM_POINTER pointer, NTSTATUS status) {
    std::lock_guard<std::mutex> lock(queueMutex_);
    if (pointer != &leadingEdge_ || queue_.empty()) {
        BugCheck("KsStreamPointerSetStatusCode of a stream pointer the pin did not hand out");
    }
    leadingEdgeStatus_ = status;
    return STATUS_SUCCESS;
}

void Pin::Complete(QueuedFrame* frame, NTSTATUS status) {
    KSSTREAM_HEADER* client = frame->clientHeader;
    PVOID clientData = client->Data;
    std::memcpy(client, frame->kernelHeader, frame->headerSize);
    client->Data = clientData;
    ExFreePoolWithTag(frame, FrameTag);
    std::lock_guard<std::mutex> lock(queueMutex_);
    completed_.push_back({client, status});
    completion_.notify_all();
}

void Pin::CancelQueue() {
    std::deque<QueuedFrame*> cancelled;
    {
        std::lock_guard<std::mutex> lock(queueMutex_);
        acceptingBuffers_ = false;
        cancelled.swap(queue_);
        if (leadingEdgeLocked_) {
            queue_.push_back(cancelled.front());
            cancelled.pop_front();
            queue_.front()->cancelled = true;
        }
    }
    for (QueuedFrame* frame : cancelled) {
        frame->kernelHeader->DataUsed = 0;
        Complete(frame, STATUS_CANCELLED);
    }
}

void Pin::CancelBuffer(const KSSTREAM_HEADER* clientHeader) {
    QueuedFrame* cancelled = nullptr;
    {
        std::lock_guard<std::mutex> lock(queueMutex_);
        auto found = std::find_if(queue_.begin(), queue_.end(), [&](const QueuedFrame* frame) {
            return frame->clientHeader == clientHeader;
        });
        if (found == queue_.end()) {
            return;
        }
        if (found == queue_.begin() && leadingEdgeLocked_) {
            (*found)->cancelled = true;
            return;
        }
        cancelled = *found;
        queue_.erase(found);
    }
    cancelled->kernelHeader->DataUsed = 0;
    Complete(cancelled, STATUS_CANCELLED);
}

}  // namespace host::ks

PKSSTREAM_POINTER NTAPI KsPinGetLeadingEdgeStreamPointer(PKSPIN Pin, KSSTREAM_POINTER_STATE State) {
    return host::ks::PinOf(Pin)->LeadingEdge(State);
}

NTSTATUS NTAPI KsStreamPointerSetStatusCode(PKSSTREAM_POINTER StreamPointer, NTSTATUS Status) {
    return host::ks::PinOf(StreamPointer->Pin)->SetStatusCode(StreamPointer, Status);
}

void NTAPI KsStreamPointerUnlock(PKSSTREAM_POINTER StreamPointer, BOOLEAN Eject) {
    host::ks::PinOf(StreamPointer->Pin)->Unlock(StreamPointer, Eject != FALSE);
}
