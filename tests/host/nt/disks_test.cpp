// Disk interfaces and files: the interface list, share access, positioned
// synchronous transfers with their statuses, and surprise removal.
#include <cstring>
#include <vector>

#include "host/nt/disks.h"
#include "host/nt/pool_control.h"
#include "kernel_test.h"

namespace {

const GUID DiskClass = {
    0x53F56307, 0xB6BF, 0x11D0, {0x94, 0xF2, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B}};

class MemoryDisk : public host::Disk {
public:
    explicit MemoryDisk(size_t size) : bytes_(size) {
        for (size_t i = 0; i < size; ++i) {
            bytes_[i] = static_cast<uint8_t>(i / 512);
        }
    }
    uint64_t Size() const override { return bytes_.size(); }

protected:
    bool ReadAt(uint64_t offset, void* buffer, size_t length) override {
        std::memcpy(buffer, bytes_.data() + offset, length);
        return true;
    }
    bool WriteAt(uint64_t offset, const void* buffer, size_t length) override {
        std::memcpy(bytes_.data() + offset, buffer, length);
        return true;
    }

private:
    std::vector<uint8_t> bytes_;
};

class DiskTest : public KernelTest {
protected:
    NTSTATUS Open(const std::u16string& link, HANDLE* handle, ULONG share = 0) {
        UNICODE_STRING name;
        RtlInitUnicodeString(&name, link.c_str());
        OBJECT_ATTRIBUTES attributes;
        InitializeObjectAttributes(&attributes, &name, OBJ_CASE_INSENSITIVE, nullptr, nullptr);
        IO_STATUS_BLOCK status;
        return ZwOpenFile(handle, GENERIC_READ | GENERIC_WRITE, &attributes, &status, share,
                          FILE_SYNCHRONOUS_IO_NONALERT);
    }
    NTSTATUS Seek(HANDLE handle, LONGLONG offset, ULONG length = 8,
                  FILE_INFORMATION_CLASS kind = FilePositionInformation) {
        FILE_POSITION_INFORMATION position;
        position.CurrentByteOffset.QuadPart = offset;
        IO_STATUS_BLOCK status;
        return ZwSetInformationFile(handle, &status, &position, length, kind);
    }
    NTSTATUS Read(HANDLE handle, void* buffer, ULONG length, ULONG_PTR* transferred = nullptr) {
        IO_STATUS_BLOCK status{};
        NTSTATUS result = ZwReadFile(handle, nullptr, nullptr, nullptr, &status, buffer, length,
                                     nullptr, nullptr);
        if (transferred != nullptr) {
            *transferred = status.Information;
        }
        return result;
    }
    NTSTATUS Write(HANDLE handle, const void* buffer, ULONG length) {
        IO_STATUS_BLOCK status{};
        return ZwWriteFile(handle, nullptr, nullptr, nullptr, &status, const_cast<void*>(buffer),
                           length, nullptr, nullptr);
    }
    std::vector<std::u16string> Interfaces(const GUID& interfaceClass) {
        PWSTR list = nullptr;
        EXPECT_EQ(IoGetDeviceInterfaces(&interfaceClass, nullptr, 0, &list), STATUS_SUCCESS);
        std::vector<std::u16string> links = host::SplitMultiString(list);
        ExFreePool(list);
        return links;
    }

