// The host registry: an in-memory tree of keys with typed values under
// "\Registry" ("Machine" and "User" below it, as the kernel names them).
// Names are case-insensitive and case-preserving. Keys and values keep the
// order in which they were created; rewriting a value keeps its place and
// its name's case. Values are raw typed bytes (REG_SZ as UTF-16LE with its
// terminating NUL), exactly what ZwSetValueKey stored, so a .reg file can be
// loaded and saved without loss.
//
// Test access goes by path, written as in .reg files
// ("HKEY_LOCAL_MACHINE\SYSTEM\...") or as the kernel writes it
// ("\Registry\Machine\SYSTEM\..."). All functions lock the store; code that
// walks the tree itself (a .reg loader or saver) holds RegistryMutex().
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <ntddk.h>

namespace host {

struct RegistryValue {
    std::u16string name;
    ULONG type = REG_NONE;
    std::vector<uint8_t> data;
};

class RegistryKey {
public:
    explicit RegistryKey(std::u16string name, bool isVolatile = false)
        : name_(std::move(name)), volatile_(isVolatile) {}

    const std::u16string& Name() const { return name_; }
    bool IsVolatile() const { return volatile_; }
    const std::vector<std::unique_ptr<RegistryKey>>& Subkeys() const { return subkeys_; }
    const std::vector<RegistryValue>& Values() const { return values_; }

    RegistryKey* FindSubkey(std::u16string_view name) const;
    RegistryKey* AddSubkey(std::u16string name, bool isVolatile);
    const RegistryValue* FindValue(std::u16string_view name) const;
    void SetValue(std::u16string_view name, ULONG type, const void* data, size_t size);
    void RemoveValue(std::u16string_view name);
    // Takes the subkey out of the tree and hands it over; null when absent.
    std::unique_ptr<RegistryKey> DetachSubkey(std::u16string_view name);

private:
    std::u16string name_;
    bool volatile_;
    std::vector<std::unique_ptr<RegistryKey>> subkeys_;
    std::vector<RegistryValue> values_;
};

std::mutex& RegistryMutex();
// The "\Registry" key; with RegistryMutex() held.
RegistryKey& RegistryRoot();

// The components below "\Registry" of a path in either notation
// ("Machine", "SYSTEM", ...); nullopt for a path outside the registry.
std::optional<std::vector<std::u16string>> RegistryPathComponents(std::string_view path);

bool RegistryKeyExists(std::string_view path);
// Creates the key and any missing parents.
void RegistryCreateKey(std::string_view path);
// Creates the key if needed; stores the bytes as given.
void RegistrySetValue(std::string_view keyPath, std::string_view name, ULONG type,
                      std::vector<uint8_t> data);
void RegistrySetDword(std::string_view keyPath, std::string_view name, uint32_t value);
// REG_SZ: UTF-16LE with its terminating NUL.
void RegistrySetString(std::string_view keyPath, std::string_view name, std::string_view value);
std::optional<RegistryValue> RegistryGetValue(std::string_view keyPath, std::string_view name);
// The value when it is a REG_DWORD of four bytes.
std::optional<uint32_t> RegistryGetDword(std::string_view keyPath, std::string_view name);
// Names in creation order; empty for a missing key.
std::vector<std::string> RegistryValueNames(std::string_view keyPath);
std::vector<std::string> RegistrySubkeyNames(std::string_view keyPath);

}  // namespace host
