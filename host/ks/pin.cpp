// Pin creation, close, state changes and format changes.
#include "host/ks/pin.h"

#include <cstring>

#include "host/ks/filter.h"
#include "host/ks/object_bag.h"
#include "host/ks/object_tree.h"
#include "host/ks/pool_object.h"
#include "host/ks/reference_clock.h"
#include "host/ks/refusals.h"
#include "host/ks/request.h"
#include "host/nt/bug_check.h"
#include "host/nt/kernel_stack.h"

namespace host::ks {

namespace {

const GUID StandardInterfaceSet = {STATIC_KSINTERFACESETID_Standard};
const GUID StandardMediumSet = {STATIC_KSMEDIUMSETID_Standard};

// GUID_NULL in a range matches any value.
bool GuidMatches(const GUID& range, const GUID& format) {
    static const GUID wildcard = {STATIC_GUID_NULL};
    return IsEqualGUID(range, wildcard) || IsEqualGUID(range, format);
}

// A copy of the format from the pool, or null.
PKSDATAFORMAT CopyFormat(const KSDATAFORMAT* format) {
    auto* copy = static_cast<PKSDATAFORMAT>(
        ExAllocatePoolWithTag(NonPagedPoolNx, format->FormatSize, FormatTag));
    if (copy != nullptr) {
        std::memcpy(copy, format, format->FormatSize);
    }
    return copy;
}

bool FormatTooShort(const KSDATAFORMAT* format, ULONG formatSize) {
    return formatSize < sizeof(KSDATAFORMAT) || format->FormatSize < sizeof(KSDATAFORMAT) ||
           format->FormatSize > formatSize;
}

}  // namespace

const KSDATARANGE* MatchingDataRange(const KSPIN_DESCRIPTOR_EX* descriptor,
                                     const KSDATAFORMAT* format) {
    const KSPIN_DESCRIPTOR& pin = descriptor->PinDescriptor;
    for (ULONG i = 0; i < pin.DataRangesCount; ++i) {
        const KSDATARANGE* range = pin.DataRanges[i];
        if (GuidMatches(range->MajorFormat, format->MajorFormat) &&
            GuidMatches(range->SubFormat, format->SubFormat) &&
            GuidMatches(range->Specifier, format->Specifier)) {
            return range;
        }
    }
    return nullptr;
}

Pin* PinOf(PKSPIN pin) {
    ObjectNode node = LookUpObject(pin);
    if (node.type != KsObjectTypePin) {
        BugCheck("a pin routine called with an object that is not a pin");
    }
    return static_cast<Pin*>(node.owner);
}

Pin::Pin(Filter* filter, ULONG pinId, const KSPIN_DESCRIPTOR_EX* descriptor)
    : filter(filter),
      processingMutex(MutexLevel::Processing,
                      "the processing mutex of pin " + Hex(reinterpret_cast<ULONG_PTR>(&ks))) {
    ks.Descriptor = descriptor;
    ks.Bag = CreateObjectBag();
    ks.Context = filter->ks.Context;
    ks.Id = pinId;
    ks.Communication = descriptor->PinDescriptor.Communication;
    ks.ConnectionIsExternal = TRUE;
    ks.ConnectionInterface.Set = StandardInterfaceSet;
    ks.ConnectionInterface.Id = KSINTERFACE_STANDARD_STREAMING;
    ks.ConnectionMedium.Set = StandardMediumSet;
    ks.ConnectionMedium.Id = KSMEDIUM_TYPE_ANYINSTANCE;
    ks.ConnectionPriority = {KSPRIORITY_NORMAL, 1};
    ks.StreamHeaderSize = sizeof(KSSTREAM_HEADER);
    ks.DataFlow = descriptor->PinDescriptor.DataFlow;
    ks.DeviceState = KSSTATE_STOP;
    ks.ResetState = KSRESET_END;
    ks.ClientState = KSSTATE_STOP;
}

namespace {

void FreePin(Pin* pin) {
    UnregisterObject(&pin->ks);
    FreeObjectBag(static_cast<ObjectBag*>(pin->ks.Bag));
    if (pin->ks.ConnectionFormat != nullptr) {
        ExFreePoolWithTag(pin->ks.ConnectionFormat, FormatTag);
    }
    DeleteInPool(pin, PinTag);
}

// The format check and the Create dispatch of a new pin.
NTSTATUS InitializePin(Pin* pin, const KSDATARANGE* range) {
    const KSPIN_DISPATCH* dispatch = pin->ks.Descriptor->Dispatch;
    if (dispatch == nullptr) {
        return STATUS_SUCCESS;
    }
    if (dispatch->SetDataFormat != nullptr) {
        NTSTATUS status = CallDriver(
            [&] { return dispatch->SetDataFormat(&pin->ks, nullptr, nullptr, range, nullptr); });
        if (!NT_SUCCESS(status)) {
            return status;
        }
    }
    if (dispatch->Create != nullptr) {
        Request create(KsObjectTypePin, &pin->ks, IRP_MJ_CREATE);
        return CallDriver([&] { return dispatch->Create(&pin->ks, create.Irp()); });
    }
    return STATUS_SUCCESS;
}

}  // namespace

NTSTATUS Pin::Create(Filter* filter, ULONG pinId, const KSDATAFORMAT* format, ULONG formatSize,
                     Pin** created) {
    const KSPIN_DESCRIPTOR_EX* descriptor = filter->PinDescriptor(pinId);
    if (descriptor == nullptr) {
        return Refusal::UnknownPinId;
    }
    if (FormatTooShort(format, formatSize)) {
        return Refusal::RequestTooShort;
    }
    MutexHold control(filter->control, "the class driver's pin create");
    if (filter->PinCount(pinId) >= descriptor->InstancesPossible) {
        return Refusal::PinInstancesExhausted;
    }
    const KSDATARANGE* range = MatchingDataRange(descriptor, format);
    if (range == nullptr) {
        return Refusal::NoMatchingDataRange;
    }
    auto* pin = NewInPool<Pin>(PinTag, filter, pinId, descriptor);
    if (pin == nullptr) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    RegisterObject(&pin->ks, {KsObjectTypePin, &filter->ks, KsGetDevice(&filter->ks), pin});
    pin->ks.ConnectionFormat = CopyFormat(format);
    NTSTATUS status = pin->ks.ConnectionFormat == nullptr ? STATUS_INSUFFICIENT_RESOURCES
                                                          : InitializePin(pin, range);
    if (!NT_SUCCESS(status)) {
        FreePin(pin);
        return status;
    }
    pin->worker_ = std::thread([pin] { pin->RunWorker(); });
    filter->AddPin(pin);
    *created = pin;
    return STATUS_SUCCESS;
}

void Pin::Close() {
    MutexHold control(filter->control, "the class driver's pin close");
    while (State() != KSSTATE_STOP) {
        const KSSTATE from = State();
        const auto to = static_cast<KSSTATE>(from - 1);
        if (!NT_SUCCESS(Step(to, from))) {
            // Closing goes on whatever the driver answers.
            std::lock_guard<std::mutex> lock(mutex_);
            ks.DeviceState = ks.ClientState = to;
        }
    }
    StopWorker();
    if (leadingEdgeLocked_) {
        BugCheck("pin " + Hex(reinterpret_cast<ULONG_PTR>(&ks)) +
                 " closed with its leading edge still locked by the driver");
    }
    CancelQueue();
    const KSPIN_DISPATCH* dispatch = ks.Descriptor->Dispatch;
    if (dispatch != nullptr && dispatch->Close != nullptr) {
        Request close(KsObjectTypePin, &ks, IRP_MJ_CLOSE);
        CallDriver([&] { return dispatch->Close(&ks, close.Irp()); });
    }
    filter->RemovePin(this);
    SetMasterClock(nullptr);
    FreePin(this);
}

KSSTATE Pin::State() {
    std::lock_guard<std::mutex> lock(mutex_);
    return ks.DeviceState;
}

NTSTATUS Pin::SetState(KSSTATE state) {
    MutexHold control(filter->control, "the class driver's state change");
    while (State() != state) {
        const KSSTATE from = State();
        const auto to = static_cast<KSSTATE>(from < state ? from + 1 : from - 1);
        NTSTATUS status = Step(to, from);
        if (!NT_SUCCESS(status)) {
            return status;
        }
    }
    return STATUS_SUCCESS;
}

// One step, under the control mutex only: a Process call may be running.
NTSTATUS Pin::Step(KSSTATE to, KSSTATE from) {
    const KSPIN_DISPATCH* dispatch = ks.Descriptor->Dispatch;
    NTSTATUS status = STATUS_SUCCESS;
    if (dispatch != nullptr && dispatch->SetDeviceState != nullptr) {
        status = CallDriver([&] { return dispatch->SetDeviceState(&ks, to, from); });
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (NT_SUCCESS(status)) {
            ks.DeviceState = ks.ClientState = to;
            // A step up may open the processing gate: queued buffers get a call.
            attemptPending_ = attemptPending_ || to > from;
        }
        changed_.notify_all();
    }
    if (NT_SUCCESS(status) && to == KSSTATE_STOP) {
        CancelQueue();
    }
    if (NT_SUCCESS(status) && from == KSSTATE_STOP) {
        std::lock_guard<std::mutex> lock(queueMutex_);
        acceptingBuffers_ = true;
    }
    return status;
}

NTSTATUS Pin::SetDataFormat(const KSDATAFORMAT* format, ULONG formatSize) {
    if (FormatTooShort(format, formatSize)) {
        return Refusal::RequestTooShort;
    }
    MutexHold control(filter->control, "the class driver's format change");
    const KSDATARANGE* range = MatchingDataRange(ks.Descriptor, format);
    if (range == nullptr) {
        return Refusal::NoMatchingDataRange;
    }
    PKSDATAFORMAT copy = CopyFormat(format);
    if (copy == nullptr) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    PKSDATAFORMAT old = ks.ConnectionFormat;
    ks.ConnectionFormat = copy;
    NTSTATUS status = STATUS_SUCCESS;
    const KSPIN_DISPATCH* dispatch = ks.Descriptor->Dispatch;
    if (dispatch != nullptr && dispatch->SetDataFormat != nullptr) {
        status =
            CallDriver([&] { return dispatch->SetDataFormat(&ks, old, nullptr, range, nullptr); });
    }
    PKSDATAFORMAT unused = NT_SUCCESS(status) ? old : copy;
    ks.ConnectionFormat = NT_SUCCESS(status) ? copy : old;
    ExFreePoolWithTag(unused, FormatTag);
    return status;
}

void Pin::SetMasterClock(ReferenceClock* clock) {
    if (clock != nullptr) {
        clock->AddRef();
    }
    ReferenceClock* old;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        old = clock_;
        clock_ = clock;
    }
    if (old != nullptr) {
        old->Release();
    }
}

NTSTATUS Pin::GetReferenceClock(PIKSREFERENCECLOCK* clock) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (clock_ == nullptr) {
        return Refusal::NoReferenceClock;
    }
    clock_->AddRef();
    *clock = clock_;
    return STATUS_SUCCESS;
}

}  // namespace host::ks

NTSTATUS NTAPI KsPinGetReferenceClockInterface(PKSPIN Pin, PIKSREFERENCECLOCK* Interface) {
    return host::ks::PinOf(Pin)->GetReferenceClock(Interface);
}
