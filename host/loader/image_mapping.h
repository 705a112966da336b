// The memory of a loaded image: one private reservation of SizeOfImage bytes
// away from the image's preferred base, the headers and sections copied to
// their addresses, and each part's protection set from its characteristics.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "host/loader/image_headers.h"

namespace host::loader {

// Owns the reservation; unmaps it on destruction.
class ImageMapping {
public:
    ImageMapping() = default;
    ImageMapping(const ImageMapping&) = delete;
    ImageMapping& operator=(const ImageMapping&) = delete;
    ImageMapping(ImageMapping&& other) noexcept;
    ImageMapping& operator=(ImageMapping&& other) noexcept;
    ~ImageMapping();

    // Reserves size zeroed bytes, readable and writable, anywhere but at
    // avoid. False when the host has no room.
    bool Reserve(size_t size, uintptr_t avoid);

    uint8_t* Base() const { return base_; }
    size_t Size() const { return size_; }

private:
    void Release();

    uint8_t* base_ = nullptr;
    size_t size_ = 0;
};

// Copies the headers and every section's raw data to its address; the rest
// of each section is zero.
void CopyImage(const std::vector<uint8_t>& file, const ImageHeaders& headers, uint8_t* base);

// Code read and execute, writable data read and write, everything else of
// the headers and sections read-only, gaps inaccessible. False when the host
// refuses a protection change.
bool ProtectImage(const ImageHeaders& headers, uint8_t* base);

}  // namespace host::loader
