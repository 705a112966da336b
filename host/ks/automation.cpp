// Property dispatch and data intersection.
#include "host/ks/automation.h"

#include <cstring>

#include "host/ks/filter.h"
#include "host/ks/pool_object.h"
#include "host/ks/refusals.h"
#include "host/ks/request.h"
#include "host/nt/bug_check.h"
#include "host/nt/kernel_stack.h"

namespace host::ks {

namespace {

// A kernel copy of a caller's buffer in the pool, freed with the object.
class CapturedBuffer {
public:
    CapturedBuffer(const void* source, ULONG length)
        : data_(length == 0 ? nullptr : ExAllocatePoolWithTag(NonPagedPoolNx, length, RequestTag)) {
        if (data_ != nullptr) {
            std::memcpy(data_, source, length);
        }
    }
    ~CapturedBuffer() {
        if (data_ != nullptr) {
            ExFreePoolWithTag(data_, RequestTag);
        }
    }
    CapturedBuffer(const CapturedBuffer&) = delete;
    CapturedBuffer& operator=(const CapturedBuffer&) = delete;

    void* data() const { return data_; }

private:
    void* data_;
};

const KSPROPERTY_SET* FindSet(const KSAUTOMATION_TABLE* table, const GUID& set) {
    if (table == nullptr) {
        return nullptr;
    }
    for (ULONG i = 0; i < table->PropertySetsCount; ++i) {
        if (IsEqualGUID(*table->PropertySets[i].Set, set)) {
            return &table->PropertySets[i];
        }
    }
    return nullptr;
}

// Items are PropertyItemSize bytes apart, which may exceed KSPROPERTY_ITEM.
const KSPROPERTY_ITEM* FindItem(const KSAUTOMATION_TABLE* table, const KSPROPERTY_SET* set,
                                ULONG id) {
    if (table->PropertyItemSize < sizeof(KSPROPERTY_ITEM)) {
        BugCheck("automation table with property items smaller than KSPROPERTY_ITEM");
    }
    const auto* first = reinterpret_cast<const UCHAR*>(set->PropertyItem);
    for (ULONG i = 0; i < set->PropertiesCount; ++i) {
        const auto* item =
            reinterpret_cast<const KSPROPERTY_ITEM*>(first + size_t{i} * table->PropertyItemSize);
        if (item->PropertyId == id) {
            return item;
        }
    }
    return nullptr;
}

PFNKSHANDLER HandlerFor(const KSPROPERTY_ITEM* item, ULONG flags) {
    switch (flags & ~KSPROPERTY_TYPE_TOPOLOGY) {
        case KSPROPERTY_TYPE_GET:
            return item->GetPropertyHandler;
        case KSPROPERTY_TYPE_SET:
            return item->SetPropertyHandler;
        case KSPROPERTY_TYPE_BASICSUPPORT:
        case KSPROPERTY_TYPE_DEFAULTVALUES:
            return item->SupportHandler;
        default:
            return nullptr;
    }
}

bool GuidsMeet(const GUID& a, const GUID& b) {
    static const GUID wildcard = {STATIC_GUID_NULL};
    return IsEqualGUID(a, wildcard) || IsEqualGUID(b, wildcard) || IsEqualGUID(a, b);
}

bool RangesMeet(const KSDATARANGE& a, const KSDATARANGE& b) {
    return GuidsMeet(a.MajorFormat, b.MajorFormat) && GuidsMeet(a.SubFormat, b.SubFormat) &&
           GuidsMeet(a.Specifier, b.Specifier);
}

// As on Windows, Information starts at 0: a handler that returns data says
// how many bytes, never more than the caller's buffer holds.
RequestResult CallHandler(PFNKSHANDLER handler, KSOBJECTTYPE type, PVOID object,
                          const void* property, ULONG propertyLength, void* data, ULONG dataLength,
                          bool get) {
    CapturedBuffer propertyCopy(property, propertyLength);
    CapturedBuffer dataCopy(data, dataLength);
    if (propertyCopy.data() == nullptr || (dataLength != 0 && dataCopy.data() == nullptr)) {
        return {STATUS_INSUFFICIENT_RESOURCES, 0};
    }
    Request request(type, object, IRP_MJ_DEVICE_CONTROL);
    request.DescribeProperty(propertyCopy.data(), propertyLength, dataCopy.data(), dataLength);
    PIRP irp = request.Irp();
    irp->IoStatus.Information = 0;
    NTSTATUS status = CallDriver([&] {
        return handler(irp, static_cast<PKSIDENTIFIER>(propertyCopy.data()), dataCopy.data());
    });
    // The I/O manager copies Information bytes back into the caller's
    // buffer: a larger count overruns it.
    if (irp->IoStatus.Information > dataLength) {
        BugCheck("property handler set Information beyond the output buffer");
    }
    const ULONG bytes = static_cast<ULONG>(irp->IoStatus.Information);
    if (NT_SUCCESS(status) && get && bytes != 0) {
        std::memcpy(data, dataCopy.data(), bytes);
    }
    return {status, NT_SUCCESS(status) ? bytes : 0};
}

// The reply to a basic-support or default-values request, built as the
// request's buffer takes it: a description, then each members list (its
// header and members). A default-values request lists only the lists that
// carry the default.
class ValuesReply {
public:
    ValuesReply(const KSPROPERTY_VALUES& values, ULONG access, bool defaultsOnly)
        : values_(values), defaultsOnly_(defaultsOnly) {
        description_.AccessFlags = access;
        description_.DescriptionSize = sizeof(description_);
        description_.PropTypeSet = values.PropTypeSet;
        for (ULONG i = 0; i < values.MembersListCount; ++i) {
            if (Listed(values.MembersList[i])) {
                description_.MembersListCount += 1;
                description_.DescriptionSize += ListBytes(values.MembersList[i]);
            }
        }
    }

