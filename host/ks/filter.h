// Filters: opened on a factory, closed by the client. Each has its own object
// bag, freed after the Close dispatch, and the control mutex its pins share.
// The Create and Close dispatch run under the device mutex, as filter
// creation and destruction do on Windows.
#pragma once

#include <ks.h>

#include <mutex>
#include <vector>

#include "host/ks/filter_factory.h"
#include "host/ks/ks_mutex.h"

namespace host::ks {

class Pin;

class Filter {
public:
    // Runs the descriptor's Create dispatch; on failure nothing is left.
    static NTSTATUS Open(FilterFactory* factory, Filter** filter);
    // Closes the pins, runs the Close dispatch, frees the bag and the filter.
    void Close();

    explicit Filter(FilterFactory* factory);

    const KSPIN_DESCRIPTOR_EX* PinDescriptor(ULONG pinId) const;
    ULONG PinCount(ULONG pinId);
    std::vector<Pin*> Pins();
    void AddPin(Pin* pin);
    void RemovePin(Pin* pin);

    KSFILTER ks{};
    FilterFactory* const factory;
    KsMutex control;

private:
    std::mutex pinsMutex_;
    std::vector<Pin*> pins_;
};

// Closes every filter opened on the factory.
void CloseFiltersOf(FilterFactory* factory);

}  // namespace host::ks
