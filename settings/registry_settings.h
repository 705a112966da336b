// Persistence of the camera's settings: 28 REG_DWORD values under the
// Settings subkey of the device's driver key, read once per device start and
// written when a stream is torn down, a filter closes and the device goes
// away. Property requests change only the fields; they reach the registry at
// the next save.
#pragma once

#include "camera/camera_device.h"

// Reads every value (or its default), clamps it, stores it in the camera and
// marks the sensor groups pending; reads SimdLevel and ConversionThreads too, which no save writes.
// True when the key was opened and all values applied; false, changing nothing, when it was not.
// Takes PipelineLock around each call into an attached pipeline; call it without that lock held.
bool LoadSettings(CameraDevice* camera);

// Writes every field as it is now, each read once without a lock. False,
// writing nothing, when the key cannot be opened.
bool SaveSettings(CameraDevice* camera);

// Creates (or opens) `path` below `parent`, one backslash-separated
// component at a time, and returns its handle in *key (null on failure).
// Stops at the first failure with its status.
NTSTATUS OpenSettingsKey(HANDLE parent, PCWSTR path, HANDLE* key);

// Replaces *value with the first four data bytes of the value `name`,
// whatever its type, when the query succeeds with 4 to 8 data bytes; keeps
// *value otherwise (missing, shorter, or too long for the 8-byte buffer).
// Returns the query's status.
NTSTATUS QueryDwordValue(HANDLE key, PCWSTR name, ULONG* value);

// Writes a REG_DWORD; a failed write is not reported.
void SetDwordValue(HANDLE key, PCWSTR name, ULONG value);