    ULONG Size() const { return description_.DescriptionSize; }
    const KSPROPERTY_DESCRIPTION& Description() const { return description_; }

    void WriteWhole(UCHAR* out) const {
        std::memcpy(out, &description_, sizeof(description_));
        ULONG offset = sizeof(description_);
        for (ULONG i = 0; i < values_.MembersListCount; ++i) {
            const KSPROPERTY_MEMBERSLIST& list = values_.MembersList[i];
            if (!Listed(list)) {
                continue;
            }
            std::memcpy(out + offset, &list.MembersHeader, sizeof(list.MembersHeader));
            offset += sizeof(list.MembersHeader);
            const ULONG members = MembersBytes(list);
            if (members != 0) {
                std::memcpy(out + offset, list.Members, members);
            }
            offset += members;
        }
    }

private:
    bool Listed(const KSPROPERTY_MEMBERSLIST& list) const {
        return !defaultsOnly_ || (list.MembersHeader.Flags & KSPROPERTY_MEMBER_FLAG_DEFAULT) != 0;
    }
    static ULONG MembersBytes(const KSPROPERTY_MEMBERSLIST& list) {
        return list.MembersHeader.MembersSize * list.MembersHeader.MembersCount;
    }
    static ULONG ListBytes(const KSPROPERTY_MEMBERSLIST& list) {
        return sizeof(KSPROPERTY_MEMBERSHEADER) + MembersBytes(list);
    }

