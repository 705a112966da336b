// The class driver's mutexes with their owner, order and IRQL checks.
#include "host/ks/ks_mutex.h"

#include <algorithm>
#include <vector>

#include "host/nt/bug_check.h"
#include "host/nt/current_thread.h"

namespace host::ks {

namespace {

// The mutexes the calling thread holds, in the order it took them.
std::vector<const KsMutex*>& HeldByThisThread() {
    thread_local std::vector<const KsMutex*> held;
    return held;
}

const void* ThreadToken() {
    return &nt::CurrentThread();
}

[[noreturn]] void Deadlock(const KsMutex* mutex, const char* routine, const std::string& detail) {
    BugCheck(DriverVerifierDetectedViolation, Verifier::Deadlock,
             reinterpret_cast<ULONG_PTR>(mutex), 0, 0, routine, detail);
}

}  // namespace

KsMutex::KsMutex(MutexLevel level, std::string name) : level_(level), name_(std::move(name)) {}

void KsMutex::CheckOrder(const char* routine) const {
    for (const KsMutex* held : HeldByThisThread()) {
        if (held->level_ > level_) {
            Deadlock(
                this, routine,
                name_ + " taken while holding " + held->name_ + ", which must be taken after it");
        }
    }
}

void KsMutex::Acquire(const char* routine) {
    nt::RequirePassiveLevel(routine);
    if (owner_.load(std::memory_order_relaxed) == ThreadToken()) {
        Deadlock(this, routine, name_ + " taken again by the thread that holds it");
    }
    CheckOrder(routine);
    mutex_.lock();
    owner_.store(ThreadToken(), std::memory_order_relaxed);
    HeldByThisThread().push_back(this);
}

void KsMutex::Release(const char* routine) {
    if (owner_.load(std::memory_order_relaxed) != ThreadToken()) {
        BugCheck(ThreadNotMutexOwner, reinterpret_cast<ULONG_PTR>(this), 0, 0, 0, routine,
                 name_ + " released by a thread that does not hold it");
    }
    std::vector<const KsMutex*>& held = HeldByThisThread();
    held.erase(std::find(held.begin(), held.end(), this));
    owner_.store(nullptr, std::memory_order_relaxed);
    mutex_.unlock();
}

}  // namespace host::ks
