// Formatting the loader's refusals.
#include "host/loader/load_error.h"

#include <cstdarg>
#include <cstdio>

namespace host::loader {

NTSTATUS Refuse(NTSTATUS status, std::string* error, const char* format, ...) {
    char line[512];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(line, sizeof line, format, arguments);
    va_end(arguments);
    *error = line;
    return status;
}

}  // namespace host::loader
