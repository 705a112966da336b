// The pool: allocations from the C heap, or each in its own mapping before a
// guard page in special-pool mode, with their bookkeeping in a side table,
// per-tag statistics, fault injection and the bug checks of a wrong pool
// type, a wrong IRQL and a wrong free.
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
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
#include "host/nt/fault_plan.h"
#include "host/nt/kernel_parts.h"
#include "host/nt/pool_control.h"

namespace host {
namespace {

struct Allocation {
    ULONG tag;
    SIZE_T bytes;
    bool paged;
    // The special-pool mapping the block sits in; null for heap blocks.
    void* mapping;
    size_t mappingBytes;
};

struct FaultPlan {
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
    FaultPlan faults;
    bool special = false;
};

Pool& ThePool() {
    static Pool pool;
    return pool;
}

// With the pool mutex held.
bool ShouldFail(Pool& pool, ULONG tag) {
    FaultPlan& faults = pool.faults;
    if (nt::TakeCall(FaultSite::PoolAllocation).fail) {
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

// PagedPool and its variants have odd type numbers; NonPagedPoolNx and its
// variants carry the 512 bit. Every other type is non-paged executable
// memory, which the kernel's code integrity refuses to hand to a driver.
bool IsPaged(POOL_TYPE type) {
    return (type & PagedPool) != 0;
}

bool IsExecutable(POOL_TYPE type) {
    return !IsPaged(type) && (type & NonPagedPoolNx) == 0;
}

void CheckAllocation(POOL_TYPE type, SIZE_T bytes, ULONG tag) {
    const KIRQL irql = nt::CurrentThread().irql;
    const char* routine = "ExAllocatePoolWithTag";
    if (IsPaged(type) && irql > APC_LEVEL) {
        BugCheck(DriverVerifierDetectedViolation, Verifier::PagedPoolAboveApcLevel, irql, type,
                 bytes, routine, "paged pool allocated at IRQL " + std::to_string(irql));
    }
    if (irql > DISPATCH_LEVEL) {
        BugCheck(DriverVerifierDetectedViolation, Verifier::NonPagedPoolAboveDispatchLevel, irql,
                 type, bytes, routine, "non-paged pool allocated at IRQL " + std::to_string(irql));
    }
    if (IsExecutable(type)) {
        BugCheck(DriverVerifierDetectedViolation, Verifier::ExecutablePoolType, 0, type, tag,
                 routine,
                 "executable pool type " + std::to_string(type) + " for tag '" + PoolTagName(tag) +
                     "'; drivers allocate NonPagedPoolNx");
    }
}

size_t PageBytes() {
    return static_cast<size_t>(sysconf(_SC_PAGESIZE));
}

// A block whose end, rounded up to 16 bytes as pool blocks are, touches a
// guard page: the first byte written past it faults.
void* MapSpecialBlock(SIZE_T bytes, Allocation* allocation) {
    const size_t rounded = (std::max<size_t>(bytes, 1) + 15) & ~size_t{15};
    const size_t page = PageBytes();
    const size_t dataBytes = (rounded + page - 1) / page * page;
    void* mapping =
        mmap(nullptr, dataBytes + page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapping == MAP_FAILED) {
        return nullptr;
    }
    auto* guard = static_cast<unsigned char*>(mapping) + dataBytes;
    if (mprotect(guard, page, PROT_NONE) != 0) {
        BugCheck("the host could not protect a special-pool guard page");
    }
    allocation->mapping = mapping;
    allocation->mappingBytes = dataBytes + page;
    return guard - rounded;
}

// A block of a page or more starts a page, as Windows gives it; a smaller
// one is 16-byte aligned, as malloc's are.
void* AllocateBlock(SIZE_T bytes) {
    const size_t page = PageBytes();
    if (bytes < page) {
        return std::malloc(bytes == 0 ? 1 : bytes);
    }
    return std::aligned_alloc(page, (bytes + page - 1) / page * page);
}

void ReleaseMemory(void* pointer, const Allocation& allocation) {
    if (allocation.mapping != nullptr) {
        munmap(allocation.mapping, allocation.mappingBytes);
    } else {
        std::free(pointer);
    }
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
    const KIRQL irql = nt::CurrentThread().irql;
    if (allocation.paged && irql > APC_LEVEL) {
        BugCheck(DriverVerifierDetectedViolation, Verifier::PagedPoolFreedAboveApcLevel, irql,
                 PagedPool, reinterpret_cast<ULONG_PTR>(pointer), routine,
                 "paged pool freed at IRQL " + std::to_string(irql));
    }
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
    FailNthCall(FaultSite::PoolAllocation, n);
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

void UseSpecialPool(bool on) {
    std::lock_guard<std::mutex> lock(ThePool().mutex);
    ThePool().special = on;
}

std::map<ULONG, size_t> PoolLiveAllocationsPerTag() {
    std::lock_guard<std::mutex> lock(ThePool().mutex);
    std::map<ULONG, size_t> live;
    for (const auto& entry : ThePool().stats) {
        if (entry.second.liveAllocations != 0) {
            live[entry.first] = entry.second.liveAllocations;
        }
    }
    return live;
}

void ClearPoolFaults() {
    ClearPlannedFault();
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
        ReleaseMemory(const_cast<void*>(entry.first), entry.second);
    }
    pool.live.clear();
    pool.freed.clear();
    pool.stats.clear();
    pool.faults = FaultPlan{};
}

}  // namespace nt
}  // namespace host

PVOID NTAPI ExAllocatePoolWithTag(POOL_TYPE PoolType, SIZE_T NumberOfBytes, ULONG Tag) {
    host::CheckAllocation(PoolType, NumberOfBytes, Tag);
    host::Pool& pool = host::ThePool();
    std::lock_guard<std::mutex> lock(pool.mutex);
    if (host::ShouldFail(pool, Tag)) {
        ++pool.stats[Tag].failedAllocations;
        return nullptr;
    }
    host::Allocation allocation{Tag, NumberOfBytes, host::IsPaged(PoolType), nullptr, 0};
    void* memory = pool.special ? host::MapSpecialBlock(NumberOfBytes, &allocation)
                                : host::AllocateBlock(NumberOfBytes);
    if (memory == nullptr) {
        return nullptr;
    }
    std::memset(memory, 0xA5, NumberOfBytes);
    pool.live[memory] = allocation;
    pool.freed.erase(memory);
    host::PoolTagStats& stats = pool.stats[Tag];
    ++stats.liveAllocations;
    ++stats.totalAllocations;
    stats.liveBytes += NumberOfBytes;
    return memory;
}

VOID NTAPI ExFreePool(PVOID P) {
    host::Allocation allocation;
    {
        std::lock_guard<std::mutex> lock(host::ThePool().mutex);
        allocation = host::TakeAllocation(P, "ExFreePool");
    }
    host::ReleaseMemory(P, allocation);
}

VOID NTAPI ExFreePoolWithTag(PVOID P, ULONG Tag) {
    host::Allocation allocation;
    {
        std::lock_guard<std::mutex> lock(host::ThePool().mutex);
        allocation = host::TakeAllocation(P, "ExFreePoolWithTag");
        if (allocation.tag != Tag) {
            host::BugCheck("ExFreePoolWithTag of " + host::Describe(P) + " with tag '" +
                           host::PoolTagName(Tag) + "', allocated with tag '" +
                           host::PoolTagName(allocation.tag) + "'");
        }
    }
    host::ReleaseMemory(P, allocation);
}
