// Base relocations: moving an image from its preferred base to where it was
// mapped by adding the difference to every 64-bit address the image holds.
#pragma once

#include <cstdint>
#include <string>

#include "host/loader/image_headers.h"

namespace host::loader {

// Applies the relocation directory of the image mapped at base (still
// writable). A block or entry outside the image, or a relocation type other
// than DIR64 and ABSOLUTE, refuses the image with STATUS_INVALID_IMAGE_FORMAT.
NTSTATUS ApplyRelocations(const ImageHeaders& headers, uint8_t* base, const std::string& name,
                          std::string* error);

}  // namespace host::loader
