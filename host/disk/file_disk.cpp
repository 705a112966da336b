// FileDisk: pread/pwrite on regular files; block devices opened with O_DIRECT
// and served through an aligned bounce buffer, whole blocks at a time.
#include "host/disk/file_disk.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <system_error>

namespace host {

namespace {

[[noreturn]] void ThrowForPath(int error, const std::string& what, const std::string& path) {
    throw std::system_error(error, std::generic_category(), what + " " + path);
}

// pread and pwrite may transfer less than asked; loop until all is done or
// the file ends. `transfer` is one pread or pwrite call.
template <typename Byte, typename Transfer>
bool TransferFully(Byte* buffer, size_t length, uint64_t offset, Transfer transfer) {
    while (length > 0) {
        ssize_t done = transfer(buffer, length, static_cast<off_t>(offset));
        if (done < 0 && errno == EINTR) {
            continue;
        }
        if (done <= 0) {
            return false;
        }
        buffer += done;
        length -= static_cast<size_t>(done);
        offset += static_cast<uint64_t>(done);
    }
    return true;
}

bool ReadFully(int fd, unsigned char* buffer, size_t length, uint64_t offset) {
    return TransferFully(buffer, length, offset, [fd](unsigned char* at, size_t bytes, off_t from) {
        return pread(fd, at, bytes, from);
    });
}

bool WriteFully(int fd, const unsigned char* buffer, size_t length, uint64_t offset) {
    return TransferFully(buffer, length, offset,
                         [fd](const unsigned char* at, size_t bytes, off_t from) {
                             return pwrite(fd, at, bytes, from);
                         });
}

}  // namespace

void FileDisk::FreeDeleter::operator()(void* memory) const {
    std::free(memory);
}

FileDisk::FileDisk(const std::string& path) : path_(path) {
    struct stat status {};
    if (stat(path.c_str(), &status) != 0) {
        ThrowForPath(errno, "cannot open", path);
    }
    if (S_ISBLK(status.st_mode)) {
        OpenBlockDevice();
        return;
    }
    if (!S_ISREG(status.st_mode)) {
        ThrowForPath(ENODEV, "not a regular file or block device:", path);
    }
    fd_ = open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd_ < 0) {
        ThrowForPath(errno, "cannot open", path);
    }
    if (fstat(fd_, &status) != 0) {
        int error = errno;
        close(fd_);
        ThrowForPath(error, "cannot stat", path);
    }
    size_ = static_cast<uint64_t>(status.st_size);
}

FileDisk::~FileDisk() {
    close(fd_);
}

void FileDisk::OpenBlockDevice() {
    fd_ = open(path_.c_str(), O_RDWR | O_DIRECT | O_CLOEXEC);
    if (fd_ < 0) {
        ThrowForPath(errno, "cannot open", path_);
    }
    int logicalBlockSize = 0;
    if (ioctl(fd_, BLKSSZGET, &logicalBlockSize) != 0 || logicalBlockSize <= 0 ||
        ioctl(fd_, BLKGETSIZE64, &size_) != 0) {
        int error = errno != 0 ? errno : EINVAL;
        close(fd_);
        ThrowForPath(error, "cannot query the geometry of", path_);
    }
    blockSize_ = static_cast<size_t>(logicalBlockSize);
}

bool FileDisk::ReadAt(uint64_t offset, void* buffer, size_t length) {
    if (IsBlockDevice()) {
        return ReadBlocks(offset, buffer, length);
    }
    return ReadFully(fd_, static_cast<unsigned char*>(buffer), length, offset);
}

bool FileDisk::WriteAt(uint64_t offset, const void* buffer, size_t length) {
    if (IsBlockDevice()) {
        return WriteBlocks(offset, buffer, length);
    }
    return WriteFully(fd_, static_cast<const unsigned char*>(buffer), length, offset);
}

// O_DIRECT needs the buffer, the offset and the length aligned to the logical
// block size: read the covering blocks and copy out the part asked for.
bool FileDisk::ReadBlocks(uint64_t offset, void* buffer, size_t length) {
    if (length == 0) {
        return true;
    }
    uint64_t first = offset / blockSize_ * blockSize_;
    uint64_t end = (offset + length + blockSize_ - 1) / blockSize_ * blockSize_;
    size_t span = static_cast<size_t>(end - first);

    std::lock_guard<std::mutex> lock(bounceLock_);
    unsigned char* bounce = BounceBuffer(span);
    if (bounce == nullptr || !ReadFully(fd_, bounce, span, first)) {
        return false;
    }
    std::memcpy(buffer, bounce + (offset - first), length);
    return true;
}

// Partial first and last blocks are read first so that the bytes around the
// transfer keep their contents (read-modify-write).
bool FileDisk::WriteBlocks(uint64_t offset, const void* buffer, size_t length) {
    if (length == 0) {
        return true;
    }
    uint64_t first = offset / blockSize_ * blockSize_;
    uint64_t end = (offset + length + blockSize_ - 1) / blockSize_ * blockSize_;
    size_t span = static_cast<size_t>(end - first);

    std::lock_guard<std::mutex> lock(bounceLock_);
    unsigned char* bounce = BounceBuffer(span);
    if (bounce == nullptr) {
        return false;
    }
    if (offset != first && !ReadFully(fd_, bounce, blockSize_, first)) {
        return false;
    }
    uint64_t lastBlock = end - blockSize_;
    bool tailPartial = offset + length != end;
    bool tailAlreadyRead = lastBlock == first && offset != first;
    if (tailPartial && !tailAlreadyRead &&
        !ReadFully(fd_, bounce + (lastBlock - first), blockSize_, lastBlock)) {
        return false;
    }
    std::memcpy(bounce + (offset - first), buffer, length);
    return WriteFully(fd_, bounce, span, first);
}

// Caller holds bounceLock_. Page alignment satisfies the block size and any
// stricter DMA alignment of the device.
unsigned char* FileDisk::BounceBuffer(size_t length) {
    if (length <= bounceLength_) {
        return bounce_.get();
    }
    size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    size_t alignment = std::max(blockSize_, page);
    size_t rounded = (length + alignment - 1) / alignment * alignment;
    bounce_.reset(static_cast<unsigned char*>(std::aligned_alloc(alignment, rounded)));
    bounceLength_ = bounce_ ? rounded : 0;
    return bounce_.get();
}

}  // namespace host
