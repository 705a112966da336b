// Reserving, filling and protecting an image's memory.
#include "host/loader/image_mapping.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstring>

namespace host::loader {
namespace {

size_t PageSize() {
    return static_cast<size_t>(sysconf(_SC_PAGESIZE));
}

size_t RoundUp(size_t value, size_t alignment) {
    return (value + alignment - 1) & ~(alignment - 1);
}

uint8_t* MapAnywhere(size_t size) {
    void* memory = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    return memory == MAP_FAILED ? nullptr : static_cast<uint8_t*>(memory);
}

int SectionProtection(uint32_t characteristics) {
    if ((characteristics & SectionExecute) != 0) {
        return PROT_READ | PROT_EXEC;
    }
    if ((characteristics & SectionWrite) != 0) {
        return PROT_READ | PROT_WRITE;
    }
    return PROT_READ;
}

}  // namespace

ImageMapping::ImageMapping(ImageMapping&& other) noexcept : base_(other.base_), size_(other.size_) {
    other.base_ = nullptr;
    other.size_ = 0;
}

ImageMapping& ImageMapping::operator=(ImageMapping&& other) noexcept {
    if (this != &other) {
        Release();
        base_ = other.base_;
        size_ = other.size_;
        other.base_ = nullptr;
        other.size_ = 0;
    }
    return *this;
}

ImageMapping::~ImageMapping() {
    Release();
}

void ImageMapping::Release() {
    if (base_ != nullptr) {
        munmap(base_, size_);
        base_ = nullptr;
        size_ = 0;
    }
}

bool ImageMapping::Reserve(size_t size, uintptr_t avoid) {
    Release();
    uint8_t* memory = MapAnywhere(size);
    if (memory != nullptr && reinterpret_cast<uintptr_t>(memory) == avoid) {
        // A driver must work wherever it lands; holding the first reservation
        // makes the kernel choose another address for the second.
        uint8_t* elsewhere = MapAnywhere(size);
        munmap(memory, size);
        memory = elsewhere;
    }
    if (memory == nullptr) {
        return false;
    }
    base_ = memory;
    size_ = size;
    return true;
}

void CopyImage(const std::vector<uint8_t>& file, const ImageHeaders& headers, uint8_t* base) {
    std::memcpy(base, file.data(), headers.optional.SizeOfHeaders);
    for (const ImageSection& section : headers.sections) {
        uint8_t* destination = base + section.virtualAddress;
        std::memcpy(destination, file.data() + section.rawOffset, section.copiedSize);
        std::memset(destination + section.copiedSize, 0, section.virtualSize - section.copiedSize);
    }
}

bool ProtectImage(const ImageHeaders& headers, uint8_t* base) {
    size_t pageSize = PageSize();
    if (mprotect(base, headers.optional.SizeOfImage, PROT_NONE) != 0 ||
        mprotect(base, RoundUp(headers.optional.SizeOfHeaders, pageSize), PROT_READ) != 0) {
        return false;
    }
    for (const ImageSection& section : headers.sections) {
        if (mprotect(base + section.virtualAddress, RoundUp(section.virtualSize, pageSize),
                     SectionProtection(section.characteristics)) != 0) {
            return false;
        }
    }
    return true;
}

}  // namespace host::loader
