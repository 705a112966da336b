// Reading and checking the headers of a PE32+ file before anything of it is
// mapped: the DOS header, the PE signature, the file and optional headers,
// the section table and every section's place in the file and in the image.
// What passes here can be copied into a reservation of SizeOfImage bytes
// without reading or writing outside either.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <ntddk.h>

#include "host/loader/pe_format.h"

namespace host::loader {

struct ImageSection {
    std::string name;  // long names resolved through the string table
    uint32_t virtualAddress;
    uint32_t virtualSize;  // the extent in memory, never 0 for a mapped section
    uint32_t rawOffset;
    uint32_t copiedSize;  // bytes copied from the file; the rest of the extent is zero
    uint32_t characteristics;
};

struct ImageHeaders {
    ImageFileHeader file;
    ImageOptionalHeader64 optional;      // directories beyond NumberOfRvaAndSizes are zero
    std::vector<ImageSection> sections;  // in ascending, non-overlapping address order
    // The COFF string table after the symbol table, or size 0 when there is none.
    uint64_t stringTableOffset = 0;
    uint32_t stringTableSize = 0;
};

// On failure returns STATUS_INVALID_IMAGE_FORMAT and sets *error to one line
// starting with name.
NTSTATUS ReadImageHeaders(const std::vector<uint8_t>& file, const std::string& name,
                          ImageHeaders* headers, std::string* error);

// The NUL-terminated string at offset in the string table; empty when it is
// not one.
std::string StringTableEntry(const std::vector<uint8_t>& file, const ImageHeaders& headers,
                             uint32_t offset);

}  // namespace host::loader
