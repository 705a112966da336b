// FileDisk: a regular file or a Linux block device served as a disk. A real
// camera plugged into a Linux machine is such a block device; its status
// sector changes under any cache, so block devices bypass the page cache.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "host/disk/disk.h"

namespace host {

class FileDisk : public Disk {
public:
    // Opens `path` read-write; a regular file's size is taken now. Throws std::system_error naming
    // the path when it cannot be opened or is neither a regular file nor a block device.
    explicit FileDisk(const std::string& path);
    ~FileDisk() override;

    FileDisk(const FileDisk&) = delete;
    FileDisk& operator=(const FileDisk&) = delete;

    uint64_t Size() const override { return size_; }
    bool IsBlockDevice() const { return blockSize_ != 0; }
    // The logical block size of a block device; 0 for a regular file.
    size_t BlockSize() const { return blockSize_; }
    const std::string& Path() const { return path_; }

protected:
    bool ReadAt(uint64_t offset, void* buffer, size_t length) override;
    bool WriteAt(uint64_t offset, const void* buffer, size_t length) override;

private:
    struct FreeDeleter {
        void operator()(void* memory) const;
    };

    void OpenBlockDevice();
    bool ReadBlocks(uint64_t offset, void* buffer, size_t length);
    bool WriteBlocks(uint64_t offset, const void* buffer, size_t length);
    unsigned char* BounceBuffer(size_t length);

    std::string path_;
    int fd_ = -1;
    uint64_t size_ = 0;
    size_t blockSize_ = 0;

    // Block devices only: the aligned buffer every transfer goes through.
    // Held for the whole transfer, which also keeps the read-modify-write of
    // partial blocks atomic against other writers.
    std::mutex bounceLock_;
    std::unique_ptr<unsigned char, FreeDeleter> bounce_;
    size_t bounceLength_ = 0;
};

}  // namespace host
