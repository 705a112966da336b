// One attachment of a host disk (from AttachDisk to DetachDisk) and the
// share-access state of its opens. Internal to host/nt.
#pragma once

#include <atomic>
#include <memory>
#include <string>

#include <ntddk.h>

#include "host/disk/disk.h"

namespace host::nt {

// Counts of opens with each access and each share permission, as the I/O
// manager's share-access record keeps them.
struct ShareAccess {
    int opens = 0;
    int readers = 0;
    int writers = 0;
    int deleters = 0;
    int sharedRead = 0;
    int sharedWrite = 0;
    int sharedDelete = 0;
};

struct OpenAccess {
    bool read = false;
    bool write = false;
    bool remove = false;
    ULONG share = 0;
};

struct DiskAttachment {
    std::shared_ptr<Disk> disk;
    std::u16string link;
    std::atomic<bool> present{true};
    ShareAccess share;  // guarded by the disk table's mutex
};

// Records an open unless it conflicts with the opens already there.
NTSTATUS AddOpen(DiskAttachment& attachment, const OpenAccess& access);
void RemoveOpen(DiskAttachment& attachment, const OpenAccess& access);
// The present attachment with this link (case-insensitively when asked).
std::shared_ptr<DiskAttachment> FindAttachedDisk(const std::u16string& link, bool caseInsensitive);

}  // namespace host::nt
