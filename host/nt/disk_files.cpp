// ZwOpenFile, ZwSetInformationFile, ZwReadFile and ZwWriteFile on the
// links of attached host disks. A file object keeps its attachment, its
// access and share permissions, and its current byte offset; the transfers
// of a synchronous file object are serialized by its own lock, as the I/O
// manager does.
#include <cstring>
#include <mutex>

#include "host/nt/bug_check.h"
#include "host/nt/current_thread.h"
#include "host/nt/disk_attachment.h"
#include "host/nt/fault_plan.h"
#include "host/nt/object_table.h"
#include "host/nt/unicode.h"

namespace host::nt {
namespace {

constexpr ULONG SectorBytes = 512;
constexpr ULONG_PTR FileOpened = 1;  // IO_STATUS_BLOCK.Information of an open
constexpr int FileMaximumInformation = 76;

class FileObject : public KernelObject {
public:
    FileObject(std::shared_ptr<DiskAttachment> attachment, OpenAccess access, bool synchronous)
        : KernelObject(ObjectKind::File),
          attachment_(std::move(attachment)),
          access_(access),
          synchronous_(synchronous) {}
    ~FileObject() override { RemoveOpen(*attachment_, access_); }
    std::string Describe() const override { return ToUtf8(attachment_->link); }

    DiskAttachment& Attachment() const { return *attachment_; }
    bool Synchronous() const { return synchronous_; }

