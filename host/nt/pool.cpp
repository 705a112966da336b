// The pool: allocations from the C heap with their bookkeeping in a side
// table, per-tag statistics, fault injection and the bug checks of a wrong
// free.
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <random>
#include <set>
#include <unordered_map>
#include <unordered_set>

#include "host/nt/bug_check.h"
#include "host/nt/current_thread.h"
#include "host/nt/kernel_parts.h"
#include "host/nt/pool_control.h"

namespace host {
namespace {

struct Allocation {
    ULONG tag;
    SIZE_T bytes;
};

struct FaultPlan {
    uint64_t failAtCall = 0;  // the allocation count that fails; 0 = none
    std::set<ULONG> failingTags;
    bool random = false;
    std::mt19937 generator;
    double probability = 0;
};

struct Pool {
    std::mutex mutex;
    std::unordered_map<const void*, Allocation> live;
    std::unordered_set<const void*> freed;
    std::map<ULONG, PoolTagStats> stats;
    uint64_t calls = 0;
    FaultPlan faults;
};

Pool& ThePool() {
    static Pool pool;
    return pool;
}

// With the pool mutex held.
bool ShouldFail(Pool& pool, ULONG tag) {
    FaultPlan& faults = pool.faults;
    ++pool.calls;
    if (faults.failAtCall != 0 && pool.calls == faults.failAtCall) {
        faults.failAtCall = 0;
        return true;
    }
    if (faults.failingTags.count(tag) != 0) {
        return true;
    }
    return faults.random &&
           std::uniform_real_distribution<double>(0, 1)(faults.generator) < faults.probability;
}

std::string Describe(const void* pointer) {
    return Hex(reinterpret_cast<uintptr_t>(pointer));
}

// Removes a live allocation, stopping on a pointer the pool did not hand out.
Allocation TakeAllocation(PVOID pointer, const char* routine) {
    Pool& pool = ThePool();
    auto found = pool.live.find(pointer);
    if (found == pool.live.end()) {
        BugCheck(std::string(routine) + " of " + Describe(pointer) +
                 (pool.freed.count(pointer) != 0 ? ", which was already freed"
                                                 : ", which is not a pool allocation"));
    }
    Allocation allocation = found->second;
    pool.live.erase(found);
    pool.freed.insert(pointer);
    PoolTagStats& stats = pool.stats[allocation.tag];
    --stats.liveAllocations;
    stats.liveBytes -= allocation.bytes;
    return allocation;
}

}  // namespace

PoolTagStats PoolStatsForTag(ULONG tag) {
    std::lock_guard<std::mutex> lock(ThePool().mutex);
    return ThePool().stats[tag];
}

size_t PoolLiveAllocations() {
    std::lock_guard<std::mutex> lock(ThePool().mutex);
    return ThePool().live.size();
}

size_t PoolLiveBytes() {
    std::lock_guard<std::mutex> lock(ThePool().mutex);
    size_t bytes = 0;
    for (const auto& entry : ThePool().live) {
        bytes += entry.second.bytes;
    }
    return bytes;
}

void FailPoolAllocation(uint64_t n) {
    std::lock_guard<std::mutex> lock(ThePool().mutex);
    ThePool().faults.failAtCall = ThePool().calls + n;
}

void FailPoolAllocationsWithTag(ULONG tag) {
    std::lock_guard<std::mutex> lock(ThePool().mutex);
    ThePool().faults.failingTags.insert(tag);
}

void FailPoolAllocationsAtRandom(uint32_t seed, double probability) {
    std::lock_guard<std::mutex> lock(ThePool().mutex);
    FaultPlan& faults = ThePool().faults;
    faults.random = true;
    faults.generator.seed(seed);
    faults.probability = probability;
}

void ClearPoolFaults() {
    std::lock_guard<std::mutex> lock(ThePool().mutex);
    ThePool().faults = FaultPlan{};
}

std::string PoolTagName(ULONG tag) {
    char name[5];
    std::memcpy(name, &tag, 4);
    name[4] = '\0';
    return name;
}

namespace nt {

void DescribePoolLeaks(std::string* report) {
    std::lock_guard<std::mutex> lock(ThePool().mutex);
    for (const auto& entry : ThePool().stats) {
        if (entry.second.liveAllocations != 0) {
            *report += "pool tag '" + PoolTagName(entry.first) + "' (" + Hex(entry.first) +
                       "): " + std::to_string(entry.second.liveAllocations) + " allocation(s), " +
                       std::to_string(entry.second.liveBytes) + " bytes still live\n";
        }
    }
}

void ResetPool() {
    Pool& pool = ThePool();
    std::lock_guard<std::mutex> lock(pool.mutex);
    for (const auto& entry : pool.live) {
        std::free(const_cast<void*>(entry.first));
    }
    pool.live.clear();
    pool.freed.clear();
    pool.stats.clear();
    pool.calls = 0;
    pool.faults = FaultPlan{};
}

}  // namespace nt
}  // namespace host

PVOID NTAPI ExAllocatePoolWithTag(POOL_TYPE PoolType, SIZE_T NumberOfBytes, ULONG Tag) {
    KIRQL irql = host::nt::CurrentThread().irql;
    bool paged = (PoolType & 1) != 0;  // PagedPool and its variants are odd
    if (irql > DISPATCH_LEVEL || (paged && irql > APC_LEVEL)) {
        host::BugCheck("ExAllocatePoolWithTag of " + std::string(paged ? "paged" : "non-paged") +
                       " pool at IRQL " + std::to_string(irql));
    }
    host::Pool& pool = host::ThePool();
    std::lock_guard<std::mutex> lock(pool.mutex);
    if (host::ShouldFail(pool, Tag)) {
        ++pool.stats[Tag].failedAllocations;
        return nullptr;
    }
    void* memory = std::malloc(NumberOfBytes == 0 ? 1 : NumberOfBytes);
    if (memory == nullptr) {
        return nullptr;
    }
    std::memset(memory, 0xA5, NumberOfBytes);
    pool.live[memory] = host::Allocation{Tag, NumberOfBytes};
    pool.freed.erase(memory);
    host::PoolTagStats& stats = pool.stats[Tag];
    ++stats.liveAllocations;
    ++stats.totalAllocations;
    stats.liveBytes += NumberOfBytes;
    return memory;
}

VOID NTAPI ExFreePool(PVOID P) {
    {
        std::lock_guard<std::mutex> lock(host::ThePool().mutex);
        host::TakeAllocation(P, "ExFreePool");
    }
    std::free(P);
}

VOID NTAPI ExFreePoolWithTag(PVOID P, ULONG Tag) {
    {
        std::lock_guard<std::mutex> lock(host::ThePool().mutex);
        host::Allocation allocation = host::TakeAllocation(P, "ExFreePoolWithTag");
        if (allocation.tag != Tag) {
            host::BugCheck("ExFreePoolWithTag of " + host::Describe(P) + " with tag '" +
                           host::PoolTagName(Tag) + "', allocated with tag '" +
                           host::PoolTagName(allocation.tag) + "'");
        }
    }
    std::free(P);
}
