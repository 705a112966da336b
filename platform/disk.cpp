// Disk interface listing and disk file access over the kernel executive.
#include "platform/disk.h"

namespace {

// The disk device interface class; the kernel headers do not declare it.
const GUID DiskInterfaceClass = {
    0x53F56307, 0xB6BF, 0x11D0, {0x94, 0xF2, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B}};

// Longest name a UNICODE_STRING can carry, in characters.
constexpr SIZE_T MaxNameCharacters = 0x7FFF;

}  // namespace

bool ListDiskInterfaces(PWSTR* list) {
    *list = nullptr;
    NTSTATUS status = IoGetDeviceInterfaces(&DiskInterfaceClass, nullptr, 0, list);
    if (status != STATUS_SUCCESS) {
        *list = nullptr;
        return false;
    }
    return *list != nullptr;
}

void FreeDiskInterfaceList(PWSTR list) {
    if (list != nullptr) {
        ExFreePool(list);
    }
}

bool OpenDisk(PCWSTR name, HANDLE* handle) {
    *handle = nullptr;
    SIZE_T characters = 0;
    while (name[characters] != 0) {
        if (++characters > MaxNameCharacters) {
            return false;
        }
    }
    UNICODE_STRING unicodeName;
    unicodeName.Length = static_cast<USHORT>(characters * sizeof(WCHAR));
    unicodeName.MaximumLength = unicodeName.Length;
    unicodeName.Buffer = const_cast<PWSTR>(name);

    // A kernel handle: a stream start opens the disk while serving an
    // application's request, and the capture thread uses it from the System
    // process.
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &unicodeName, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE,
                               nullptr, nullptr);
    IO_STATUS_BLOCK ioStatus;
    NTSTATUS status = ZwOpenFile(handle, GENERIC_READ | GENERIC_WRITE, &attributes, &ioStatus, 0,
                                 FILE_SYNCHRONOUS_IO_NONALERT);
    if (status != STATUS_SUCCESS) {
        *handle = nullptr;
        return false;
    }
    return *handle != nullptr;
}

NTSTATUS SeekDisk(HANDLE handle, LONGLONG offset) {
    FILE_POSITION_INFORMATION position;
    position.CurrentByteOffset.QuadPart = offset;
    IO_STATUS_BLOCK ioStatus;
    return ZwSetInformationFile(handle, &ioStatus, &position, sizeof(position),
                                FilePositionInformation);
}

NTSTATUS ReadDisk(HANDLE handle, void* buffer, ULONG length) {
    IO_STATUS_BLOCK ioStatus;
    ioStatus.Information = 0;
    NTSTATUS status =
        ZwReadFile(handle, nullptr, nullptr, nullptr, &ioStatus, buffer, length, nullptr, nullptr);
    // A read that stops short (the end of a file-backed disk) would leave
    // stale bytes in the buffer: count it as failed.
    if (status == STATUS_SUCCESS && ioStatus.Information != length) {
        return STATUS_UNSUCCESSFUL;
    }
    return status;
}

NTSTATUS WriteDisk(HANDLE handle, const void* buffer, ULONG length) {
    IO_STATUS_BLOCK ioStatus;
    ioStatus.Information = 0;
    NTSTATUS status = ZwWriteFile(handle, nullptr, nullptr, nullptr, &ioStatus,
                                  const_cast<void*>(buffer), length, nullptr, nullptr);
    if (status == STATUS_SUCCESS && ioStatus.Information != length) {
        return STATUS_UNSUCCESSFUL;
    }
    return status;
}

void CloseDisk(HANDLE handle) {
    ZwClose(handle);
}

bool IsDiskGone(NTSTATUS status) {
    switch (status) {
        case STATUS_DEVICE_NOT_CONNECTED:
        case STATUS_NO_SUCH_DEVICE:
        case STATUS_DEVICE_DOES_NOT_EXIST:
        case STATUS_DEVICE_REMOVED:
            return true;
        default:
            return false;
    }
}

SIZE_T CompareMemory(const void* first, const void* second, SIZE_T length) {
    return RtlCompareMemory(first, second, length);
}
