// Walking the import directory: one descriptor per module, each with a name
// table of hint/name entries and the address table the loader fills.
#include "host/loader/imports.h"

#include <cstring>

#include "host/loader/kernel_exports.h"
#include "host/loader/load_error.h"

namespace host::loader {
namespace {

constexpr NTSTATUS Invalid = STATUS_INVALID_IMAGE_FORMAT;

// The mapped image and the name it is reported under.
struct Image {
    uint8_t* base;
    uint32_t size;
    const char* name;
};

// The NUL-terminated string at address; false when it runs off the image.
bool ReadString(const Image& image, uint64_t address, std::string* text) {
    if (address >= image.size) {
        return false;
    }
    const char* start = reinterpret_cast<const char*>(image.base + address);
    size_t length = strnlen(start, image.size - address);
    if (address + length == image.size) {
        return false;
    }
    text->assign(start, length);
    return true;
}

NTSTATUS BindRoutine(const Image& image, const std::string& module, uint64_t entry,
                     uint64_t slotAddress, std::vector<std::string>* imports, std::string* error) {
    if ((entry & ImportByOrdinal) != 0) {
        return Refuse(STATUS_ORDINAL_NOT_FOUND, error,
                      "%s imports %s ordinal %llu, which the host does not export", image.name,
                      module.c_str(), static_cast<unsigned long long>(entry & 0xFFFF));
    }
    std::string routine;
    // A hint/name entry: a 16-bit export hint, then the name.
    if (!ReadString(image, entry + sizeof(uint16_t), &routine)) {
        return Refuse(Invalid, error,
                      "%s: import from %s names 0x%llx, not a string inside the image", image.name,
                      module.c_str(), static_cast<unsigned long long>(entry));
    }
    void* address = FindKernelExport(module, routine);
    if (address == nullptr) {
        return Refuse(STATUS_PROCEDURE_NOT_FOUND, error,
                      "%s imports %s!%s, which the host does not export", image.name,
                      module.c_str(), routine.c_str());
    }
    std::memcpy(image.base + slotAddress, &address, sizeof address);
    imports->push_back(module + "!" + routine);
    return STATUS_SUCCESS;
}

NTSTATUS BindModule(const Image& image, const ImageImportDescriptor& descriptor,
                    std::vector<std::string>* imports, std::string* error) {
    std::string module;
    if (!ReadString(image, descriptor.Name, &module)) {
        return Refuse(Invalid, error, "%s: imported module name at 0x%x lies outside the image",
                      image.name, descriptor.Name);
    }
    if (!IsKernelModule(module)) {
        return Refuse(STATUS_DLL_NOT_FOUND, error,
                      "%s imports from %s, which the host does not provide", image.name,
                      module.c_str());
    }
    uint64_t names =
        descriptor.OriginalFirstThunk != 0 ? descriptor.OriginalFirstThunk : descriptor.FirstThunk;
    uint64_t slots = descriptor.FirstThunk;
    for (uint64_t offset = 0;; offset += sizeof(uint64_t)) {
        uint64_t entry;
        if (!ReadRecord(image.base, image.size, names + offset, &entry) ||
            slots + offset + sizeof entry > image.size) {
            return Refuse(Invalid, error, "%s: import tables of %s run outside the image",
                          image.name, module.c_str());
        }
        if (entry == 0) {
            return STATUS_SUCCESS;
        }
        NTSTATUS status = BindRoutine(image, module, entry, slots + offset, imports, error);
        if (!NT_SUCCESS(status)) {
            return status;
        }
    }
}

}  // namespace

NTSTATUS BindImports(const ImageHeaders& headers, uint8_t* base, const std::string& name,
                     std::vector<std::string>* imports, std::string* error) {
    const ImageDataDirectory& directory = headers.optional.DataDirectory[DirectoryImport];
    Image image{base, headers.optional.SizeOfImage, name.c_str()};
    if (directory.Size == 0) {
        return STATUS_SUCCESS;
    }
    for (uint64_t address = directory.VirtualAddress;; address += sizeof(ImageImportDescriptor)) {
        ImageImportDescriptor descriptor;
        if (!ReadRecord(image.base, image.size, address, &descriptor)) {
            return Refuse(Invalid, error, "%s: import descriptor at 0x%llx lies outside the image",
                          image.name, static_cast<unsigned long long>(address));
        }
        if (descriptor.Name == 0 && descriptor.FirstThunk == 0) {
            return STATUS_SUCCESS;
        }
        NTSTATUS status = BindModule(image, descriptor, imports, error);
        if (!NT_SUCCESS(status)) {
            return status;
        }
    }
}

}  // namespace host::loader
