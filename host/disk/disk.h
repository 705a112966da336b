// A disk as the host kernel sees it: bytes readable and writable at offsets.
// FileDisk (regular files, Linux block devices) and the simulated camera are
// disks; host/nt lists attached disks as disk interfaces and serves ZwReadFile
// and ZwWriteFile from them. Injected transfer failures live here so that
// every kind of disk can be told to fail.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace host {

class Disk {
public:
    virtual ~Disk() = default;

    // Transfers exactly `length` bytes at byte `offset`. False when the
    // transfer fails: an injected failure, an I/O error, or a range beyond
    // the end of the disk. A failed read may have written part of `buffer`.
    bool Read(uint64_t offset, void* buffer, size_t length);
    bool Write(uint64_t offset, const void* buffer, size_t length);

    // The next `count` transfers (reads or writes) fail without reaching the
    // medium; replaces any count still pending. Range checks come after the
    // injected failure, so a failing transfer consumes one even when out of
    // range.
    void FailNextTransfers(int count);

    virtual uint64_t Size() const = 0;

protected:
    virtual bool ReadAt(uint64_t offset, void* buffer, size_t length) = 0;
    virtual bool WriteAt(uint64_t offset, const void* buffer, size_t length) = 0;

private:
    bool TakeInjectedFailure();

    std::atomic<int> failuresPending_{0};
};

}  // namespace host
