// Test control of the host pool (ExAllocatePoolWithTag and friends).
//
// Every allocation is recorded in a side table (tag, size, pool type), not in
// a header before the block, so AddressSanitizer sees the true end of each
// allocation. New memory is filled with 0xA5, never zero: code that relies on
// zeroed pool shows up. Freeing a pointer that is not a live allocation,
// freeing twice, or freeing with a tag other than the allocation's stops with
// a bug check.
//
// Pool types are checked as Driver Verifier checks them, with bug check 0xC4:
// NonPagedPoolNx and its variants are served, and so is PagedPool below
// DISPATCH_LEVEL (0x01 above APC_LEVEL, 0x11 for a paged block freed there);
// an executable type (NonPagedPool, NonPagedPoolMustSucceed,
// NonPagedPoolCacheAligned, ... and their session variants: every non-paged
// type without the Nx bit) stops with parameter 0x2000.
//
// Fault injection makes ExAllocatePoolWithTag return null, the way a kernel
// low on resources does; plans stay in force until ClearPoolFaults or
// ResetKernel.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

#include <ntddk.h>

namespace host {

struct PoolTagStats {
    size_t liveAllocations = 0;
    size_t liveBytes = 0;
    size_t totalAllocations = 0;   // successful, since the last reset
    size_t failedAllocations = 0;  // refused by fault injection
};

PoolTagStats PoolStatsForTag(ULONG tag);
size_t PoolLiveAllocations();
size_t PoolLiveBytes();

// The allocation `n` calls from now fails (1: the next one), whatever its tag
// (the pool allocation plan of fault_plan.h).
void FailPoolAllocation(uint64_t n);
// Every allocation with this tag fails. ClearPoolFaults also drops a plan of
// fault_plan.h in force.
void FailPoolAllocationsWithTag(ULONG tag);
// Each allocation fails with the given probability, drawn from a generator
// seeded with `seed`, so a failing run can be repeated.
void FailPoolAllocationsAtRandom(uint32_t seed, double probability);
void ClearPoolFaults();

// Special pool, as Windows' Driver Verifier provides it: while on, each new
// allocation gets its own mapping with a PROT_NONE guard page right after
// the block's end rounded up to 16 bytes, so code that AddressSanitizer does
// not instrument (a loaded .sys) faults at its first byte written past the
// end; freeing unmaps it. The mode survives ResetKernel.
void UseSpecialPool(bool on);

// The live allocations of each tag that has any, for the leak check at
// driver unload.
std::map<ULONG, size_t> PoolLiveAllocationsPerTag();

// A tag as the pool shows it: the four bytes in memory order ('wNCK' shows
// as "KCNw").
std::string PoolTagName(ULONG tag);

}  // namespace host
