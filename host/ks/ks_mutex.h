// The class driver's three mutexes as Windows has them: the device mutex,
// each filter's control mutex and each pin's processing mutex. Each has an
// owner and is not recursive, is taken only at PASSIVE_LEVEL, and the three
// are taken in that order: device, control, processing. Taking one the
// thread already holds or one that comes earlier in the order than one it
// holds deadlocks on Windows; releasing one the thread does not hold
// corrupts it. Here each stops with a bug check naming the mutex and the
// routine.
#pragma once

#include <atomic>
#include <mutex>
#include <string>

namespace host::ks {

enum class MutexLevel { Device, Control, Processing };

class KsMutex {
public:
    // `name` says whose mutex it is, for bug check messages.
    KsMutex(MutexLevel level, std::string name);
    KsMutex(const KsMutex&) = delete;
    KsMutex& operator=(const KsMutex&) = delete;

    void Acquire(const char* routine);
    void Release(const char* routine);

private:
    void CheckOrder(const char* routine) const;

    std::mutex mutex_;
    std::atomic<const void*> owner_{nullptr};  // the holding thread's record
    const MutexLevel level_;
    const std::string name_;
};

// A mutex held for the scope by the class driver itself.
class MutexHold {
public:
    MutexHold(KsMutex& mutex, const char* routine) : mutex_(mutex), routine_(routine) {
        mutex_.Acquire(routine_);
    }
    ~MutexHold() { mutex_.Release(routine_); }
    MutexHold(const MutexHold&) = delete;
    MutexHold& operator=(const MutexHold&) = delete;

private:
    KsMutex& mutex_;
    const char* routine_;
};

}  // namespace host::ks
