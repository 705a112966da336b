// ZwCreateKey, ZwQueryValueKey and ZwSetValueKey over the host registry.
//
// Access masks are not enforced: the driver's calls come from kernel mode,
// where Windows skips the access check of the handle too. As on Windows,
// ZwCreateKey creates only the last component of a path: a missing parent
// gives STATUS_OBJECT_NAME_NOT_FOUND.
#include <cstring>

#include "host/nt/bug_check.h"
#include "host/nt/current_thread.h"
#include "host/nt/fault_plan.h"
#include "host/nt/key_object.h"
#include "host/nt/unicode.h"

namespace host::nt {
namespace {

constexpr ULONG PartialHeaderBytes = offsetof(KEY_VALUE_PARTIAL_INFORMATION, Data);
constexpr ULONG KnownCreateOptions = 0x0000000F;  // volatile, link, backup, open link

struct ParsedName {
    RegistryKey* parent;
    std::string parentPath;
    std::vector<std::u16string> components;
};

// Splits an object name into components; an empty component (a doubled or
// trailing backslash) is invalid.
NTSTATUS SplitName(std::u16string_view name, std::vector<std::u16string>* components) {
    size_t start = 0;
    while (start < name.size()) {
        size_t end = name.find(u'\\', start);
        if (end == std::u16string_view::npos) {
            end = name.size();
        }
        if (end == start) {
            return STATUS_OBJECT_NAME_INVALID;
        }
        components->emplace_back(name.substr(start, end - start));
        start = end + 1;
        if (start == name.size() && end < name.size()) {
            return STATUS_OBJECT_NAME_INVALID;
        }
    }
    return STATUS_SUCCESS;
}

// Resolves the starting key: the root directory's key, or "\Registry" for
// an absolute name.
NTSTATUS ParseAttributes(const OBJECT_ATTRIBUTES& attributes, ParsedName* parsed) {
    std::u16string name = FromUnicodeString(attributes.ObjectName);
    if (attributes.RootDirectory != nullptr) {
        if (!name.empty() && name[0] == u'\\') {
            return STATUS_OBJECT_PATH_SYNTAX_BAD;
        }
        ObjectReference<KeyObject> root;
        NTSTATUS status = root.Take(attributes.RootDirectory, ObjectKind::Key);
        if (!NT_SUCCESS(status)) {
            return status;
        }
        parsed->parent = root->Key();
        parsed->parentPath = root->Path();
        return SplitName(name, &parsed->components);
    }
    if (name.empty() || name[0] != u'\\') {
        return STATUS_OBJECT_PATH_SYNTAX_BAD;
    }
    NTSTATUS status = SplitName(std::u16string_view(name).substr(1), &parsed->components);
    if (!NT_SUCCESS(status)) {
        return status;
    }
    if (parsed->components.empty() ||
        !EqualsIgnoringCase(parsed->components.front(), u"Registry")) {
        return STATUS_OBJECT_NAME_NOT_FOUND;
    }
    parsed->components.erase(parsed->components.begin());
    parsed->parent = &RegistryRoot();
    parsed->parentPath = "\\Registry";
    return STATUS_SUCCESS;
}

// With the registry mutex held: walks to the key to open or create.
NTSTATUS OpenOrCreate(ParsedName& parsed, bool isVolatile, RegistryKey** key, ULONG* disposition,
                      std::string* path) {
    RegistryKey* current = parsed.parent;
    *path = parsed.parentPath;
    *disposition = REG_OPENED_EXISTING_KEY;
    for (size_t i = 0; i < parsed.components.size(); ++i) {
        const std::u16string& component = parsed.components[i];
        RegistryKey* next = current->FindSubkey(component);
        if (next == nullptr) {
            if (i + 1 < parsed.components.size()) {
                return STATUS_OBJECT_NAME_NOT_FOUND;
            }
            if (current->IsVolatile() && !isVolatile) {
                return STATUS_CHILD_MUST_BE_VOLATILE;
            }
            next = current->AddSubkey(component, isVolatile);
            *disposition = REG_CREATED_NEW_KEY;
        }
        *path += "\\" + ToUtf8(next->Name());
        current = next;
    }
    *key = current;
    return STATUS_SUCCESS;
}

NTSTATUS FillPartialInformation(const RegistryValue& value, PVOID buffer, ULONG length,
                                PULONG resultLength) {
    ULONG dataBytes = static_cast<ULONG>(value.data.size());
    *resultLength = PartialHeaderBytes + dataBytes;
    if (length < PartialHeaderBytes) {
        return STATUS_BUFFER_TOO_SMALL;
    }
    auto* information = static_cast<PKEY_VALUE_PARTIAL_INFORMATION>(buffer);
    information->TitleIndex = 0;
    information->Type = value.type;
    information->DataLength = dataBytes;
    // Windows copies as much data as fits and reports the overflow.
    ULONG room = length - PartialHeaderBytes;
    ULONG copied = dataBytes <= room ? dataBytes : room;
    if (copied != 0) {
        std::memcpy(information->Data, value.data.data(), copied);
    }
    return copied == dataBytes ? STATUS_SUCCESS : STATUS_BUFFER_OVERFLOW;
}

}  // namespace

NTSTATUS OpenKeyByPath(const std::string& path, ACCESS_MASK access, HANDLE* handle) {
    host::RegistryKey* key;
    {
        std::lock_guard<std::mutex> lock(RegistryMutex());
        auto components = RegistryPathComponents(path);
        key = components ? &RegistryRoot() : nullptr;
        for (size_t i = 0; key != nullptr && i < components->size(); ++i) {
            key = key->FindSubkey((*components)[i]);
        }
    }
    if (key == nullptr) {
        return STATUS_OBJECT_NAME_NOT_FOUND;
    }
    auto* object = new KeyObject(key, path);
    InsertObject(object);
    *handle = CreateHandle(object, access, OBJ_KERNEL_HANDLE);
    return STATUS_SUCCESS;
}

}  // namespace host::nt

