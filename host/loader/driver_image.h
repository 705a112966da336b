// A driver image mapped and bound as the Windows kernel's image loader does:
// the file checked, the image mapped away from its preferred base, relocated,
// its imports bound to the host's exports, its parts protected as its
// section characteristics say, and its function symbols kept so that faults
// and addresses inside it can be named.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <ntddk.h>

#include "host/loader/fault_report.h"
#include "host/loader/image_mapping.h"
#include "host/loader/kernel_exports.h"
#include "host/loader/symbols.h"

namespace host {

class DriverImage {
public:
    // Maps and binds the image at path. On failure returns null with *status
    // the Windows status and *error one line naming the problem; nothing of
    // the image stays mapped.
    static std::unique_ptr<DriverImage> Load(const std::string& path, NTSTATUS* status,
                                             std::string* error);

    DriverImage(const DriverImage&) = delete;
    DriverImage& operator=(const DriverImage&) = delete;
    ~DriverImage();  // unmaps

    PDRIVER_INITIALIZE Entry() const;
    void* EntryAddress() const;
    const std::string& Name() const { return name_; }  // the file name, e.g. "diskcam.sys"
    uintptr_t Base() const { return reinterpret_cast<uintptr_t>(mapping_.Base()); }
    size_t Size() const { return mapping_.Size(); }
    uintptr_t PreferredBase() const { return preferredBase_; }
    bool Contains(const void* address) const;

    // Writes "diskcam.sys+0x1a2b (Function+0x1f)", without the parenthesis
    // when no function holds the address, or the bare address outside the
    // image, NUL-terminated and cut to size. Returns the characters written,
    // not counting the NUL, so that callers can append. Async-signal-safe.
    size_t Describe(const void* address, char* buffer, size_t size) const;
    std::string Describe(const void* address) const;

    // The name of the section holding address, "headers" for the headers;
    // null outside the image and between sections. Async-signal-safe.
    const char* SectionName(const void* address) const;

    // "module!name" of every import, in the image's order.
    std::vector<std::string> Imports() const { return imports_; }

private:
    explicit DriverImage(std::string name);
    NTSTATUS Map(const std::string& path, std::string* error);
    // Reserves, fills, relocates, binds and protects the image's memory.
    NTSTATUS MapSections(const std::vector<uint8_t>& file, const loader::ImageHeaders& headers,
                         std::string* error);

    std::string name_;
    loader::ImageMapping mapping_;
    uintptr_t preferredBase_ = 0;
    uint32_t entryPoint_ = 0;
    uint32_t headersSize_ = 0;
    uint32_t sectionAlignment_ = 0;
    std::vector<loader::ImageSection> sections_;
    loader::SymbolTable symbols_;
    std::vector<std::string> imports_;
};

}  // namespace host
