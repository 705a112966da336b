// Attaching and detaching host disks, their share access, and
// IoGetDeviceInterfaces.
#include "host/nt/disks.h"

#include <cstdio>
#include <cstring>
#include <mutex>
#include <vector>

#include "host/nt/bug_check.h"
#include "host/nt/current_thread.h"
#include "host/nt/disk_attachment.h"
#include "host/nt/kernel_parts.h"
#include "host/nt/unicode.h"

namespace host {
namespace {

constexpr GUID DiskInterfaceClass = {
    0x53F56307, 0xB6BF, 0x11D0, {0x94, 0xF2, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B}};
constexpr ULONG InterfaceListTag = 'GIoI';

struct KnownDisk {
    std::weak_ptr<Disk> disk;
    std::u16string link;
};

struct DiskTable {
    std::mutex mutex;
    std::vector<std::shared_ptr<nt::DiskAttachment>> attached;  // attach order
    std::vector<KnownDisk> known;  // every disk ever attached, for re-plugs
    int failuresPending = 0;
    NTSTATUS failureStatus = STATUS_SUCCESS;
};

DiskTable& Disks() {
    static DiskTable table;
    return table;
}

// With the mutex held: the link a disk had before, or a new one.
std::u16string LinkFor(const std::shared_ptr<Disk>& disk) {
    DiskTable& table = Disks();
    for (const KnownDisk& known : table.known) {
        if (known.disk.lock() == disk) {
            return known.link;
        }
    }
    char serial[16];
    std::snprintf(serial, sizeof serial, "%06zu", table.known.size() + 1);
    std::u16string link = ToUtf16(std::string("\\??\\USBSTOR#Disk&Ven_Host&Prod_Disk&Rev_1.00#") +
                                  serial + "&0#{53f56307-b6bf-11d0-94f2-00a0c91efb8b}");
    table.known.push_back(KnownDisk{disk, link});
    return link;
}

// The interface list of a class as a multi-string.
std::u16string InterfaceList(const GUID& interfaceClass, PDEVICE_OBJECT physicalDeviceObject) {
    std::u16string list;
    // Host disks have no physical device object a driver could name.
    if (physicalDeviceObject == nullptr && IsEqualGUID(interfaceClass, DiskInterfaceClass)) {
        std::lock_guard<std::mutex> lock(Disks().mutex);
        for (const auto& attachment : Disks().attached) {
            list += attachment->link;
            list.push_back(u'\0');
        }
    }
    list.push_back(u'\0');
    return list;
}

}  // namespace

std::u16string AttachDisk(std::shared_ptr<Disk> disk) {
    std::lock_guard<std::mutex> lock(Disks().mutex);
    auto attachment = std::make_shared<nt::DiskAttachment>();
    attachment->link = LinkFor(disk);
    for (const auto& other : Disks().attached) {
        if (other->link == attachment->link) {
            BugCheck("AttachDisk of a disk that is already attached");
        }
    }
    attachment->disk = std::move(disk);
    Disks().attached.push_back(attachment);
    return attachment->link;
}

bool DetachDisk(const std::u16string& link) {
    std::lock_guard<std::mutex> lock(Disks().mutex);
    auto& attached = Disks().attached;
    for (auto it = attached.begin(); it != attached.end(); ++it) {
        if ((*it)->link == link) {
            (*it)->present = false;
            attached.erase(it);
            return true;
        }
    }
    return false;
}

std::vector<std::u16string> AttachedDiskLinks() {
    std::lock_guard<std::mutex> lock(Disks().mutex);
    std::vector<std::u16string> links;
    for (const auto& attachment : Disks().attached) {
        links.push_back(attachment->link);
    }
    return links;
}

void FailNextDeviceInterfaceQueries(int count, NTSTATUS status) {
    std::lock_guard<std::mutex> lock(Disks().mutex);
    Disks().failuresPending = count;
    Disks().failureStatus = status;
}

std::vector<std::u16string> SplitMultiString(PCWSTR list) {
    std::vector<std::u16string> entries;
    while (*list != u'\0') {
        entries.emplace_back(list);
        list += entries.back().size() + 1;
    }
    return entries;
}

namespace nt {

NTSTATUS AddOpen(DiskAttachment& attachment, const OpenAccess& access) {
    std::lock_guard<std::mutex> lock(Disks().mutex);
    ShareAccess& share = attachment.share;
    bool shareRead = (access.share & FILE_SHARE_READ) != 0;
    bool shareWrite = (access.share & FILE_SHARE_WRITE) != 0;
    bool shareDelete = (access.share & FILE_SHARE_DELETE) != 0;
    // An open that neither reads, writes nor deletes takes no part in sharing.
    if (access.read || access.write || access.remove) {
        if ((access.read && share.sharedRead < share.opens) ||
            (access.write && share.sharedWrite < share.opens) ||
            (access.remove && share.sharedDelete < share.opens) ||
            (share.readers != 0 && !shareRead) || (share.writers != 0 && !shareWrite) ||
            (share.deleters != 0 && !shareDelete)) {
            return STATUS_SHARING_VIOLATION;
        }
        ++share.opens;
        share.readers += access.read;
        share.writers += access.write;
        share.deleters += access.remove;
        share.sharedRead += shareRead;
        share.sharedWrite += shareWrite;
        share.sharedDelete += shareDelete;
    }
    return STATUS_SUCCESS;
}

void RemoveOpen(DiskAttachment& attachment, const OpenAccess& access) {
    if (!access.read && !access.write && !access.remove) {
        return;
    }
    std::lock_guard<std::mutex> lock(Disks().mutex);
    ShareAccess& share = attachment.share;
    --share.opens;
    share.readers -= access.read;
    share.writers -= access.write;
    share.deleters -= access.remove;
    share.sharedRead -= (access.share & FILE_SHARE_READ) != 0;
    share.sharedWrite -= (access.share & FILE_SHARE_WRITE) != 0;
    share.sharedDelete -= (access.share & FILE_SHARE_DELETE) != 0;
}

std::shared_ptr<DiskAttachment> FindAttachedDisk(const std::u16string& link, bool caseInsensitive) {
    std::lock_guard<std::mutex> lock(Disks().mutex);
    for (const auto& attachment : Disks().attached) {
        if (caseInsensitive ? EqualsIgnoringCase(attachment->link, link)
                            : attachment->link == link) {
            return attachment;
        }
    }
    return nullptr;
}

void ResetDisks() {
    std::lock_guard<std::mutex> lock(Disks().mutex);
    for (const auto& attachment : Disks().attached) {
        attachment->present = false;
    }
    Disks().attached.clear();
    Disks().known.clear();
    Disks().failuresPending = 0;
}

}  // namespace nt
}  // namespace host

