// The client side of a filter, as a capture application sees it through the
// kernel streaming proxy: find filters by category, open one, read a pin's
// data ranges, ask the pin's intersect handler for a format, create the pin,
// send property requests. Statuses are the NTSTATUS values the request
// completed with, the class driver's refusals included.
//
// Each opened filter is one application: a client process of its own, in
// which every request through the filter and its pins runs, as an
// application's calls run in its own process on Windows. Destroying the
// filter is the application's exit: its pins and the filter are closed, then
// the process ends, closing any handle still left in it.
//
// Like handles, these objects must go before the device does: a device that
// stops or goes away closes its filters and pins under them.
#pragma once

#include <ks.h>

#include <memory>
#include <string>
#include <vector>

#include "host/nt/processes.h"

namespace host::ks {
class Filter;
}

namespace client {

class Pin;

struct RequestResult {
    NTSTATUS status;
    ULONG bytesReturned;
};

// The paths of the filters registered under the category, in registration
// order.
std::vector<std::string> FindFilters(const GUID& category);

// The path of the same filter in another category, as an application finds
// it with SetupDiGetDeviceInterfaceAlias; empty when the filter is not
// published there.
std::string FilterAlias(const std::string& path, const GUID& category);

class Filter {
public:
    // STATUS_OBJECT_NAME_NOT_FOUND for a path no filter factory has.
    static NTSTATUS Open(const std::string& path, std::unique_ptr<Filter>* filter);
    // Closes the filter; pins still open are closed first.
    ~Filter();
    Filter(const Filter&) = delete;
    Filter& operator=(const Filter&) = delete;

    ULONG PinTypeCount() const;
    // Each data range of the pin, FormatSize bytes, as the pin publishes it now.
    std::vector<std::vector<UCHAR>> DataRanges(ULONG pinId) const;

    // The pin's proposal for `range` (rangeSize bytes) into a buffer of
    // bufferSize bytes: 0 asks for the size (STATUS_BUFFER_OVERFLOW with the
    // size in bytesReturned). `format` receives the bytes returned.
    RequestResult Intersect(ULONG pinId, const void* range, ULONG rangeSize, ULONG bufferSize,
                            std::vector<UCHAR>* format);

    // A property request with arbitrary buffers; a get fills `data`.
    RequestResult Property(const void* property, ULONG propertyLength, void* data,
                           ULONG dataLength);

    NTSTATUS CreatePin(ULONG pinId, const void* format, ULONG formatSize,
                       std::unique_ptr<Pin>* pin);

    // The class driver's filter object, for tests that look inside.
    PKSFILTER Kernel() const;
    // The application's process.
    host::ProcessId Process() const { return process_->Id(); }

private:
    friend class Pin;
    Filter(host::ks::Filter* filter, std::unique_ptr<host::ClientProcess> process);

    std::unique_ptr<host::ClientProcess> process_;
    host::ks::Filter* filter_;
    std::vector<Pin*> pins_;
};

}  // namespace client
