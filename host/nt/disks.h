// Host disks as the disk device interfaces of the host kernel.
//
// AttachDisk plugs a disk in: IoGetDeviceInterfaces for the disk interface
// class {53F56307-B6BF-11D0-94F2-00A0C91EFB8B} lists the links of attached
// disks in attach order, and ZwOpenFile opens them by link name. Attaching
// the same disk object again (a re-plug) gives the same link name.
//
// DetachDisk is a surprise removal: the link disappears (opening it gives
// STATUS_OBJECT_NAME_NOT_FOUND), and reads and writes on handles that are
// still open fail with STATUS_DEVICE_DOES_NOT_EXIST, the status the disk
// class driver completes requests with once its device is removed. Setting
// the file position still succeeds: the I/O manager keeps it, not the
// device. Handles opened before a re-plug stay dead.
//
// Transfers follow the disk class driver's rules: offset and length must be
// multiples of the 512-byte sector and lie within the disk
// (STATUS_INVALID_PARAMETER otherwise); a transfer the disk fails gives
// STATUS_IO_DEVICE_ERROR. Access masks are not checked: kernel-mode callers
// are not checked on Windows either.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <ntddk.h>

#include "host/disk/disk.h"

namespace host {

// Returns the symbolic link name, e.g.
// "\??\USBSTOR#Disk&Ven_Host&Prod_Disk&Rev_1.00#000001&0#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}".
std::u16string AttachDisk(std::shared_ptr<Disk> disk);
// False when no attached disk has that link.
bool DetachDisk(const std::u16string& link);
std::vector<std::u16string> AttachedDiskLinks();

// The next `count` calls of IoGetDeviceInterfaces fail with `status`.
void FailNextDeviceInterfaceQueries(int count, NTSTATUS status = STATUS_INSUFFICIENT_RESOURCES);

// The entries of a UTF-16 multi-string, up to its empty terminating string.
std::vector<std::u16string> SplitMultiString(PCWSTR list);

}  // namespace host
