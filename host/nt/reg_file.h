// The host registry as a .reg file: the text format of the Windows registry
// editor, so that persisted settings can be read and edited by hand.
//
// How the diskcam tool keeps a device's driver key across runs:
//
//     if (!host::LoadRegFile(file)) { /* first run: nothing stored yet */ }
//     ... load the driver, add and start devices (each driver key is created
//         only if the file did not bring it), run ...
//     host::SaveRegFile(file, host::DriverKeyPath(physicalDevice));
//
// Both throw host::RegFileError with one line for the user. A load changes
// nothing unless the whole file is well-formed; a save replaces the file in
// one rename, so the old file stays whole when anything fails.
//
// What the loader reads:
// - the header line "Windows Registry Editor Version 5.00", in UTF-8 (with
//   or without a byte-order mark) or UTF-16LE with a byte-order mark; LF or
//   CRLF line ends; blank lines and lines starting with ';' are skipped;
// - "[KEY]" sections, KEY starting with HKEY_LOCAL_MACHINE or HKEY_USERS;
//   a section creates its key and any missing parents; "[-KEY]" deletes the
//   key and everything below it;
// - value lines "NAME"=DATA or @=DATA (the default value; "" names it too),
//   with \\ and \" escapes in quoted names and strings. DATA is
//   dword:XXXXXXXX (1 to 8 hex digits), "text" (REG_SZ: UTF-16LE with its
//   terminating NUL), hex:BB,BB,... (REG_BINARY), hex(T):BB,... (type T in
//   hex), or - to delete the value. Hex data continues on the next line after
//   a trailing backslash.
// A key or value name with a NUL is refused, as the saver could not write
// it. Names compare case-insensitively; an existing key or value keeps its case
// and its place, new ones go last.
//
// What the saver writes: UTF-8 without a byte-order mark, LF line ends, the
// header, then every key of the subtree before its subkeys, each as its
// section line, its values in order, and a blank line. REG_DWORD values of
// four bytes as dword: in lower-case hex; REG_SZ values that are whole
// text lines as "text"; anything else as hex: or hex(T): wrapped like the
// registry editor's export. A file the saver wrote loads and saves back byte
// for byte.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace host {

// "FILE:LINE: message" for a malformed file; "FILE: message" when a file
// cannot be read or written or the key to save does not exist.
class RegFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Applies the file to the registry. False, changing nothing, when the file
// does not exist. Deleting a key leaves open handles to it valid, as
// Windows does, but the key is no longer in the tree.
bool LoadRegFile(const std::string& file);

// Writes the key at keyPath (either notation of registry_store.h) and its
// subtree to the file, replacing it atomically.
void SaveRegFile(const std::string& file, std::string_view keyPath);

}  // namespace host
