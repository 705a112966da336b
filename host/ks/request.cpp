// Request packets and the accessors that read them.
#include "host/ks/request.h"

#include <cstring>
#include <map>
#include <mutex>

#include "host/nt/bug_check.h"

namespace host::ks {

namespace {

struct LiveRequests {
    std::mutex mutex;
    std::map<const IRP*, const Request*> packets;
};

LiveRequests& Live() {
    static LiveRequests live;
    return live;
}

}  // namespace

Request::Request(KSOBJECTTYPE type, PVOID object, UCHAR majorFunction, UCHAR minorFunction)
    : type_(type), object_(object) {
    std::memset(&irp_, 0, sizeof(irp_));
    std::memset(&stack_, 0, sizeof(stack_));
    irp_.Type = IO_TYPE_IRP;
    irp_.Size = sizeof(IRP) + sizeof(IO_STACK_LOCATION);
    irp_.RequestorMode = KernelMode;
    irp_.StackCount = 1;
    irp_.CurrentLocation = 1;
    irp_.Tail.Overlay.CurrentStackLocation = &stack_;
    stack_.MajorFunction = majorFunction;
    stack_.MinorFunction = minorFunction;
    std::lock_guard<std::mutex> lock(Live().mutex);
    Live().packets[&irp_] = this;
}

Request::~Request() {
    std::lock_guard<std::mutex> lock(Live().mutex);
    Live().packets.erase(&irp_);
}

void Request::DescribeProperty(PVOID property, ULONG propertyLength, PVOID data, ULONG dataLength) {
    stack_.MajorFunction = IRP_MJ_DEVICE_CONTROL;
    stack_.Parameters.DeviceIoControl.IoControlCode = IOCTL_KS_PROPERTY;
    stack_.Parameters.DeviceIoControl.InputBufferLength = propertyLength;
    stack_.Parameters.DeviceIoControl.OutputBufferLength = dataLength;
    stack_.Parameters.DeviceIoControl.Type3InputBuffer = property;
    irp_.UserBuffer = data;
}

const Request& Request::Of(PIRP irp) {
    {
        std::lock_guard<std::mutex> lock(Live().mutex);
        auto found = Live().packets.find(irp);
        if (found != Live().packets.end()) {
            return *found->second;
        }
    }
    BugCheck("kernel streaming request " + Hex(reinterpret_cast<uintptr_t>(irp)) +
             " is no request packet the class driver made");
}

}  // namespace host::ks

using host::ks::Request;

PKSFILTER NTAPI KsGetFilterFromIrp(PIRP Irp) {
    const Request& request = Request::Of(Irp);
    if (request.Type() == KsObjectTypeFilter) {
        return static_cast<PKSFILTER>(request.Object());
    }
    if (request.Type() == KsObjectTypePin) {
        return KsPinGetParentFilter(static_cast<PKSPIN>(request.Object()));
    }
    return nullptr;
}

PKSPIN NTAPI KsGetPinFromIrp(PIRP Irp) {
    const Request& request = Request::Of(Irp);
    return request.Type() == KsObjectTypePin ? static_cast<PKSPIN>(request.Object()) : nullptr;
}

KSOBJECTTYPE NTAPI KsGetObjectTypeFromIrp(PIRP Irp) {
    return Request::Of(Irp).Type();
}
