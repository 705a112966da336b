// The fault plan: per-site call counts and the one planned failure.
#include "host/nt/fault_plan.h"

#include <mutex>

namespace host {
namespace {

constexpr int SiteCount = 5;

struct Plan {
    std::mutex mutex;
    uint64_t calls[SiteCount] = {};
    bool armed = false;
    FaultSite site = FaultSite::PoolAllocation;
    uint64_t failingCall = 0;  // the count at `site` that fails
    nt::PlannedFault fault;
    bool fired = false;
};

Plan& ThePlan() {
    static Plan plan;
    return plan;
}

int IndexOf(FaultSite site) {
    return static_cast<int>(site);
}

void Arm(FaultSite site, uint64_t nth, nt::PlannedFault fault) {
    Plan& plan = ThePlan();
    std::lock_guard<std::mutex> lock(plan.mutex);
    plan.armed = nth != 0;
    plan.site = site;
    plan.failingCall = plan.calls[IndexOf(site)] + nth;
    plan.fault = fault;
    plan.fired = false;
}

NTSTATUS StatusOf(DiskFailure failure) {
    switch (failure) {
        case DiskFailure::NotConnected:
            return STATUS_DEVICE_NOT_CONNECTED;
        case DiskFailure::NoSuchDevice:
            return STATUS_NO_SUCH_DEVICE;
        case DiskFailure::Timeout:
            return STATUS_IO_TIMEOUT;
        case DiskFailure::ShortTransfer:
            break;
    }
    return STATUS_SUCCESS;
}

}  // namespace

const char* FaultSiteName(FaultSite site) {
    switch (site) {
        case FaultSite::PoolAllocation:
            return "pool allocation";
        case FaultSite::DiskRead:
            return "disk read";
        case FaultSite::DiskWrite:
            return "disk write";
        case FaultSite::RegistryCall:
            return "registry call";
        case FaultSite::ThreadCreation:
            return "thread creation";
    }
    return "?";
}

const char* DiskFailureName(DiskFailure failure) {
    switch (failure) {
        case DiskFailure::NotConnected:
            return "device not connected";
        case DiskFailure::NoSuchDevice:
            return "no such device";
        case DiskFailure::Timeout:
            return "I/O timeout";
        case DiskFailure::ShortTransfer:
            return "short transfer";
    }
    return "?";
}

void FailNthCall(FaultSite site, uint64_t nth, NTSTATUS status) {
    Arm(site, nth, {true, status, false});
}

void FailNthTransfer(FaultSite site, uint64_t nth, DiskFailure failure) {
    const bool isShort = failure == DiskFailure::ShortTransfer;
    Arm(site, nth, {true, StatusOf(failure), isShort});
}

void ClearPlannedFault() {
    Plan& plan = ThePlan();
    std::lock_guard<std::mutex> lock(plan.mutex);
    plan.armed = false;
}

uint64_t CallsAt(FaultSite site) {
    Plan& plan = ThePlan();
    std::lock_guard<std::mutex> lock(plan.mutex);
    return plan.calls[IndexOf(site)];
}

bool PlannedFaultFired() {
    Plan& plan = ThePlan();
    std::lock_guard<std::mutex> lock(plan.mutex);
    return plan.fired;
}

namespace nt {

PlannedFault TakeCall(FaultSite site) {
    Plan& plan = ThePlan();
    std::lock_guard<std::mutex> lock(plan.mutex);
    const uint64_t call = ++plan.calls[IndexOf(site)];
    if (!plan.armed || plan.site != site || call != plan.failingCall) {
        return {};
    }
    plan.armed = false;
    plan.fired = true;
    return plan.fault;
}

void ResetFaultPlan() {
    Plan& plan = ThePlan();
    std::lock_guard<std::mutex> lock(plan.mutex);
    for (uint64_t& calls : plan.calls) {
        calls = 0;
    }
    plan.armed = false;
    plan.fired = false;
}

}  // namespace nt
}  // namespace host
