// Registry access over the kernel executive.
#include "platform/registry.h"

namespace {

// Longest name a UNICODE_STRING can carry, in characters.
constexpr USHORT MaxNameCharacters = 0x7FFF;

// Points `string` at name without copying. False for a name too long for a
// counted string.
bool CountName(PCWSTR name, UNICODE_STRING* string) {
    USHORT characters = 0;
    while (name[characters] != 0) {
        if (++characters > MaxNameCharacters) {
            return false;
        }
    }
    string->Length = static_cast<USHORT>(characters * sizeof(WCHAR));
    string->MaximumLength = string->Length;
    string->Buffer = const_cast<PWSTR>(name);
    return true;
}

}  // namespace

NTSTATUS OpenDriverRegistryKey(PDEVICE_OBJECT physicalDevice, HANDLE* key) {
    *key = nullptr;
    return IoOpenDeviceRegistryKey(physicalDevice, PLUGPLAY_REGKEY_DRIVER, READ_CONTROL, key);
}

NTSTATUS CreateRegistryKey(HANDLE parent, PCWSTR name, USHORT characters, HANDLE* key) {
    *key = nullptr;
    if (characters > MaxNameCharacters) {
        return STATUS_INVALID_PARAMETER;
    }
    UNICODE_STRING unicodeName;
    unicodeName.Length = static_cast<USHORT>(characters * sizeof(WCHAR));
    unicodeName.MaximumLength = unicodeName.Length;
    unicodeName.Buffer = const_cast<PWSTR>(name);
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &unicodeName, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE,
                               parent, nullptr);
    return ZwCreateKey(key, KEY_ALL_ACCESS, &attributes, 0, nullptr, REG_OPTION_NON_VOLATILE,
                       nullptr);
}

NTSTATUS QueryRegistryValue(HANDLE key, PCWSTR name, KEY_VALUE_PARTIAL_INFORMATION* information,
                            ULONG bytes) {
    UNICODE_STRING unicodeName;
    if (!CountName(name, &unicodeName)) {
        return STATUS_INVALID_PARAMETER;
    }
    ULONG resultLength = 0;
    return ZwQueryValueKey(key, &unicodeName, KeyValuePartialInformation, information, bytes,
                           &resultLength);
}

NTSTATUS WriteRegistryDword(HANDLE key, PCWSTR name, ULONG value) {
    UNICODE_STRING unicodeName;
    if (!CountName(name, &unicodeName)) {
        return STATUS_INVALID_PARAMETER;
    }
    return ZwSetValueKey(key, &unicodeName, 0, REG_DWORD, &value, sizeof(value));
}

void CloseRegistryKey(HANDLE key) {
    ZwClose(key);
}
