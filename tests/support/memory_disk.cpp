#include "tests/support/memory_disk.h"

namespace testing_support {

void MemoryDisk::WriteIdentification(uint8_t model0, uint8_t model1, uint8_t frameReady) {
    uint8_t* status = At(0x20000);
    std::memset(status, 0, 512);
    std::memcpy(status, "QUELMA", 6);
    status[26] = model0;
    status[27] = model1;
    status[256] = frameReady;
}

bool MemoryDisk::ReadAt(uint64_t offset, void* buffer, size_t length) {
    std::lock_guard<std::mutex> lock(lock_);
    if (offset > bytes_.size() || length > bytes_.size() - offset) {
        return false;
    }
    std::memcpy(buffer, bytes_.data() + offset, length);
    return true;
}

bool MemoryDisk::WriteAt(uint64_t offset, const void* buffer, size_t length) {
    std::lock_guard<std::mutex> lock(lock_);
    if (offset > bytes_.size() || length > bytes_.size() - offset) {
        return false;
    }
    std::memcpy(bytes_.data() + offset, buffer, length);
    return true;
}

std::vector<WrittenSector> RecordingDisk::Writes() const {
    std::lock_guard<std::mutex> lock(lock_);
    return writes_;
}

size_t RecordingDisk::Reads() const {
    std::lock_guard<std::mutex> lock(lock_);
    return reads_;
}

bool RecordingDisk::ReadAt(uint64_t offset, void* buffer, size_t length) {
    {
        std::lock_guard<std::mutex> lock(lock_);
        ++reads_;
    }
    return inner_->Read(offset, buffer, length);
}

bool RecordingDisk::WriteAt(uint64_t offset, const void* buffer, size_t length) {
    if (!inner_->Write(offset, buffer, length)) {
        return false;
    }
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    WrittenSector written{offset, std::vector<uint8_t>(bytes, bytes + length)};
    {
        std::lock_guard<std::mutex> lock(lock_);
        writes_.push_back(written);
    }
    if (hook_) {
        hook_(written);
    }
    return true;
}

}  // namespace testing_support
