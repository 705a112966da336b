// The loader's refusals: one line naming the problem and the Windows status
// the kernel's image loader would answer with.
#pragma once

#include <string>

#include <ntddk.h>

namespace host::loader {

// Sets *error to the formatted line and returns status.
NTSTATUS Refuse(NTSTATUS status, std::string* error, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

}  // namespace host::loader