using namespace host::nt;

NTSTATUS NTAPI ZwCreateKey(PHANDLE KeyHandle, ACCESS_MASK DesiredAccess,
                           POBJECT_ATTRIBUTES ObjectAttributes, ULONG TitleIndex,
                           PUNICODE_STRING Class, ULONG CreateOptions, PULONG Disposition) {
    (void)TitleIndex;
    (void)Class;
    RequirePassiveLevel("ZwCreateKey");
    if (KeyHandle == nullptr || ObjectAttributes == nullptr) {
        host::BugCheck("ZwCreateKey with a null handle or attributes pointer");
    }
    if (const auto fault = TakeCall(host::FaultSite::RegistryCall); fault.fail) {
        return fault.status;
    }
    if ((CreateOptions & ~KnownCreateOptions) != 0) {
        return STATUS_INVALID_PARAMETER;
    }
    ParsedName parsed;
    NTSTATUS status = ParseAttributes(*ObjectAttributes, &parsed);
    if (!NT_SUCCESS(status)) {
        return status;
    }
    host::RegistryKey* key;
    ULONG disposition;
    std::string path;
    {
        std::lock_guard<std::mutex> lock(host::RegistryMutex());
        status = OpenOrCreate(parsed, (CreateOptions & REG_OPTION_VOLATILE) != 0, &key,
                              &disposition, &path);
    }
    if (!NT_SUCCESS(status)) {
        return status;
    }
    auto* object = new KeyObject(key, path);
    InsertObject(object);
    *KeyHandle = CreateHandle(object, DesiredAccess, ObjectAttributes->Attributes);
    if (Disposition != nullptr) {
        *Disposition = disposition;
    }
    return STATUS_SUCCESS;
}

// Only the partial information class is served; the other valid classes
// return STATUS_NOT_IMPLEMENTED in the host.
NTSTATUS NTAPI ZwQueryValueKey(HANDLE KeyHandle, PUNICODE_STRING ValueName,
                               KEY_VALUE_INFORMATION_CLASS KeyValueInformationClass,
                               PVOID KeyValueInformation, ULONG Length, PULONG ResultLength) {
    RequirePassiveLevel("ZwQueryValueKey");
    if (ResultLength == nullptr || ValueName == nullptr ||
        (KeyValueInformation == nullptr && Length != 0)) {
        host::BugCheck("ZwQueryValueKey with a null pointer argument");
    }
    if (const auto fault = TakeCall(host::FaultSite::RegistryCall); fault.fail) {
        return fault.status;
    }
    ObjectReference<KeyObject> key;
    NTSTATUS status = key.Take(KeyHandle, ObjectKind::Key);
    if (!NT_SUCCESS(status)) {
        return status;
    }
    if (KeyValueInformationClass < 0 || KeyValueInformationClass >= MaxKeyValueInfoClass) {
        return STATUS_INVALID_PARAMETER;
    }
    if (KeyValueInformationClass != KeyValuePartialInformation) {
        return STATUS_NOT_IMPLEMENTED;
    }
    std::lock_guard<std::mutex> lock(host::RegistryMutex());
    const host::RegistryValue* value = key->Key()->FindValue(FromUnicodeString(ValueName));
    if (value == nullptr) {
        return STATUS_OBJECT_NAME_NOT_FOUND;
    }
    return FillPartialInformation(*value, KeyValueInformation, Length, ResultLength);
}

NTSTATUS NTAPI ZwSetValueKey(HANDLE KeyHandle, PUNICODE_STRING ValueName, ULONG TitleIndex,
                             ULONG Type, PVOID Data, ULONG DataSize) {
    (void)TitleIndex;
    RequirePassiveLevel("ZwSetValueKey");
    if (ValueName == nullptr || (Data == nullptr && DataSize != 0)) {
        host::BugCheck("ZwSetValueKey with a null pointer argument");
    }
    if (const auto fault = TakeCall(host::FaultSite::RegistryCall); fault.fail) {
        return fault.status;
    }
    ObjectReference<KeyObject> key;
    NTSTATUS status = key.Take(KeyHandle, ObjectKind::Key);
    if (!NT_SUCCESS(status)) {
        return status;
    }
    std::lock_guard<std::mutex> lock(host::RegistryMutex());
    key->Key()->SetValue(FromUnicodeString(ValueName), Type, Data, DataSize);
    return STATUS_SUCCESS;
}
