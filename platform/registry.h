// Registry keys and values over the configuration manager: the device's
// driver key, subkeys below it, and values read as partial information or
// written as REG_DWORD. Names are UTF-16; the settings code decides what is
// stored where (settings/registry_settings.cpp).
#pragma once

#include "platform/kernel.h"

// Opens the driver key of a physical device object with access 0x20000
// (READ_CONTROL); kernel handles are not access-checked, so subkeys can still
// be created below it.
NTSTATUS OpenDriverRegistryKey(PDEVICE_OBJECT physicalDevice, HANDLE* key);

// Creates or opens the key named by the first `characters` characters of
// `name`, relative to `parent`, non-volatile, with all access. Only the last
// component of a path is created: its parents must exist.
NTSTATUS CreateRegistryKey(HANDLE parent, PCWSTR name, USHORT characters, HANDLE* key);

// Queries a value as KEY_VALUE_PARTIAL_INFORMATION into `bytes` bytes at
// `information`. A value whose data does not fit gives
// STATUS_BUFFER_OVERFLOW with only the part that fits.
NTSTATUS QueryRegistryValue(HANDLE key, PCWSTR name, KEY_VALUE_PARTIAL_INFORMATION* information,
                            ULONG bytes);

// Stores a REG_DWORD (four bytes, little-endian).
NTSTATUS WriteRegistryDword(HANDLE key, PCWSTR name, ULONG value);

void CloseRegistryKey(HANDLE key);
