// UTF-16 strings of the kernel interface and UTF-8 strings of host code.
// Case-insensitive comparison folds ASCII letters only: every name the
// driver and the host use (registry paths, value names, link names) is ASCII.
#pragma once

#include <string>
#include <string_view>

#include <ntddk.h>

namespace host {

std::u16string ToUtf16(std::string_view utf8);
std::string ToUtf8(std::u16string_view utf16);

}  // namespace host

namespace host::nt {

// The counted string's characters; empty for a null string or buffer.
std::u16string FromUnicodeString(const UNICODE_STRING* string);

bool EqualsIgnoringCase(std::u16string_view a, std::u16string_view b);

}  // namespace host::nt
