// Filters through the client API.
#include "host/client/filter.h"

#include <algorithm>

#include "host/client/pin.h"
#include "host/ks/automation.h"
#include "host/ks/filter.h"
#include "host/ks/filter_factory.h"
#include "host/ks/pin.h"

namespace client {

std::vector<std::string> FindFilters(const GUID& category) {
    return host::ks::FilterPaths(category);
}

std::string FilterAlias(const std::string& path, const GUID& category) {
    return host::ks::AliasPath(path, category);
}

Filter::Filter(host::ks::Filter* filter, std::unique_ptr<host::ClientProcess> process)
    : process_(std::move(process)), filter_(filter) {}

NTSTATUS Filter::Open(const std::string& path, std::unique_ptr<Filter>* filter) {
    host::ks::FilterFactory* factory = host::ks::FindFilterFactory(path);
    if (factory == nullptr) {
        return STATUS_OBJECT_NAME_NOT_FOUND;
    }
    auto process = std::make_unique<host::ClientProcess>("application");
    host::ks::Filter* opened = nullptr;
    NTSTATUS status;
    {
        host::AttachedProcess attached(process->Id());
        status = host::ks::Filter::Open(factory, &opened);
    }
    if (NT_SUCCESS(status)) {
        filter->reset(new Filter(opened, std::move(process)));
    }
    return status;
}

// The process exits after the body, when process_ goes.
Filter::~Filter() {
    host::AttachedProcess attached(process_->Id());
    while (!pins_.empty()) {
        pins_.back()->Detach();
    }
    filter_->Close();
}

ULONG Filter::PinTypeCount() const {
    return filter_->ks.Descriptor->PinDescriptorsCount;
}

std::vector<std::vector<UCHAR>> Filter::DataRanges(ULONG pinId) const {
    std::vector<std::vector<UCHAR>> ranges;
    const KSPIN_DESCRIPTOR_EX* descriptor = filter_->PinDescriptor(pinId);
    if (descriptor == nullptr) {
        return ranges;
    }
    const KSPIN_DESCRIPTOR& pin = descriptor->PinDescriptor;
    for (ULONG i = 0; i < pin.DataRangesCount; ++i) {
        const auto* bytes = reinterpret_cast<const UCHAR*>(pin.DataRanges[i]);
        ranges.emplace_back(bytes, bytes + pin.DataRanges[i]->FormatSize);
    }
    return ranges;
}

RequestResult Filter::Intersect(ULONG pinId, const void* range, ULONG rangeSize, ULONG bufferSize,
                                std::vector<UCHAR>* format) {
    std::vector<UCHAR> buffer(bufferSize);
    host::AttachedProcess attached(process_->Id());
    host::ks::RequestResult result = host::ks::IntersectDataRange(
        filter_, pinId, range, rangeSize, buffer.empty() ? nullptr : buffer.data(), bufferSize);
    const ULONG copied = NT_SUCCESS(result.status) ? result.bytesReturned : 0;
    format->assign(buffer.begin(), buffer.begin() + copied);
    return {result.status, result.bytesReturned};
}

RequestResult Filter::Property(const void* property, ULONG propertyLength, void* data,
                               ULONG dataLength) {
    host::AttachedProcess attached(process_->Id());
    host::ks::RequestResult result =
        host::ks::DispatchProperty(filter_->ks.Descriptor->AutomationTable, KsObjectTypeFilter,
                                   &filter_->ks, property, propertyLength, data, dataLength);
    return {result.status, result.bytesReturned};
}

NTSTATUS Filter::CreatePin(ULONG pinId, const void* format, ULONG formatSize,
                           std::unique_ptr<Pin>* pin) {
    // The class driver reads the format's header before it checks the size:
    // the copy is at least that long.
    std::vector<UCHAR> copy(static_cast<const UCHAR*>(format),
                            static_cast<const UCHAR*>(format) + formatSize);
    copy.resize(std::max<size_t>(formatSize, sizeof(KSDATAFORMAT)));
    host::ks::Pin* created = nullptr;
    host::AttachedProcess attached(process_->Id());
    NTSTATUS status = host::ks::Pin::Create(
        filter_, pinId, reinterpret_cast<const KSDATAFORMAT*>(copy.data()), formatSize, &created);
    if (NT_SUCCESS(status)) {
        pin->reset(new Pin(this, created));
        pins_.push_back(pin->get());
    }
    return status;
}

PKSFILTER Filter::Kernel() const {
    return &filter_->ks;
}

}  // namespace client