// Flags other than DEVICE_INTERFACE_INCLUDE_NONACTIVE are invalid; the host
// keeps no inactive interfaces, so that flag changes nothing.
NTSTATUS NTAPI IoGetDeviceInterfaces(const GUID* InterfaceClassGuid,
                                     PDEVICE_OBJECT PhysicalDeviceObject, ULONG Flags,
                                     PWSTR* SymbolicLinkList) {
    host::nt::RequirePassiveLevel("IoGetDeviceInterfaces");
    if (InterfaceClassGuid == nullptr || SymbolicLinkList == nullptr) {
        host::BugCheck("IoGetDeviceInterfaces with a null pointer argument");
    }
    if ((Flags & ~DEVICE_INTERFACE_INCLUDE_NONACTIVE) != 0) {
        return STATUS_INVALID_PARAMETER;
    }
    {
        std::lock_guard<std::mutex> lock(host::Disks().mutex);
        if (host::Disks().failuresPending > 0) {
            --host::Disks().failuresPending;
            return host::Disks().failureStatus;
        }
    }
    std::u16string list = host::InterfaceList(*InterfaceClassGuid, PhysicalDeviceObject);
    SIZE_T bytes = list.size() * sizeof(WCHAR);
    auto* buffer =
        static_cast<PWSTR>(ExAllocatePoolWithTag(PagedPool, bytes, host::InterfaceListTag));
    if (buffer == nullptr) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    std::memcpy(buffer, list.data(), bytes);
    *SymbolicLinkList = buffer;
    return STATUS_SUCCESS;
}
