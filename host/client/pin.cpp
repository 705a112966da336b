// Pins, buffers and the master clock through the client API.
#include "host/client/pin.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "host/ks/automation.h"
#include "host/ks/pin.h"
#include "host/ks/reference_clock.h"

namespace client {

namespace {

// Whole 8-byte words, never less than a KSSTREAM_HEADER, whatever Size says.
size_t HeaderWords(ULONG headerSize) {
    const size_t bytes = std::max<size_t>(headerSize, sizeof(KSSTREAM_HEADER));
    return (bytes + sizeof(ULONGLONG) - 1) / sizeof(ULONGLONG);
}

}  // namespace

StreamBuffer::StreamBuffer(ULONG frameExtent, ULONG headerSize)
    : headerStorage_(HeaderWords(headerSize)),
      header(*new (headerStorage_.data()) KSSTREAM_HEADER{}),
      data(frameExtent) {
    header.Size = headerSize;
    header.FrameExtent = frameExtent;
    header.Data = data.empty() ? nullptr : data.data();
}

void StreamBuffer::Reset() {
    KSSTREAM_HEADER fresh{};
    fresh.Size = header.Size;
    fresh.FrameExtent = header.FrameExtent;
    fresh.Data = header.Data;
    auto* bytes = reinterpret_cast<UCHAR*>(headerStorage_.data());
    std::memset(bytes + sizeof(KSSTREAM_HEADER), 0,
                headerStorage_.size() * sizeof(ULONGLONG) - sizeof(KSSTREAM_HEADER));
    header = fresh;
    status = STATUS_PENDING;
}

std::optional<KS_FRAME_INFO> StreamBuffer::FrameInfo() const {
    if (header.Size < sizeof(KSSTREAM_HEADER) + sizeof(KS_FRAME_INFO)) {
        return std::nullopt;
    }
    KS_FRAME_INFO info;
    std::memcpy(&info, reinterpret_cast<const UCHAR*>(headerStorage_.data()) + sizeof(header),
                sizeof info);
    return info;
}

MasterClock::MasterClock() : clock_(host::ks::ReferenceClock::Create()) {}

MasterClock::~MasterClock() {
    if (clock_ != nullptr) {
        clock_->Release();
    }
}

LONGLONG MasterClock::Time() const {
    return clock_->GetTime();
}

ULONG MasterClock::References() const {
    return clock_->References();
}

Pin::Pin(Filter* filter, host::ks::Pin* pin) : filter_(filter), pin_(pin) {}

Pin::~Pin() {
    if (pin_ != nullptr) {
        Detach();
    }
}

// Closes the class driver's pin and forgets it; the filter calls this for
// pins still open when it closes.
void Pin::Detach() {
    host::AttachedProcess attached(filter_->Process());
    pin_->Close();
    pin_ = nullptr;
    std::lock_guard<std::mutex> lock(outstandingMutex_);
    outstanding_.clear();
    auto& pins = filter_->pins_;
    pins.erase(std::find(pins.begin(), pins.end(), this));
}

NTSTATUS Pin::SetState(KSSTATE state) {
    host::AttachedProcess attached(filter_->Process());
    return pin_->SetState(state);
}

KSSTATE Pin::State() const {
    return pin_->State();
}

NTSTATUS Pin::SetDataFormat(const void* format, ULONG formatSize) {
    std::vector<UCHAR> copy(static_cast<const UCHAR*>(format),
                            static_cast<const UCHAR*>(format) + formatSize);
    copy.resize(std::max<size_t>(formatSize, sizeof(KSDATAFORMAT)));
    host::AttachedProcess attached(filter_->Process());
    return pin_->SetDataFormat(reinterpret_cast<const KSDATAFORMAT*>(copy.data()), formatSize);
}

RequestResult Pin::Property(const void* property, ULONG propertyLength, void* data,
                            ULONG dataLength) {
    host::AttachedProcess attached(filter_->Process());
    host::ks::RequestResult result =
        host::ks::DispatchProperty(pin_->ks.Descriptor->AutomationTable, KsObjectTypePin, &pin_->ks,
                                   property, propertyLength, data, dataLength);
    return {result.status, result.bytesReturned};
}

KSALLOCATOR_FRAMING_EX Pin::AllocatorFraming() const {
    const KSALLOCATOR_FRAMING_EX* framing = pin_->ks.Descriptor->AllocatorFraming;
    return framing != nullptr ? *framing : KSALLOCATOR_FRAMING_EX{};
}

ULONG Pin::FrameSize() const {
    return AllocatorFraming().FramingItem[0].FramingRange.Range.MaxFrameSize;
}

ULONG Pin::StreamHeaderSize() const {
    return pin_->ks.StreamHeaderSize;
}

std::unique_ptr<StreamBuffer> Pin::NewBuffer(ULONG frameExtent) const {
    return std::make_unique<StreamBuffer>(frameExtent, StreamHeaderSize());
}

std::unique_ptr<StreamBuffer> Pin::NewBuffer() const {
    return NewBuffer(FrameSize());
}

void Pin::SetMasterClock(MasterClock* clock) {
    host::AttachedProcess attached(filter_->Process());
    pin_->SetMasterClock(clock != nullptr ? clock->Kernel() : nullptr);
}

NTSTATUS Pin::Queue(std::unique_ptr<StreamBuffer> buffer) {
    KSSTREAM_HEADER* header = &buffer->header;
    {
        std::lock_guard<std::mutex> lock(outstandingMutex_);
        outstanding_[header] = std::move(buffer);
    }
    host::AttachedProcess attached(filter_->Process());
    NTSTATUS status = pin_->SubmitBuffer(header);
    if (status != STATUS_PENDING) {
        std::lock_guard<std::mutex> lock(outstandingMutex_);
        outstanding_.erase(header);
    }
    return status;
}

// The address is only a name: a buffer that completed, and may be gone, is
// no longer outstanding and is not touched.
void Pin::Cancel(const StreamBuffer* buffer) {
    KSSTREAM_HEADER* header = nullptr;
    {
        std::lock_guard<std::mutex> lock(outstandingMutex_);
        for (const auto& [key, owned] : outstanding_) {
            if (owned.get() == buffer) {
                header = key;
                break;
            }
        }
    }
    if (header == nullptr) {
        return;
    }
    host::AttachedProcess attached(filter_->Process());
    pin_->CancelBuffer(header);
}

std::unique_ptr<StreamBuffer> Pin::WaitForCompleted(std::chrono::milliseconds timeout) {
    host::ks::CompletedBuffer completed;
    if (!pin_->WaitForCompletion(&completed, timeout)) {
        return nullptr;
    }
    std::lock_guard<std::mutex> lock(outstandingMutex_);
    auto found = outstanding_.find(completed.header);
    std::unique_ptr<StreamBuffer> buffer = std::move(found->second);
    outstanding_.erase(found);
    buffer->status = completed.status;
    return buffer;
}

size_t Pin::Outstanding() const {
    std::lock_guard<std::mutex> lock(outstandingMutex_);
    return outstanding_.size();
}

PKSPIN Pin::Kernel() const {
    return &pin_->ks;
}

}  // namespace client
