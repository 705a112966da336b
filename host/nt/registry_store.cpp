// The registry tree and its path-based test access.
#include "host/nt/registry_store.h"

#include <cstring>

#include "host/nt/kernel_parts.h"
#include "host/nt/unicode.h"

namespace host {
namespace {

std::unique_ptr<RegistryKey> NewRoot() {
    auto root = std::make_unique<RegistryKey>(u"Registry");
    root->AddSubkey(u"Machine", false)->AddSubkey(u"SYSTEM", false);
    root->AddSubkey(u"User", false);
    return root;
}

std::unique_ptr<RegistryKey>& Root() {
    static std::unique_ptr<RegistryKey> root = NewRoot();
    return root;
}

std::vector<std::u16string> Split(std::u16string_view path) {
    std::vector<std::u16string> parts;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find(u'\\', start);
        if (end == std::u16string_view::npos) {
            end = path.size();
        }
        if (end > start) {
            parts.emplace_back(path.substr(start, end - start));
        }
        start = end + 1;
    }
    return parts;
}

// With the mutex held; null when a component is missing (or, with `create`,
// never).
RegistryKey* Walk(std::string_view path, bool create) {
    auto parts = RegistryPathComponents(path);
    if (!parts) {
        return nullptr;
    }
    RegistryKey* key = Root().get();
    for (const std::u16string& part : *parts) {
        RegistryKey* next = key->FindSubkey(part);
        if (next == nullptr && create) {
            next = key->AddSubkey(part, false);
        }
        if (next == nullptr) {
            return nullptr;
        }
        key = next;
    }
    return key;
}

}  // namespace

RegistryKey* RegistryKey::FindSubkey(std::u16string_view name) const {
    for (const auto& subkey : subkeys_) {
        if (nt::EqualsIgnoringCase(subkey->Name(), name)) {
            return subkey.get();
        }
    }
    return nullptr;
}

RegistryKey* RegistryKey::AddSubkey(std::u16string name, bool isVolatile) {
    subkeys_.push_back(std::make_unique<RegistryKey>(std::move(name), isVolatile));
    return subkeys_.back().get();
}

const RegistryValue* RegistryKey::FindValue(std::u16string_view name) const {
    for (const RegistryValue& value : values_) {
        if (nt::EqualsIgnoringCase(value.name, name)) {
            return &value;
        }
    }
    return nullptr;
}

void RegistryKey::SetValue(std::u16string_view name, ULONG type, const void* data, size_t size) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    std::vector<uint8_t> copy(bytes, bytes + size);
    auto* existing = const_cast<RegistryValue*>(FindValue(name));
    if (existing != nullptr) {
        existing->type = type;
        existing->data = std::move(copy);
        return;
    }
    values_.push_back(RegistryValue{std::u16string(name), type, std::move(copy)});
}

void RegistryKey::RemoveValue(std::u16string_view name) {
    for (auto it = values_.begin(); it != values_.end(); ++it) {
        if (nt::EqualsIgnoringCase(it->name, name)) {
            values_.erase(it);
            return;
        }
    }
}

std::unique_ptr<RegistryKey> RegistryKey::DetachSubkey(std::u16string_view name) {
    for (auto it = subkeys_.begin(); it != subkeys_.end(); ++it) {
        if (nt::EqualsIgnoringCase((*it)->Name(), name)) {
            std::unique_ptr<RegistryKey> detached = std::move(*it);
            subkeys_.erase(it);
            return detached;
        }
    }
    return nullptr;
}

std::mutex& RegistryMutex() {
    static std::mutex mutex;
    return mutex;
}

RegistryKey& RegistryRoot() {
    return *Root();
}

std::optional<std::vector<std::u16string>> RegistryPathComponents(std::string_view path) {
    std::vector<std::u16string> parts = Split(ToUtf16(path));
    if (parts.empty()) {
        return std::nullopt;
    }
    if (nt::EqualsIgnoringCase(parts[0], u"HKEY_LOCAL_MACHINE")) {
        parts[0] = u"Machine";
    } else if (nt::EqualsIgnoringCase(parts[0], u"HKEY_USERS")) {
        parts[0] = u"User";
    } else if (nt::EqualsIgnoringCase(parts[0], u"Registry") && path.front() == '\\') {
        parts.erase(parts.begin());
    } else {
        return std::nullopt;
    }
    return parts;
}

bool RegistryKeyExists(std::string_view path) {
    std::lock_guard<std::mutex> lock(RegistryMutex());
    return Walk(path, false) != nullptr;
}

void RegistryCreateKey(std::string_view path) {
    std::lock_guard<std::mutex> lock(RegistryMutex());
    Walk(path, true);
}

void RegistrySetValue(std::string_view keyPath, std::string_view name, ULONG type,
                      std::vector<uint8_t> data) {
    std::lock_guard<std::mutex> lock(RegistryMutex());
    RegistryKey* key = Walk(keyPath, true);
    if (key != nullptr) {
        key->SetValue(ToUtf16(name), type, data.data(), data.size());
    }
}

void RegistrySetDword(std::string_view keyPath, std::string_view name, uint32_t value) {
    std::vector<uint8_t> bytes(4);
    for (int i = 0; i < 4; ++i) {
        bytes[i] = static_cast<uint8_t>(value >> (8 * i));
    }
    RegistrySetValue(keyPath, name, REG_DWORD, std::move(bytes));
}

void RegistrySetString(std::string_view keyPath, std::string_view name, std::string_view value) {
    std::u16string text = ToUtf16(value);
    std::vector<uint8_t> bytes;
    for (char16_t c : text) {
        bytes.push_back(static_cast<uint8_t>(c & 0xFF));
        bytes.push_back(static_cast<uint8_t>(c >> 8));
    }
    bytes.push_back(0);
    bytes.push_back(0);
    RegistrySetValue(keyPath, name, REG_SZ, std::move(bytes));
}

std::optional<RegistryValue> RegistryGetValue(std::string_view keyPath, std::string_view name) {
    std::lock_guard<std::mutex> lock(RegistryMutex());
    RegistryKey* key = Walk(keyPath, false);
    const RegistryValue* value = key == nullptr ? nullptr : key->FindValue(ToUtf16(name));
    if (value == nullptr) {
        return std::nullopt;
    }
    return *value;
}

std::optional<uint32_t> RegistryGetDword(std::string_view keyPath, std::string_view name) {
    auto value = RegistryGetValue(keyPath, name);
    if (!value || value->type != REG_DWORD || value->data.size() != 4) {
        return std::nullopt;
    }
    uint32_t result;
    std::memcpy(&result, value->data.data(), 4);
    return result;
}

std::vector<std::string> RegistryValueNames(std::string_view keyPath) {
    std::lock_guard<std::mutex> lock(RegistryMutex());
    std::vector<std::string> names;
    if (RegistryKey* key = Walk(keyPath, false)) {
        for (const RegistryValue& value : key->Values()) {
            names.push_back(ToUtf8(value.name));
        }
    }
    return names;
}

std::vector<std::string> RegistrySubkeyNames(std::string_view keyPath) {
    std::lock_guard<std::mutex> lock(RegistryMutex());
    std::vector<std::string> names;
    if (RegistryKey* key = Walk(keyPath, false)) {
        for (const auto& subkey : key->Subkeys()) {
            names.push_back(ToUtf8(subkey->Name()));
        }
    }
    return names;
}

namespace nt {

void ResetRegistry() {
    std::lock_guard<std::mutex> lock(RegistryMutex());
    Root() = NewRoot();
}

}  // namespace nt
}  // namespace host
