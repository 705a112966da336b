// The request packets the class driver hands to the driver's routines: an
// IRP with the Windows x64 layout and its one stack location, made for the
// device, filter or pin the request is for. The accessors the driver calls
// (KsGetFilterFromIrp and friends) find that object from the packet, as
// ks.sys finds it from the packet's file object; a packet the class driver
// did not make stops with a bug check.
#pragma once

#include <ks.h>

namespace host::ks {

class Request {
public:
    Request(KSOBJECTTYPE type, PVOID object, UCHAR majorFunction, UCHAR minorFunction = 0);
    ~Request();
    Request(const Request&) = delete;
    Request& operator=(const Request&) = delete;

    // A property request: the property in the input buffer, the value in the
    // output buffer, as METHOD_NEITHER requests carry them.
    void DescribeProperty(PVOID property, ULONG propertyLength, PVOID data, ULONG dataLength);

    PIRP Irp() { return &irp_; }
    KSOBJECTTYPE Type() const { return type_; }
    PVOID Object() const { return object_; }

    static const Request& Of(PIRP irp);

private:
    IRP irp_;
    IO_STACK_LOCATION stack_;
    KSOBJECTTYPE type_;
    PVOID object_;
};

}  // namespace host::ks