    const KSPROPERTY_VALUES& values_;
    bool defaultsOnly_;
    KSPROPERTY_DESCRIPTION description_{};
};

ULONG AccessOf(const KSPROPERTY_ITEM* item) {
    return (item->GetPropertyHandler != nullptr ? KSPROPERTY_TYPE_GET : 0u) |
           (item->SetPropertyHandler != nullptr ? KSPROPERTY_TYPE_SET : 0u);
}

// The class driver answers a support query for an item without a support
// handler itself. Without values: the access the item offers, as a ULONG of
// get and set flags.
RequestResult AnswerAccess(const KSPROPERTY_ITEM* item, void* data, ULONG dataLength) {
    if (dataLength < sizeof(ULONG)) {
        return dataLength == 0 ? RequestResult{Refusal::DataSizeQuery, sizeof(ULONG)}
                               : RequestResult{Refusal::DataTooShort, 0};
    }
    ULONG access = AccessOf(item);
    std::memcpy(data, &access, sizeof(access));
    return {STATUS_SUCCESS, sizeof(access)};
}

// With values, as ks.sys answers from them: an empty buffer asks for the
// size of the whole reply; a ULONG takes the access flags (with
// KSPROPERTY_TYPE_BASICSUPPORT: there is more to ask); a buffer from a
// KSPROPERTY_DESCRIPTION up to the whole takes the description alone, whose
// DescriptionSize says how much the whole needs; the whole takes the
// description and its members lists.
RequestResult AnswerFromValues(const KSPROPERTY_ITEM* item, bool defaultsOnly, void* data,
                               ULONG dataLength) {
    const ValuesReply reply(*item->Values, AccessOf(item) | KSPROPERTY_TYPE_BASICSUPPORT,
                            defaultsOnly);
    if (dataLength == 0) {
        return {Refusal::DataSizeQuery, reply.Size()};
    }
    if (dataLength < sizeof(ULONG)) {
        return {Refusal::DataTooShort, 0};
    }
    if (dataLength < sizeof(KSPROPERTY_DESCRIPTION)) {
        std::memcpy(data, &reply.Description().AccessFlags, sizeof(ULONG));
        return {STATUS_SUCCESS, sizeof(ULONG)};
    }
    if (dataLength < reply.Size()) {
        std::memcpy(data, &reply.Description(), sizeof(KSPROPERTY_DESCRIPTION));
        return {STATUS_SUCCESS, sizeof(KSPROPERTY_DESCRIPTION)};
    }
    reply.WriteWhole(static_cast<UCHAR*>(data));
    return {STATUS_SUCCESS, reply.Size()};
}

// Basic support and default values for an item without a support handler.
// Default values come only from an item's values.
RequestResult AnswerSupport(const KSPROPERTY_ITEM* item, ULONG flags, void* data,
                            ULONG dataLength) {
    const bool defaultsOnly = flags == KSPROPERTY_TYPE_DEFAULTVALUES;
    if (item->Values != nullptr) {
        return AnswerFromValues(item, defaultsOnly, data, dataLength);
    }
    if (defaultsOnly) {
        return {Refusal::OperationNotSupported, 0};
    }
    return AnswerAccess(item, data, dataLength);
}

}  // namespace

RequestResult DispatchProperty(const KSAUTOMATION_TABLE* table, KSOBJECTTYPE type, PVOID object,
                               const void* property, ULONG propertyLength, void* data,
                               ULONG dataLength) {
    if (propertyLength < sizeof(KSPROPERTY)) {
        return {Refusal::RequestTooShort, 0};
    }
    KSPROPERTY request;
    std::memcpy(&request, property, sizeof(request));
    const KSPROPERTY_SET* set = FindSet(table, request.Set);
    if (set == nullptr) {
        return {Refusal::UnknownPropertySet, 0};
    }
    const KSPROPERTY_ITEM* item = FindItem(table, set, request.Id);
    if (item == nullptr) {
        return {Refusal::UnknownPropertyId, 0};
    }
    if (propertyLength < item->MinProperty) {
        return {Refusal::RequestTooShort, 0};
    }
    PFNKSHANDLER handler = HandlerFor(item, request.Flags);
    if (handler == nullptr && (request.Flags == KSPROPERTY_TYPE_BASICSUPPORT ||
                               request.Flags == KSPROPERTY_TYPE_DEFAULTVALUES)) {
        return AnswerSupport(item, request.Flags, data, dataLength);
    }
    if (handler == nullptr) {
        return {Refusal::OperationNotSupported, 0};
    }
    if (dataLength < item->MinData) {
        return dataLength == 0 ? RequestResult{Refusal::DataSizeQuery, item->MinData}
                               : RequestResult{Refusal::DataTooShort, 0};
    }
    const bool get = (request.Flags & KSPROPERTY_TYPE_GET) != 0;
    return CallHandler(handler, type, object, property, propertyLength, data, dataLength, get);
}

RequestResult IntersectDataRange(Filter* filter, ULONG pinId, const void* range, ULONG rangeSize,
                                 void* data, ULONG dataLength) {
    const KSPIN_DESCRIPTOR_EX* descriptor = filter->PinDescriptor(pinId);
    if (descriptor == nullptr) {
        return {Refusal::UnknownPinId, 0};
    }
    KSDATARANGE header;
    if (rangeSize < sizeof(header)) {
        return {Refusal::RequestTooShort, 0};
    }
    std::memcpy(&header, range, sizeof(header));
    if (header.FormatSize < sizeof(header) || header.FormatSize > rangeSize) {
        return {Refusal::RequestTooShort, 0};
    }
    CapturedBuffer callerRange(range, header.FormatSize);
    CapturedBuffer output(data, dataLength);
    if (callerRange.data() == nullptr || (dataLength != 0 && output.data() == nullptr)) {
        return {STATUS_INSUFFICIENT_RESOURCES, 0};
    }
    const GUID pinSet = {STATIC_KSPROPSETID_Pin};
    KSP_PIN request{};
    request.Property.Set = pinSet;
    request.Property.Id = KSPROPERTY_PIN_DATAINTERSECTION;
    request.Property.Flags = KSPROPERTY_TYPE_GET;
    request.PinId = pinId;
    Request irp(KsObjectTypeFilter, &filter->ks, IRP_MJ_DEVICE_CONTROL);
    irp.DescribeProperty(&request, sizeof(request), output.data(), dataLength);
    const KSPIN_DESCRIPTOR& pin = descriptor->PinDescriptor;
    for (ULONG i = 0; i < pin.DataRangesCount && descriptor->IntersectHandler != nullptr; ++i) {
        if (!RangesMeet(header, *pin.DataRanges[i])) {
            continue;
        }
        ULONG size = 0;
        NTSTATUS status = CallDriver([&] {
            return descriptor->IntersectHandler(
                &filter->ks, irp.Irp(), &request, static_cast<PKSDATARANGE>(callerRange.data()),
                pin.DataRanges[i], dataLength, output.data(), &size);
        });
        if (status == STATUS_NO_MATCH) {
            continue;
        }
        if (NT_SUCCESS(status) && size != 0) {
            std::memcpy(data, output.data(), size < dataLength ? size : dataLength);
        }
        const bool sized = NT_SUCCESS(status) || status == STATUS_BUFFER_OVERFLOW;
        return {status, sized ? size : 0};
    }
    return {Refusal::NoMatchingDataRange, 0};
}

}  // namespace host::ks
