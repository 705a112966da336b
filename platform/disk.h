// The camera's disk as the camera link sees it: the list of disk interfaces
// and five operations on one disk. A transfer counts as done only when the
// platform reports exactly STATUS_SUCCESS and moved the whole length; nothing
// is retried. Seek, read and write return the platform's status, so that the
// camera link can tell a disk that has gone from a transfer that failed.
#pragma once

#include "platform/kernel.h"

// Fills *list with the symbolic link names of the present disks: UTF-16
// strings one after another, ended by an empty one. False when the platform
// gives no list; otherwise the caller frees it with FreeDiskInterfaceList.
bool ListDiskInterfaces(PWSTR* list);
void FreeDiskInterfaceList(PWSTR list);

// Opens a disk exclusively for synchronous reads and writes at its current
// position, as a kernel handle valid in every process. False, with *handle
// null, when it cannot be opened.
bool OpenDisk(PCWSTR name, HANDLE* handle);

NTSTATUS SeekDisk(HANDLE handle, LONGLONG offset);
// A transfer that moved less than the whole length gives
// STATUS_UNSUCCESSFUL.
NTSTATUS ReadDisk(HANDLE handle, void* buffer, ULONG length);
NTSTATUS WriteDisk(HANDLE handle, const void* buffer, ULONG length);
void CloseDisk(HANDLE handle);

// True for the statuses with which the storage stack completes requests to a
// disk that has been removed: no later transfer on the handle can succeed.
bool IsDiskGone(NTSTATUS status);

// Count of equal leading bytes.
SIZE_T CompareMemory(const void* first, const void* second, SIZE_T length);
