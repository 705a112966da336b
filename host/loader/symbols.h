// The function symbols of an image's COFF symbol table, which mingw-w64's
// linker keeps in the file: read once at load time, demangled, sorted by
// address, so that a fault handler can name the function at an address
// without allocating.
#pragma once

#include <cstdint>
#include <vector>

#include "host/loader/image_headers.h"

namespace host::loader {

class SymbolTable {
public:
    // The functions of the table; empty when the image has none or the table
    // is damaged (Windows never reads it, so damage there refuses nothing).
    static SymbolTable Read(const std::vector<uint8_t>& file, const ImageHeaders& headers);

    // The function containing address (an offset in the image) and the
    // offset into it; null when no function does. Async-signal-safe.
    const char* Find(uint32_t address, uint32_t* offset) const;

private:
    struct Function {
        uint32_t start;
        uint32_t end;  // the next function's start or the section's end
        size_t name;   // offset in names_
    };

    std::vector<Function> functions_;  // ascending by start
    std::vector<char> names_;          // NUL-terminated names, back to back
};

}  // namespace host::loader
