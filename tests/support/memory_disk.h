// Disks for tests: an in-memory disk whose sectors a test writes directly,
// and a recorder that passes transfers to another disk and remembers every
// sector written.
#pragma once

#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "host/disk/disk.h"

namespace testing_support {

class MemoryDisk : public host::Disk {
public:
    explicit MemoryDisk(size_t bytes) : bytes_(bytes, 0) {}

    uint64_t Size() const override { return bytes_.size(); }
    uint8_t* At(uint64_t offset) { return bytes_.data() + offset; }

    // A status sector that identifies a camera with the given model code and
    // frame-ready flag.
    void WriteIdentification(uint8_t model0, uint8_t model1, uint8_t frameReady);

protected:
    bool ReadAt(uint64_t offset, void* buffer, size_t length) override;
    bool WriteAt(uint64_t offset, const void* buffer, size_t length) override;

private:
    std::mutex lock_;
    std::vector<uint8_t> bytes_;
};

struct WrittenSector {
    uint64_t offset;
    std::vector<uint8_t> bytes;
};

class RecordingDisk : public host::Disk {
public:
    explicit RecordingDisk(std::shared_ptr<host::Disk> inner) : inner_(std::move(inner)) {}

    uint64_t Size() const override { return inner_->Size(); }
    std::vector<WrittenSector> Writes() const;
    size_t Reads() const;

    // Runs after every successful write, with the bytes written.
    void OnWrite(std::function<void(const WrittenSector&)> hook) { hook_ = std::move(hook); }

protected:
    bool ReadAt(uint64_t offset, void* buffer, size_t length) override;
    bool WriteAt(uint64_t offset, const void* buffer, size_t length) override;

private:
    std::shared_ptr<host::Disk> inner_;
    mutable std::mutex lock_;
    std::vector<WrittenSector> writes_;
    size_t reads_ = 0;
    std::function<void(const WrittenSector&)> hook_;
};

}  // namespace testing_support
