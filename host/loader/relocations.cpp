// Walking the relocation directory block by block: each block names a page
// and holds 16-bit entries, a type in the top four bits and the offset in
// the page in the other twelve.
#include "host/loader/relocations.h"

#include <cstring>

#include "host/loader/load_error.h"

namespace host::loader {
namespace {

constexpr NTSTATUS Invalid = STATUS_INVALID_IMAGE_FORMAT;

NTSTATUS ApplyBlock(const ImageBaseRelocation& block, uint32_t blockAddress, uint8_t* base,
                    uint32_t imageSize, uint64_t delta, const char* name, std::string* error) {
    if (block.VirtualAddress >= imageSize) {
        return Refuse(Invalid, error,
                      "%s: relocation block at 0x%x is for page 0x%x, outside the image (0x%x "
                      "bytes)",
                      name, blockAddress, block.VirtualAddress, imageSize);
    }
    uint32_t entries = (block.SizeOfBlock - sizeof block) / sizeof(uint16_t);
    for (uint32_t i = 0; i < entries; ++i) {
        uint16_t entry;
        std::memcpy(&entry, base + blockAddress + sizeof block + i * sizeof entry, sizeof entry);
        uint16_t type = entry >> 12;
        uint64_t target = uint64_t{block.VirtualAddress} + (entry & 0xFFF);
        if (type == RelocationAbsolute) {
            continue;
        }
        if (type != RelocationDir64) {
            return Refuse(Invalid, error,
                          "%s: relocation type %u at 0x%llx is not supported (only DIR64 and "
                          "ABSOLUTE)",
                          name, type, static_cast<unsigned long long>(target));
        }
        if (target + sizeof(uint64_t) > imageSize) {
            return Refuse(Invalid, error,
                          "%s: relocation at 0x%llx lies outside the image (0x%x bytes)", name,
                          static_cast<unsigned long long>(target), imageSize);
        }
        uint64_t address;
        std::memcpy(&address, base + target, sizeof address);
        address += delta;
        std::memcpy(base + target, &address, sizeof address);
    }
    return STATUS_SUCCESS;
}

}  // namespace

NTSTATUS ApplyRelocations(const ImageHeaders& headers, uint8_t* base, const std::string& name,
                          std::string* error) {
    const ImageOptionalHeader64& optional = headers.optional;
    const ImageDataDirectory& directory = optional.DataDirectory[DirectoryBaseRelocation];
    uint64_t delta = reinterpret_cast<uintptr_t>(base) - optional.ImageBase;
    if (directory.Size == 0) {
        return Refuse(Invalid, error,
                      "%s: has no relocations and cannot load away from its preferred base "
                      "0x%llx",
                      name.c_str(), static_cast<unsigned long long>(optional.ImageBase));
    }
    // The directory lies inside the image: the header checks saw to that.
    uint32_t offset = directory.VirtualAddress;
    uint32_t end = directory.VirtualAddress + directory.Size;
    while (offset < end) {
        ImageBaseRelocation block;
        if (end - offset < sizeof block) {
            return Refuse(Invalid, error, "%s: relocation block at 0x%x is cut off at 0x%x",
                          name.c_str(), offset, end);
        }
        std::memcpy(&block, base + offset, sizeof block);
        if (block.SizeOfBlock < sizeof block || block.SizeOfBlock % sizeof(uint16_t) != 0 ||
            block.SizeOfBlock > end - offset) {
            return Refuse(Invalid, error,
                          "%s: relocation block at 0x%x has a bad size 0x%x (0x%x bytes left)",
                          name.c_str(), offset, block.SizeOfBlock, end - offset);
        }
        NTSTATUS status =
            ApplyBlock(block, offset, base, optional.SizeOfImage, delta, name.c_str(), error);
        if (!NT_SUCCESS(status)) {
            return status;
        }
        offset += block.SizeOfBlock;
    }
    return STATUS_SUCCESS;
}

}  // namespace host::loader
