// Filter open and close.
#include "host/ks/filter.h"

#include <algorithm>

#include "host/ks/device.h"
#include "host/ks/object_bag.h"
#include "host/ks/object_tree.h"
#include "host/ks/pin.h"
#include "host/ks/pool_object.h"
#include "host/ks/request.h"
#include "host/nt/bug_check.h"
#include "host/nt/kernel_stack.h"

namespace host::ks {

namespace {

std::mutex openFiltersMutex;
std::vector<Filter*> openFilters;

void Forget(Filter* filter) {
    UnregisterObject(&filter->ks);
    FreeObjectBag(static_cast<ObjectBag*>(filter->ks.Bag));
    DeleteInPool(filter, FilterTag);
}

}  // namespace

Filter::Filter(FilterFactory* factory)
    : factory(factory),
      control(MutexLevel::Control,
              "the control mutex of filter " + Hex(reinterpret_cast<ULONG_PTR>(&ks))) {
    ks.Descriptor = factory->ks.FilterDescriptor;
    ks.Bag = CreateObjectBag();
    ks.Context = factory->ks.Context;
}

NTSTATUS Filter::Open(FilterFactory* factory, Filter** opened) {
    auto* filter = NewInPool<Filter>(FilterTag, factory);
    if (filter == nullptr) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    RegisterObject(&filter->ks, {KsObjectTypeFilter, &factory->ks, factory->device, filter});
    const KSFILTER_DISPATCH* dispatch = filter->ks.Descriptor->Dispatch;
    if (dispatch != nullptr && dispatch->Create != nullptr) {
        Request create(KsObjectTypeFilter, &filter->ks, IRP_MJ_CREATE);
        NTSTATUS status;
        {
            MutexHold device(DeviceMutex(factory->device), "the class driver's filter create");
            status = CallDriver([&] { return dispatch->Create(&filter->ks, create.Irp()); });
        }
        if (!NT_SUCCESS(status)) {
            Forget(filter);
            return status;
        }
    }
    {
        std::lock_guard<std::mutex> lock(openFiltersMutex);
        openFilters.push_back(filter);
    }
    *opened = filter;
    return STATUS_SUCCESS;
}

void Filter::Close() {
    for (Pin* pin : Pins()) {
        pin->Close();
    }
    {
        std::lock_guard<std::mutex> lock(openFiltersMutex);
        openFilters.erase(std::find(openFilters.begin(), openFilters.end(), this));
    }
    const KSFILTER_DISPATCH* dispatch = ks.Descriptor->Dispatch;
    if (dispatch != nullptr && dispatch->Close != nullptr) {
        Request close(KsObjectTypeFilter, &ks, IRP_MJ_CLOSE);
        MutexHold device(DeviceMutex(factory->device), "the class driver's filter close");
        CallDriver([&] { return dispatch->Close(&ks, close.Irp()); });
    }
    Forget(this);
}

const KSPIN_DESCRIPTOR_EX* Filter::PinDescriptor(ULONG pinId) const {
    if (pinId >= ks.Descriptor->PinDescriptorsCount) {
        return nullptr;
    }
    // Descriptors may be larger than KSPIN_DESCRIPTOR_EX: step by their size.
    const auto* first = reinterpret_cast<const UCHAR*>(ks.Descriptor->PinDescriptors);
    return reinterpret_cast<const KSPIN_DESCRIPTOR_EX*>(
        first + size_t{pinId} * ks.Descriptor->PinDescriptorSize);
}

ULONG Filter::PinCount(ULONG pinId) {
    std::lock_guard<std::mutex> lock(pinsMutex_);
    return static_cast<ULONG>(std::count_if(pins_.begin(), pins_.end(),
                                            [pinId](Pin* pin) { return pin->ks.Id == pinId; }));
}

std::vector<Pin*> Filter::Pins() {
    std::lock_guard<std::mutex> lock(pinsMutex_);
    return pins_;
}

void Filter::AddPin(Pin* pin) {
    std::lock_guard<std::mutex> lock(pinsMutex_);
    pins_.push_back(pin);
}

void Filter::RemovePin(Pin* pin) {
    std::lock_guard<std::mutex> lock(pinsMutex_);
    pins_.erase(std::find(pins_.begin(), pins_.end(), pin));
}

void CloseFiltersOf(FilterFactory* factory) {
    std::vector<Filter*> doomed;
    {
        std::lock_guard<std::mutex> lock(openFiltersMutex);
        for (Filter* filter : openFilters) {
            if (filter->factory == factory) {
                doomed.push_back(filter);
            }
        }
    }
    for (Filter* filter : doomed) {
        filter->Close();
    }
}

}  // namespace host::ks

using host::ks::Filter;
using host::ks::LookUpObject;

ULONG NTAPI KsFilterGetChildPinCount(PKSFILTER Filter, ULONG PinId) {
    return static_cast<host::ks::Filter*>(LookUpObject(Filter).owner)->PinCount(PinId);
}

PKSPIN NTAPI KsFilterGetFirstChildPin(PKSFILTER Filter, ULONG PinId) {
    for (host::ks::Pin* pin : static_cast<host::ks::Filter*>(LookUpObject(Filter).owner)->Pins()) {
        if (pin->ks.Id == PinId) {
            return &pin->ks;
        }
    }
    return nullptr;
}

PKSPIN NTAPI KsPinGetNextSiblingPin(PKSPIN Pin) {
    host::ks::ObjectNode node = LookUpObject(Pin);
    auto* filter = static_cast<host::ks::Filter*>(LookUpObject(node.parent).owner);
    bool seen = false;
    for (host::ks::Pin* pin : filter->Pins()) {
        if (seen && pin->ks.Id == Pin->Id) {
            return &pin->ks;
        }
        seen = seen || &pin->ks == Pin;
    }
    return nullptr;
}
