// Disk: range checks and injected failures shared by every kind of disk.
#include "host/disk/disk.h"

namespace host {

namespace {

bool RangeFits(uint64_t offset, size_t length, uint64_t size) {
    return offset <= size && length <= size - offset;
}

}  // namespace

bool Disk::Read(uint64_t offset, void* buffer, size_t length) {
    if (TakeInjectedFailure() || !RangeFits(offset, length, Size())) {
        return false;
    }
    return ReadAt(offset, buffer, length);
}

bool Disk::Write(uint64_t offset, const void* buffer, size_t length) {
    if (TakeInjectedFailure() || !RangeFits(offset, length, Size())) {
        return false;
    }
    return WriteAt(offset, buffer, length);
}

void Disk::FailNextTransfers(int count) {
    failuresPending_.store(count > 0 ? count : 0);
}

// Each transfer takes at most one pending failure, even when several threads
// transfer at once.
bool Disk::TakeInjectedFailure() {
    int pending = failuresPending_.load();
    while (pending > 0) {
        if (failuresPending_.compare_exchange_weak(pending, pending - 1)) {
            return true;
        }
    }
    return false;
}

}  // namespace host
