// Checking a PE32+ file's headers and section table as the kernel's image
// loader does, every offset and size against the file and the image before
// it is used.
#include "host/loader/image_headers.h"

#include <unistd.h>

#include <cstring>

#include "host/loader/load_error.h"

namespace host::loader {
namespace {

constexpr NTSTATUS Invalid = STATUS_INVALID_IMAGE_FORMAT;
constexpr uint32_t MaximumSections = 96;
// Far above any driver; keeps a damaged SizeOfImage from reserving gigabytes.
constexpr uint32_t MaximumImageSize = 256u << 20;
constexpr uint32_t MinimumFileAlignment = 0x200;
constexpr uint32_t MaximumFileAlignment = 0x10000;

const char* const DirectoryNames[DataDirectoryCount] = {
    "export",          // 0
    "import",          // 1
    "resource",        // 2
    "exception",       // 3
    "security",        // 4
    "relocation",      // 5
    "debug",           // 6
    "architecture",    // 7
    "global pointer",  // 8
    "TLS",             // 9
    "load config",     // 10
    "bound import",    // 11
    "import address",  // 12
    "delay import",    // 13
    "COM runtime",     // 14
    "reserved",        // 15
};

bool IsPowerOfTwo(uint64_t value) {
    return value != 0 && (value & (value - 1)) == 0;
}

uint64_t RoundUp(uint64_t value, uint64_t alignment) {
    return (value + alignment - 1) & ~(alignment - 1);
}

// Sets *fileHeaderOffset to where the file header follows the PE signature.
NTSTATUS ReadFileHeader(const std::vector<uint8_t>& file, const char* name, ImageHeaders* headers,
                        uint64_t* fileHeaderOffset, std::string* error) {
    ImageDosHeader dos;
    if (!ReadRecord(file.data(), file.size(), 0, &dos)) {
        return Refuse(Invalid, error, "%s: the file is 0x%zx bytes, too short for a DOS header",
                      name, file.size());
    }
    if (dos.e_magic != DosSignature) {
        return Refuse(Invalid, error, "%s: no MZ signature at the start of the file", name);
    }
    if (dos.e_lfanew < sizeof(ImageDosHeader)) {
        return Refuse(Invalid, error, "%s: e_lfanew 0x%x points into the DOS header", name,
                      dos.e_lfanew);
    }
    uint32_t signature;
    if (!ReadRecord(file.data(), file.size(), dos.e_lfanew, &signature) ||
        !ReadRecord(file.data(), file.size(), dos.e_lfanew + 4ull, &headers->file)) {
        return Refuse(Invalid, error,
                      "%s: e_lfanew 0x%x puts the PE headers outside the file (0x%zx bytes)", name,
                      dos.e_lfanew, file.size());
    }
    if (signature != PeSignature) {
        return Refuse(Invalid, error, "%s: no PE signature at e_lfanew 0x%x", name, dos.e_lfanew);
    }
    if (headers->file.Machine != MachineAmd64) {
        return Refuse(Invalid, error, "%s: machine 0x%x is not AMD64 (0x8664)", name,
                      headers->file.Machine);
    }
    if ((headers->file.Characteristics & FileExecutableImage) == 0) {
        return Refuse(Invalid, error, "%s: not marked as an executable image", name);
    }
    *fileHeaderOffset = dos.e_lfanew + 4ull;
    return STATUS_SUCCESS;
}

NTSTATUS ReadOptionalHeader(const std::vector<uint8_t>& file, const char* name,
                            uint64_t optionalOffset, ImageHeaders* headers, std::string* error) {
    ImageOptionalHeader64& optional = headers->optional;
    std::memset(&optional, 0, sizeof optional);
    uint16_t declaredSize = headers->file.SizeOfOptionalHeader;
    if (declaredSize < OptionalHeaderFixedSize) {
        return Refuse(Invalid, error,
                      "%s: SizeOfOptionalHeader 0x%x is smaller than a PE32+ optional header "
                      "(0x%zx)",
                      name, declaredSize, OptionalHeaderFixedSize);
    }
    if (optionalOffset + declaredSize > file.size()) {
        return Refuse(Invalid, error,
                      "%s: optional header 0x%llx..0x%llx lies outside the file (0x%zx bytes)",
                      name, static_cast<unsigned long long>(optionalOffset),
                      static_cast<unsigned long long>(optionalOffset + declaredSize), file.size());
    }
    std::memcpy(&optional, file.data() + optionalOffset, OptionalHeaderFixedSize);
    if (optional.Magic != OptionalHeaderMagicPe32Plus) {
        return Refuse(Invalid, error, "%s: optional header magic 0x%x is not PE32+ (0x20b)", name,
                      optional.Magic);
    }
    uint32_t directories = optional.NumberOfRvaAndSizes;
    if (directories > DataDirectoryCount ||
        declaredSize < OptionalHeaderFixedSize + directories * sizeof(ImageDataDirectory)) {
        return Refuse(Invalid, error,
                      "%s: NumberOfRvaAndSizes %u does not fit SizeOfOptionalHeader 0x%x", name,
                      directories, declaredSize);
    }
    std::memcpy(optional.DataDirectory, file.data() + optionalOffset + OptionalHeaderFixedSize,
                directories * sizeof(ImageDataDirectory));
    return STATUS_SUCCESS;
}

NTSTATUS CheckLayout(const char* name, const ImageOptionalHeader64& optional, std::string* error) {
    uint64_t pageSize = static_cast<uint64_t>(sysconf(_SC_PAGESIZE));
    if (!IsPowerOfTwo(optional.SectionAlignment) || optional.SectionAlignment < pageSize) {
        return Refuse(Invalid, error,
                      "%s: SectionAlignment 0x%x is not a power of two of at least the page "
                      "size (0x%llx)",
                      name, optional.SectionAlignment, static_cast<unsigned long long>(pageSize));
    }
    if (!IsPowerOfTwo(optional.FileAlignment) || optional.FileAlignment < MinimumFileAlignment ||
        optional.FileAlignment > MaximumFileAlignment ||
        optional.FileAlignment > optional.SectionAlignment) {
        return Refuse(Invalid, error,
                      "%s: FileAlignment 0x%x is not a power of two from 0x200 to 0x10000 and "
                      "at most SectionAlignment 0x%x",
                      name, optional.FileAlignment, optional.SectionAlignment);
    }
    if (optional.SizeOfImage == 0 || optional.SizeOfImage % optional.SectionAlignment != 0) {
        return Refuse(Invalid, error,
                      "%s: SizeOfImage 0x%x is not a non-zero multiple of SectionAlignment 0x%x",
                      name, optional.SizeOfImage, optional.SectionAlignment);
    }
    if (optional.SizeOfImage > MaximumImageSize) {
        return Refuse(Invalid, error, "%s: SizeOfImage 0x%x is larger than the host maps (0x%x)",
                      name, optional.SizeOfImage, MaximumImageSize);
    }
    if (optional.SizeOfHeaders > optional.SizeOfImage) {
        return Refuse(Invalid, error, "%s: SizeOfHeaders 0x%x exceeds SizeOfImage 0x%x", name,
                      optional.SizeOfHeaders, optional.SizeOfImage);
    }
    return STATUS_SUCCESS;
}

void FindStringTable(const std::vector<uint8_t>& file, ImageHeaders* headers) {
    if (headers->file.PointerToSymbolTable == 0) {
        return;
    }
    uint64_t offset = headers->file.PointerToSymbolTable +
                      uint64_t{headers->file.NumberOfSymbols} * CoffSymbolSize;
    uint32_t size;
    if (ReadRecord(file.data(), file.size(), offset, &size) && size >= sizeof size &&
        size <= file.size() - offset) {
        headers->stringTableOffset = offset;
        headers->stringTableSize = size;
    }
}

std::string SectionName(const std::vector<uint8_t>& file, const ImageHeaders& headers,
                        const ImageSectionHeader& section) {
    std::string name(section.Name, strnlen(section.Name, SectionNameSize));
    if (name.size() < 2 || name[0] != '/') {
        return name;
    }
    uint32_t offset = 0;
    for (size_t i = 1; i < name.size(); ++i) {
        if (name[i] < '0' || name[i] > '9') {
            return name;
        }
        offset = offset * 10 + static_cast<uint32_t>(name[i] - '0');
    }
    std::string longName = StringTableEntry(file, headers, offset);
    return longName.empty() ? name : longName;
}

NTSTATUS CheckSection(const std::vector<uint8_t>& file, const char* name,
                      const ImageHeaders& headers, const ImageSectionHeader& raw,
                      uint64_t firstFreeAddress, ImageSection* section, std::string* error) {
    const ImageOptionalHeader64& optional = headers.optional;
    const char* sectionName = section->name.c_str();
    if (raw.SizeOfRawData != 0 &&
        uint64_t{raw.PointerToRawData} + raw.SizeOfRawData > file.size()) {
        return Refuse(Invalid, error,
                      "%s: section %s's raw data 0x%x..0x%llx lies outside the file (0x%zx "
                      "bytes)",
                      name, sectionName, raw.PointerToRawData,
                      static_cast<unsigned long long>(raw.PointerToRawData) + raw.SizeOfRawData,
                      file.size());
    }
    uint32_t extent = raw.VirtualSize != 0 ? raw.VirtualSize : raw.SizeOfRawData;
    uint64_t end = uint64_t{raw.VirtualAddress} + extent;
    if (end > optional.SizeOfImage) {
        return Refuse(Invalid, error, "%s: section %s 0x%x..0x%llx lies outside SizeOfImage 0x%x",
                      name, sectionName, raw.VirtualAddress, static_cast<unsigned long long>(end),
                      optional.SizeOfImage);
    }
    if (raw.VirtualAddress % optional.SectionAlignment != 0) {
        return Refuse(Invalid, error, "%s: section %s at 0x%x is not aligned to 0x%x", name,
                      sectionName, raw.VirtualAddress, optional.SectionAlignment);
    }
    if (raw.VirtualAddress < firstFreeAddress) {
        return Refuse(Invalid, error,
                      "%s: section %s at 0x%x overlaps the headers or the section before it", name,
                      sectionName, raw.VirtualAddress);
    }
    if ((raw.Characteristics & SectionWrite) != 0 && (raw.Characteristics & SectionExecute) != 0) {
        return Refuse(Invalid, error, "%s: section %s is both writable and executable", name,
                      sectionName);
    }
    section->virtualAddress = raw.VirtualAddress;
    section->virtualSize = extent;
    section->rawOffset = raw.PointerToRawData;
    section->copiedSize = raw.SizeOfRawData < extent ? raw.SizeOfRawData : extent;
    section->characteristics = raw.Characteristics;
    return STATUS_SUCCESS;
}

NTSTATUS ReadSections(const std::vector<uint8_t>& file, const char* name,
                      uint64_t sectionTableOffset, ImageHeaders* headers, std::string* error) {
    uint32_t count = headers->file.NumberOfSections;
    if (count == 0 || count > MaximumSections) {
        return Refuse(Invalid, error, "%s: %u sections, not 1 to %u", name, count, MaximumSections);
    }
    uint64_t tableEnd = sectionTableOffset + uint64_t{count} * sizeof(ImageSectionHeader);
    if (tableEnd > file.size()) {
        return Refuse(Invalid, error,
                      "%s: section table 0x%llx..0x%llx lies outside the file (0x%zx bytes)", name,
                      static_cast<unsigned long long>(sectionTableOffset),
                      static_cast<unsigned long long>(tableEnd), file.size());
    }
    if (headers->optional.SizeOfHeaders < tableEnd ||
        headers->optional.SizeOfHeaders > file.size()) {
        return Refuse(Invalid, error,
                      "%s: SizeOfHeaders 0x%x does not cover the section table (0x%llx) within "
                      "the file",
                      name, headers->optional.SizeOfHeaders,
                      static_cast<unsigned long long>(tableEnd));
    }
    FindStringTable(file, headers);
    uint64_t firstFree =
        RoundUp(headers->optional.SizeOfHeaders, headers->optional.SectionAlignment);
    for (uint32_t i = 0; i < count; ++i) {
        ImageSectionHeader raw;
        ReadRecord(file.data(), file.size(), sectionTableOffset + i * sizeof raw, &raw);
        ImageSection section;
        section.name = SectionName(file, *headers, raw);
        NTSTATUS status = CheckSection(file, name, *headers, raw, firstFree, &section, error);
        if (!NT_SUCCESS(status)) {
            return status;
        }
        firstFree = RoundUp(uint64_t{section.virtualAddress} + section.virtualSize,
                            headers->optional.SectionAlignment);
        headers->sections.push_back(std::move(section));
    }
    return STATUS_SUCCESS;
}

NTSTATUS CheckEntryPoint(const char* name, const ImageHeaders& headers, std::string* error) {
    uint32_t entry = headers.optional.AddressOfEntryPoint;
    for (const ImageSection& section : headers.sections) {
        if ((section.characteristics & SectionExecute) != 0 && entry >= section.virtualAddress &&
            entry - section.virtualAddress < section.virtualSize) {
            return STATUS_SUCCESS;
        }
    }
    return Refuse(Invalid, error, "%s: entry point 0x%x lies in no executable section", name,
                  entry);
}

NTSTATUS CheckDirectories(const char* name, const ImageHeaders& headers, std::string* error) {
    const ImageOptionalHeader64& optional = headers.optional;
    for (uint32_t i = 0; i < DataDirectoryCount; ++i) {
        const ImageDataDirectory& directory = optional.DataDirectory[i];
        uint64_t end = uint64_t{directory.VirtualAddress} + directory.Size;
        if (i != DirectorySecurity && directory.Size != 0 && end > optional.SizeOfImage) {
            return Refuse(Invalid, error,
                          "%s: %s directory 0x%x..0x%llx lies outside SizeOfImage 0x%x", name,
                          DirectoryNames[i], directory.VirtualAddress,
                          static_cast<unsigned long long>(end), optional.SizeOfImage);
        }
    }
    return STATUS_SUCCESS;
}

}  // namespace

NTSTATUS ReadImageHeaders(const std::vector<uint8_t>& file, const std::string& name,
                          ImageHeaders* headers, std::string* error) {
    const char* fileName = name.c_str();
    uint64_t fileHeaderOffset = 0;
    NTSTATUS status = ReadFileHeader(file, fileName, headers, &fileHeaderOffset, error);
    if (!NT_SUCCESS(status)) {
        return status;
    }
    uint64_t optionalOffset = fileHeaderOffset + sizeof(ImageFileHeader);
    status = ReadOptionalHeader(file, fileName, optionalOffset, headers, error);
    if (NT_SUCCESS(status)) {
        status = CheckLayout(fileName, headers->optional, error);
    }
    if (NT_SUCCESS(status)) {
        status = ReadSections(file, fileName, optionalOffset + headers->file.SizeOfOptionalHeader,
                              headers, error);
    }
    if (NT_SUCCESS(status)) {
        status = CheckEntryPoint(fileName, *headers, error);
    }
    if (NT_SUCCESS(status)) {
        status = CheckDirectories(fileName, *headers, error);
    }
    return status;
}

std::string StringTableEntry(const std::vector<uint8_t>& file, const ImageHeaders& headers,
                             uint32_t offset) {
    if (offset < sizeof(uint32_t) || offset >= headers.stringTableSize) {
        return std::string();
    }
    const char* start = reinterpret_cast<const char*>(file.data() + headers.stringTableOffset);
    size_t length = strnlen(start + offset, headers.stringTableSize - offset);
    if (offset + length == headers.stringTableSize) {
        return std::string();
    }
    return std::string(start + offset, length);
}

}  // namespace host::loader