    std::mutex lock;
    LONGLONG position = 0;  // guarded by `lock`

private:
    std::shared_ptr<DiskAttachment> attachment_;
    OpenAccess access_;
    bool synchronous_;
};

OpenAccess AccessOf(ACCESS_MASK desired, ULONG share) {
    OpenAccess access;
    access.read = (desired & (GENERIC_READ | GENERIC_ALL | FILE_READ_DATA | FILE_EXECUTE)) != 0;
    access.write =
        (desired & (GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA | FILE_APPEND_DATA)) != 0;
    access.remove = (desired & (DELETE | GENERIC_ALL)) != 0;
    access.share = share;
    return access;
}

// "\GLOBAL??\" and "\DosDevices\" name the same directory as "\??\".
std::u16string CanonicalLinkName(std::u16string name) {
    for (std::u16string_view alias : {u"\\GLOBAL??\\", u"\\DosDevices\\"}) {
        if (name.size() >= alias.size() &&
            EqualsIgnoringCase(std::u16string_view(name).substr(0, alias.size()), alias)) {
            return u"\\??\\" + name.substr(alias.size());
        }
    }
    return name;
}

enum class Direction { Read, Write };

// The byte offset a transfer starts at: the given one, or the current
// position of a synchronous file object.
NTSTATUS TransferOffset(const FileObject& file, const PLARGE_INTEGER byteOffset, LONGLONG* offset) {
    bool useCurrent =
        byteOffset == nullptr ||
        (byteOffset->HighPart == -1 && byteOffset->LowPart == FILE_USE_FILE_POINTER_POSITION);
    if (useCurrent) {
        if (!file.Synchronous()) {
            return STATUS_INVALID_PARAMETER;
        }
        *offset = file.position;
        return STATUS_SUCCESS;
    }
    if (byteOffset->QuadPart < 0) {
        return STATUS_INVALID_PARAMETER;
    }
    *offset = byteOffset->QuadPart;
    return STATUS_SUCCESS;
}

// What the disk class driver completes the request with.
NTSTATUS DeviceTransfer(DiskAttachment& attachment, Direction direction, LONGLONG offset,
                        PVOID buffer, ULONG length) {
    if (!attachment.present) {
        return STATUS_DEVICE_DOES_NOT_EXIST;
    }
    uint64_t size = attachment.disk->Size();
    if (offset % SectorBytes != 0 || length % SectorBytes != 0 ||
        static_cast<uint64_t>(offset) > size || length > size - offset) {
        return STATUS_INVALID_PARAMETER;
    }
    bool done = direction == Direction::Read ? attachment.disk->Read(offset, buffer, length)
                                             : attachment.disk->Write(offset, buffer, length);
    return done ? STATUS_SUCCESS : STATUS_IO_DEVICE_ERROR;
}

// A transfer that ends early with a success status: the whole sectors of
// its first half. A read reaches the device whole and the rest of the
// buffer is left scribbled; a write delivers only that first part.
NTSTATUS ShortTransfer(DiskAttachment& attachment, Direction direction, LONGLONG offset,
                       PVOID buffer, ULONG length, ULONG* done) {
    *done = length / 2 / SectorBytes * SectorBytes;
    if (direction == Direction::Write) {
        return *done == 0 ? STATUS_SUCCESS
                          : DeviceTransfer(attachment, direction, offset, buffer, *done);
    }
    NTSTATUS status = DeviceTransfer(attachment, direction, offset, buffer, length);
    std::memset(static_cast<UCHAR*>(buffer) + *done, 0xCD, length - *done);
    return status;
}

NTSTATUS Transfer(Direction direction, HANDLE fileHandle, PIO_STATUS_BLOCK ioStatusBlock,
                  PVOID buffer, ULONG length, PLARGE_INTEGER byteOffset, const char* routine) {
    RequirePassiveLevel(routine);
    if (ioStatusBlock == nullptr || (buffer == nullptr && length != 0)) {
        BugCheck(std::string(routine) + " with a null pointer argument");
    }
    ObjectReference<FileObject> file;
    NTSTATUS status = file.Take(fileHandle, ObjectKind::File);
    if (!NT_SUCCESS(status)) {
        return status;
    }
    std::lock_guard<std::mutex> lock(file->lock);
    LONGLONG offset;
    status = TransferOffset(*file, byteOffset, &offset);
    if (!NT_SUCCESS(status)) {
        return status;
    }
    const nt::PlannedFault fault =
        nt::TakeCall(direction == Direction::Read ? FaultSite::DiskRead : FaultSite::DiskWrite);
    ULONG done = length;
    if (fault.shortTransfer) {
        status = ShortTransfer(file->Attachment(), direction, offset, buffer, length, &done);
    } else if (fault.fail) {
        status = fault.status;
    } else {
        status = DeviceTransfer(file->Attachment(), direction, offset, buffer, length);
    }
    ioStatusBlock->Status = status;
    ioStatusBlock->Information = NT_SUCCESS(status) ? done : 0;
    if (NT_SUCCESS(status) && file->Synchronous()) {
        file->position = offset + done;
    }
    return status;
}

}  // namespace
}  // namespace host::nt

using namespace host::nt;

NTSTATUS NTAPI ZwOpenFile(PHANDLE FileHandle, ACCESS_MASK DesiredAccess,
                          POBJECT_ATTRIBUTES ObjectAttributes, PIO_STATUS_BLOCK IoStatusBlock,
                          ULONG ShareAccess, ULONG OpenOptions) {
    RequirePassiveLevel("ZwOpenFile");
    if (FileHandle == nullptr || ObjectAttributes == nullptr || IoStatusBlock == nullptr) {
        host::BugCheck("ZwOpenFile with a null pointer argument");
    }
    if ((ShareAccess & ~FILE_SHARE_VALID_FLAGS) != 0) {
        return STATUS_INVALID_PARAMETER;
    }
    std::u16string name = FromUnicodeString(ObjectAttributes->ObjectName);
    if (ObjectAttributes->RootDirectory != nullptr || name.empty() || name[0] != u'\\') {
        return STATUS_OBJECT_PATH_SYNTAX_BAD;
    }
    bool caseInsensitive = (ObjectAttributes->Attributes & OBJ_CASE_INSENSITIVE) != 0;
    auto attachment = FindAttachedDisk(CanonicalLinkName(name), caseInsensitive);
    if (attachment == nullptr) {
        return STATUS_OBJECT_NAME_NOT_FOUND;
    }
    OpenAccess access = AccessOf(DesiredAccess, ShareAccess);
    NTSTATUS status = AddOpen(*attachment, access);
    if (!NT_SUCCESS(status)) {
        return status;
    }
    bool synchronous =
        (OpenOptions & (FILE_SYNCHRONOUS_IO_ALERT | FILE_SYNCHRONOUS_IO_NONALERT)) != 0;
    auto* file = new FileObject(std::move(attachment), access, synchronous);
    InsertObject(file);
    *FileHandle = CreateHandle(file, DesiredAccess, ObjectAttributes->Attributes);
    IoStatusBlock->Status = STATUS_SUCCESS;
    IoStatusBlock->Information = FileOpened;
    return STATUS_SUCCESS;
}