    std::shared_ptr<MemoryDisk> disk = std::make_shared<MemoryDisk>(0x40000);
};

TEST_F(DiskTest, InterfacesListTheAttachedDisksInAttachOrder) {
    std::u16string first = host::AttachDisk(disk);
    std::u16string second = host::AttachDisk(std::make_shared<MemoryDisk>(4096));
    EXPECT_EQ(Interfaces(DiskClass), (std::vector<std::u16string>{first, second}));
    EXPECT_EQ(first.substr(0, 4), u"\\??\\");
    EXPECT_NE(first, second);
}

TEST_F(DiskTest, OtherInterfaceClassesAreEmpty) {
    host::AttachDisk(disk);
    GUID otherClass = DiskClass;
    otherClass.Data1 ^= 1;
    PWSTR list = nullptr;
    ASSERT_EQ(IoGetDeviceInterfaces(&otherClass, nullptr, 0, &list), STATUS_SUCCESS);
    EXPECT_EQ(list[0], u'\0');
    ExFreePool(list);
}

TEST_F(DiskTest, InterfaceQueryFailsWhenToldOrWhenThePoolIsShort) {
    PWSTR list = nullptr;
    host::FailNextDeviceInterfaceQueries(1, STATUS_NO_SUCH_DEVICE);
    EXPECT_EQ(IoGetDeviceInterfaces(&DiskClass, nullptr, 0, &list), STATUS_NO_SUCH_DEVICE);
    host::FailPoolAllocation(1);
    EXPECT_EQ(IoGetDeviceInterfaces(&DiskClass, nullptr, 0, &list), STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(IoGetDeviceInterfaces(&DiskClass, nullptr, 2, &list), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(list, nullptr);
}

TEST_F(DiskTest, ExclusiveOpenRefusesASecondOpenUntilClosed) {
    std::u16string link = host::AttachDisk(disk);
    HANDLE first;
    HANDLE second = nullptr;
    ASSERT_EQ(Open(link, &first), STATUS_SUCCESS);
    EXPECT_EQ(Open(link, &second, FILE_SHARE_READ | FILE_SHARE_WRITE), STATUS_SHARING_VIOLATION);
    EXPECT_EQ(second, nullptr);
    ZwClose(first);
    ASSERT_EQ(Open(link, &second), STATUS_SUCCESS);
    ZwClose(second);
}

TEST_F(DiskTest, SharedOpensCoexist) {
    std::u16string link = host::AttachDisk(disk);
    HANDLE first;
    HANDLE second;
    ULONG share = FILE_SHARE_READ | FILE_SHARE_WRITE;
    ASSERT_EQ(Open(link, &first, share), STATUS_SUCCESS);
    EXPECT_EQ(Open(link, &second, share), STATUS_SUCCESS);
    ZwClose(first);
    ZwClose(second);
}

TEST_F(DiskTest, UnknownNameIsNotFound) {
    host::AttachDisk(disk);
    HANDLE handle = nullptr;
    EXPECT_EQ(Open(u"\\??\\NoSuchDisk", &handle), STATUS_OBJECT_NAME_NOT_FOUND);
    EXPECT_EQ(handle, nullptr);
}

TEST_F(DiskTest, ReadsStartAtThePositionAndAdvanceIt) {
    HANDLE handle;
    ASSERT_EQ(Open(host::AttachDisk(disk), &handle), STATUS_SUCCESS);
    ASSERT_EQ(Seek(handle, 0x20000), STATUS_SUCCESS);
    unsigned char sector[512];
    ULONG_PTR transferred = 0;
    ASSERT_EQ(Read(handle, sector, 512, &transferred), STATUS_SUCCESS);
    EXPECT_EQ(transferred, 512u);
    EXPECT_EQ(sector[0], 0x100 & 0xFF);
    ASSERT_EQ(Read(handle, sector, 512), STATUS_SUCCESS);
    EXPECT_EQ(sector[0], 0x101 & 0xFF);
    ZwClose(handle);
}

TEST_F(DiskTest, WritesReachTheDiskAtThePosition) {
    HANDLE handle;
    ASSERT_EQ(Open(host::AttachDisk(disk), &handle), STATUS_SUCCESS);
    unsigned char command[512] = {0x20, 0x01, 0x10, 0xDE};
    ASSERT_EQ(Seek(handle, 0x20200), STATUS_SUCCESS);
    ASSERT_EQ(Write(handle, command, 512), STATUS_SUCCESS);
    unsigned char back[512];
    ASSERT_TRUE(disk->Read(0x20200, back, 512));
    EXPECT_EQ(std::memcmp(back, command, 512), 0);
    ZwClose(handle);
}

TEST_F(DiskTest, TransfersMustBeWholeSectorsWithinTheDisk) {
    HANDLE handle;
    ASSERT_EQ(Open(host::AttachDisk(disk), &handle), STATUS_SUCCESS);
    std::vector<unsigned char> buffer(1024);
    EXPECT_EQ(Read(handle, buffer.data(), 100), STATUS_INVALID_PARAMETER);
    ASSERT_EQ(Seek(handle, 10), STATUS_SUCCESS);
    EXPECT_EQ(Read(handle, buffer.data(), 512), STATUS_INVALID_PARAMETER);
    ASSERT_EQ(Seek(handle, 0x40000 - 512), STATUS_SUCCESS);
    EXPECT_EQ(Read(handle, buffer.data(), 1024), STATUS_INVALID_PARAMETER);
    ZwClose(handle);
}

TEST_F(DiskTest, FailedTransferIsADeviceErrorAndKeepsThePosition) {
    HANDLE handle;
    ASSERT_EQ(Open(host::AttachDisk(disk), &handle), STATUS_SUCCESS);
    ASSERT_EQ(Seek(handle, 0x20000), STATUS_SUCCESS);
    disk->FailNextTransfers(1);
    unsigned char sector[512];
    ULONG_PTR transferred = 99;
    EXPECT_EQ(Read(handle, sector, 512, &transferred), STATUS_IO_DEVICE_ERROR);
    EXPECT_EQ(transferred, 0u);
    ASSERT_EQ(Read(handle, sector, 512), STATUS_SUCCESS);
    EXPECT_EQ(sector[0], 0x100 & 0xFF);
    ZwClose(handle);
}

TEST_F(DiskTest, SeekChecksClassAndLength) {
    HANDLE handle;
    ASSERT_EQ(Open(host::AttachDisk(disk), &handle), STATUS_SUCCESS);
    EXPECT_EQ(Seek(handle, 0, 4), STATUS_INFO_LENGTH_MISMATCH);
    EXPECT_EQ(Seek(handle, -512), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(Seek(handle, 0, 8, FileBasicInformation), STATUS_INVALID_DEVICE_REQUEST);
    EXPECT_EQ(Seek(handle, 0, 8, static_cast<FILE_INFORMATION_CLASS>(0)),
              STATUS_INVALID_INFO_CLASS);
    ZwClose(handle);
}

TEST_F(DiskTest, SurpriseRemovalFailsOpenHandlesAndHidesTheLink) {
    std::u16string link = host::AttachDisk(disk);
    HANDLE handle;
    ASSERT_EQ(Open(link, &handle), STATUS_SUCCESS);
    ASSERT_TRUE(host::DetachDisk(link));
    EXPECT_TRUE(Interfaces(DiskClass).empty());
    HANDLE another = nullptr;
    EXPECT_EQ(Open(link, &another), STATUS_OBJECT_NAME_NOT_FOUND);
    EXPECT_EQ(Seek(handle, 0x20000), STATUS_SUCCESS);
    unsigned char sector[512];
    EXPECT_EQ(Read(handle, sector, 512), STATUS_DEVICE_DOES_NOT_EXIST);
    EXPECT_EQ(Write(handle, sector, 512), STATUS_DEVICE_DOES_NOT_EXIST);

    EXPECT_EQ(host::AttachDisk(disk), link);
    ASSERT_EQ(Open(link, &another), STATUS_SUCCESS);
    EXPECT_EQ(Read(another, sector, 512), STATUS_SUCCESS);
    EXPECT_EQ(Read(handle, sector, 512), STATUS_DEVICE_DOES_NOT_EXIST);
    ZwClose(handle);
    ZwClose(another);
}

}  // namespace
