// Fault sweeps. Every kernel service the driver calls that can fail counts
// its calls, per kind, from the last ResetKernel; a plan makes one call of
// one kind fail the way Windows fails it. A sweep runs the driver's whole
// life failing call 1, 2, 3, ... of a kind until a run passes without the
// planned call being reached.
#pragma once

#include <cstdint>

#include <ntddk.h>

namespace host {

enum class FaultSite {
    PoolAllocation,  // ExAllocatePoolWithTag returns null
    DiskRead,        // ZwReadFile
    DiskWrite,       // ZwWriteFile
    RegistryCall,    // IoOpenDeviceRegistryKey, ZwCreateKey, ZwQueryValueKey, ZwSetValueKey
    ThreadCreation,  // PsCreateSystemThread
};

const char* FaultSiteName(FaultSite site);

// How a USB disk fails a transfer: gone (not connected, no such device),
// stalled past the port's timeout, or done with fewer bytes than asked and
// a success status.
enum class DiskFailure { NotConnected, NoSuchDevice, Timeout, ShortTransfer };

const char* DiskFailureName(DiskFailure failure);

// The `nth` call of `site` from now (1: the next) fails with `status`;
// replaces any plan in force.
void FailNthCall(FaultSite site, uint64_t nth, NTSTATUS status = STATUS_INSUFFICIENT_RESOURCES);
// The `nth` transfer of a disk site from now fails as `failure` says.
void FailNthTransfer(FaultSite site, uint64_t nth, DiskFailure failure);

// Drops the plan in force; the counts go on.
void ClearPlannedFault();

// Calls of `site` counted since the last ResetKernel.
uint64_t CallsAt(FaultSite site);
// True once the planned call has been made (and failed).
bool PlannedFaultFired();

namespace nt {

struct PlannedFault {
    bool fail = false;
    NTSTATUS status = STATUS_SUCCESS;
    bool shortTransfer = false;  // succeed, with fewer bytes than asked
};

// Counts one call of `site` and says whether, and how, it fails.
PlannedFault TakeCall(FaultSite site);
void ResetFaultPlan();

}  // namespace nt
}  // namespace host
