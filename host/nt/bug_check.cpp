// Bug checks: the host's answer to driver errors Windows would crash on.
#include "host/nt/bug_check.h"

#include <cstdio>
#include <cstdlib>

#include <ntddk.h>

namespace host {

void BugCheck(const std::string& message) {
    std::fprintf(stderr, "host kernel bug check: %s\n", message.c_str());
    std::fflush(stderr);
    std::abort();
}

void BugCheck(const BugCode& code, ULONG_PTR parameter1, ULONG_PTR parameter2, ULONG_PTR parameter3,
              ULONG_PTR parameter4, const char* routine, const std::string& detail) {
    BugCheck(std::string(code.name) + " (" + Hex(code.value) + "): " + Hex(parameter1) + ", " +
             Hex(parameter2) + ", " + Hex(parameter3) + ", " + Hex(parameter4) + ", in " + routine +
             ": " + detail);
}

std::string Hex(unsigned long long value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llX", value);
    return text;
}

}  // namespace host

VOID NTAPI KeBugCheckEx(ULONG BugCheckCode, ULONG_PTR BugCheckParameter1,
                        ULONG_PTR BugCheckParameter2, ULONG_PTR BugCheckParameter3,
                        ULONG_PTR BugCheckParameter4) {
    host::BugCheck("KeBugCheckEx " + host::Hex(BugCheckCode) + " (" +
                   host::Hex(BugCheckParameter1) + ", " + host::Hex(BugCheckParameter2) + ", " +
                   host::Hex(BugCheckParameter3) + ", " + host::Hex(BugCheckParameter4) + ")");
}
