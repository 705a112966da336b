// Binding an image's imports: every routine and variable it imports, by
// module and name, resolved against the host's one export table.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/loader/image_headers.h"

namespace host::loader {

// Fills the import address tables of the image mapped at base (still
// writable) and appends "module!name" of every import, in the image's order,
// to *imports. An unknown module refuses the image with STATUS_DLL_NOT_FOUND,
// a name the host does not export with STATUS_PROCEDURE_NOT_FOUND, an import
// by ordinal with STATUS_ORDINAL_NOT_FOUND, damaged tables with
// STATUS_INVALID_IMAGE_FORMAT.
NTSTATUS BindImports(const ImageHeaders& headers, uint8_t* base, const std::string& name,
                     std::vector<std::string>* imports, std::string* error);

}  // namespace host::loader