// Only FilePositionInformation is served. The I/O manager handles it without
// the device, so it works on a removed disk too; other valid classes reach
// the disk driver, which does not serve them.
NTSTATUS NTAPI ZwSetInformationFile(HANDLE FileHandle, PIO_STATUS_BLOCK IoStatusBlock,
                                    PVOID FileInformation, ULONG Length,
                                    FILE_INFORMATION_CLASS FileInformationClass) {
    RequirePassiveLevel("ZwSetInformationFile");
    if (IoStatusBlock == nullptr || FileInformation == nullptr) {
        host::BugCheck("ZwSetInformationFile with a null pointer argument");
    }
    // A caller may pass any number, not only the enumerators.
    const int informationClass = static_cast<int>(FileInformationClass);
    if (informationClass <= 0 || informationClass >= FileMaximumInformation) {
        return STATUS_INVALID_INFO_CLASS;
    }
    ObjectReference<FileObject> file;
    NTSTATUS status = file.Take(FileHandle, ObjectKind::File);
    if (!NT_SUCCESS(status)) {
        return status;
    }
    if (FileInformationClass != FilePositionInformation) {
        return STATUS_INVALID_DEVICE_REQUEST;
    }
    if (Length < sizeof(FILE_POSITION_INFORMATION)) {
        return STATUS_INFO_LENGTH_MISMATCH;
    }
    LONGLONG position =
        static_cast<PFILE_POSITION_INFORMATION>(FileInformation)->CurrentByteOffset.QuadPart;
    if (position < 0) {
        return STATUS_INVALID_PARAMETER;
    }
    std::lock_guard<std::mutex> lock(file->lock);
    file->position = position;
    IoStatusBlock->Status = STATUS_SUCCESS;
    IoStatusBlock->Information = 0;
    return STATUS_SUCCESS;
}

NTSTATUS NTAPI ZwReadFile(HANDLE FileHandle, HANDLE Event, PIO_APC_ROUTINE ApcRoutine,
                          PVOID ApcContext, PIO_STATUS_BLOCK IoStatusBlock, PVOID Buffer,
                          ULONG Length, PLARGE_INTEGER ByteOffset, PULONG Key) {
    (void)Event;
    (void)ApcRoutine;
    (void)ApcContext;
    (void)Key;
    return Transfer(Direction::Read, FileHandle, IoStatusBlock, Buffer, Length, ByteOffset,
                    "ZwReadFile");
}

NTSTATUS NTAPI ZwWriteFile(HANDLE FileHandle, HANDLE Event, PIO_APC_ROUTINE ApcRoutine,
                           PVOID ApcContext, PIO_STATUS_BLOCK IoStatusBlock, PVOID Buffer,
                           ULONG Length, PLARGE_INTEGER ByteOffset, PULONG Key) {
    (void)Event;
    (void)ApcRoutine;
    (void)ApcContext;
    (void)Key;
    return Transfer(Direction::Write, FileHandle, IoStatusBlock, Buffer, Length, ByteOffset,
                    "ZwWriteFile");
}
