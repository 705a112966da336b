// The registry: device keys, ZwCreateKey, ZwQueryValueKey with the caller's
// buffer length, ZwSetValueKey, and the ordered, case-preserving store.
#include <cstring>

#include "host/nt/devices.h"
#include "host/nt/registry_store.h"
#include "kernel_test.h"

namespace {

using RegistryTest = KernelTest;

constexpr char ClassKey[] =
    "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Class\\"
    "{ca3e7ab9-b4c3-4ae6-8251-579ef933890f}";

// Creates or opens `name` under `parent` as the settings code does.
NTSTATUS CreateKey(HANDLE parent, PCWSTR name, HANDLE* key, ULONG* disposition = nullptr) {
    UNICODE_STRING string;
    RtlInitUnicodeString(&string, name);
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &string, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE,
                               parent, nullptr);
    return ZwCreateKey(key, KEY_ALL_ACCESS, &attributes, 0, nullptr, REG_OPTION_NON_VOLATILE,
                       disposition);
}

NTSTATUS SetDword(HANDLE key, PCWSTR name, ULONG value) {
    UNICODE_STRING string;
    RtlInitUnicodeString(&string, name);
    return ZwSetValueKey(key, &string, 0, REG_DWORD, &value, sizeof value);
}

NTSTATUS Query(HANDLE key, PCWSTR name, void* buffer, ULONG length, ULONG* resultLength) {
    UNICODE_STRING string;
    RtlInitUnicodeString(&string, name);
    return ZwQueryValueKey(key, &string, KeyValuePartialInformation, buffer, length, resultLength);
}

class DriverKeyTest : public RegistryTest {
protected:
    void SetUp() override {
        RegistryTest::SetUp();
        device = host::CreatePhysicalDeviceObject();
        ASSERT_EQ(IoOpenDeviceRegistryKey(device, PLUGPLAY_REGKEY_DRIVER, STANDARD_RIGHTS_READ,
                                          &driverKey),
                  STATUS_SUCCESS);
    }
    void TearDown() override {
        ZwClose(driverKey);
        host::DeletePhysicalDeviceObject(device);
        RegistryTest::TearDown();
    }

    PDEVICE_OBJECT device = nullptr;
    HANDLE driverKey = nullptr;
};

TEST_F(RegistryTest, EachPhysicalDeviceHasItsOwnDriverKey) {
    PDEVICE_OBJECT first = host::CreatePhysicalDeviceObject();
    PDEVICE_OBJECT second = host::CreatePhysicalDeviceObject();
    EXPECT_EQ(host::DriverKeyPath(first), std::string(ClassKey) + "\\0000");
    EXPECT_EQ(host::DriverKeyPath(second), std::string(ClassKey) + "\\0001");
    EXPECT_TRUE(host::RegistryKeyExists(host::DriverKeyPath(second)));
    host::DeletePhysicalDeviceObject(first);
    host::DeletePhysicalDeviceObject(second);
}

TEST_F(RegistryTest, OpeningADeviceKeyChecksTypeAndDevice) {
    PDEVICE_OBJECT device = host::CreatePhysicalDeviceObject();
    DEVICE_OBJECT notPhysical{};
    HANDLE key = nullptr;
    EXPECT_EQ(IoOpenDeviceRegistryKey(device, PLUGPLAY_REGKEY_CURRENT_HWPROFILE, KEY_READ, &key),
              STATUS_INVALID_PARAMETER);
    EXPECT_EQ(IoOpenDeviceRegistryKey(&notPhysical, PLUGPLAY_REGKEY_DRIVER, KEY_READ, &key),
              STATUS_INVALID_DEVICE_REQUEST);
    EXPECT_EQ(key, nullptr);
    host::DeletePhysicalDeviceObject(device);
}

TEST_F(DriverKeyTest, CreateKeyCreatesThenOpens) {
    HANDLE settings;
    ULONG disposition = 0;
    ASSERT_EQ(CreateKey(driverKey, u"Settings", &settings, &disposition), STATUS_SUCCESS);
    EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
    ZwClose(settings);
    ASSERT_EQ(CreateKey(driverKey, u"SETTINGS", &settings, &disposition), STATUS_SUCCESS);
    EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
    ZwClose(settings);
    EXPECT_EQ(host::RegistrySubkeyNames(host::DriverKeyPath(device)),
              std::vector<std::string>{"Settings"});
}

TEST_F(DriverKeyTest, CreateKeyNeedsEveryParentButTheLast) {
    HANDLE key = nullptr;
    EXPECT_EQ(CreateKey(driverKey, u"Missing\\Settings", &key), STATUS_OBJECT_NAME_NOT_FOUND);
    EXPECT_EQ(CreateKey(driverKey, u"\\Settings", &key), STATUS_OBJECT_PATH_SYNTAX_BAD);
    EXPECT_EQ(key, nullptr);
}

TEST_F(DriverKeyTest, KeyHandleIsNotAThread) {
    PVOID object = nullptr;
    EXPECT_EQ(ObReferenceObjectByHandle(driverKey, 0, *PsThreadType, KernelMode, &object, nullptr),
              STATUS_OBJECT_TYPE_MISMATCH);
}

TEST_F(DriverKeyTest, DwordFitsTheTwentyByteBuffer) {
    ASSERT_EQ(SetDword(driverKey, u"Exposure", 0x01020304), STATUS_SUCCESS);
    unsigned char buffer[20];
    ULONG resultLength = 0;
    ASSERT_EQ(Query(driverKey, u"exposure", buffer, sizeof buffer, &resultLength), STATUS_SUCCESS);
    auto* information = reinterpret_cast<PKEY_VALUE_PARTIAL_INFORMATION>(buffer);
    EXPECT_EQ(resultLength, 16u);
    EXPECT_EQ(information->TitleIndex, 0u);
    EXPECT_EQ(information->Type, ULONG(REG_DWORD));
    EXPECT_EQ(information->DataLength, 4u);
    EXPECT_EQ(std::memcmp(information->Data, "\x04\x03\x02\x01", 4), 0);
}

TEST_F(DriverKeyTest, BufferShorterThanTheHeaderIsTooSmall) {
    ASSERT_EQ(SetDword(driverKey, u"Exposure", 8), STATUS_SUCCESS);
    unsigned char buffer[11];
    std::memset(buffer, 0xEE, sizeof buffer);
    ULONG resultLength = 0;
    EXPECT_EQ(Query(driverKey, u"Exposure", buffer, sizeof buffer, &resultLength),
              STATUS_BUFFER_TOO_SMALL);
    EXPECT_EQ(resultLength, 16u);
    EXPECT_EQ(buffer[0], 0xEE);
}

TEST_F(DriverKeyTest, DataThatDoesNotFitOverflowsWithTheHeaderAndPartialData) {
    const char16_t text[] = u"abcde";  // 12 bytes with the terminator
    UNICODE_STRING name;
    RtlInitUnicodeString(&name, u"Text");
    ASSERT_EQ(ZwSetValueKey(driverKey, &name, 0, REG_SZ, const_cast<char16_t*>(text), sizeof text),
              STATUS_SUCCESS);
    unsigned char buffer[20];
    ULONG resultLength = 0;
    EXPECT_EQ(Query(driverKey, u"Text", buffer, sizeof buffer, &resultLength),
              STATUS_BUFFER_OVERFLOW);
    auto* information = reinterpret_cast<PKEY_VALUE_PARTIAL_INFORMATION>(buffer);
    EXPECT_EQ(resultLength, 24u);
    EXPECT_EQ(information->Type, ULONG(REG_SZ));
    EXPECT_EQ(information->DataLength, 12u);
    EXPECT_EQ(std::memcmp(information->Data, text, 8), 0);
}

TEST_F(DriverKeyTest, MissingValueIsNotFound) {
    unsigned char buffer[20];
    ULONG resultLength = 0;
    EXPECT_EQ(Query(driverKey, u"Nothing", buffer, sizeof buffer, &resultLength),
              STATUS_OBJECT_NAME_NOT_FOUND);
}

TEST_F(DriverKeyTest, OnlyThePartialInformationClassIsServed) {
    UNICODE_STRING name;
    RtlInitUnicodeString(&name, u"Exposure");
    unsigned char buffer[64];
    ULONG resultLength = 0;
    EXPECT_EQ(ZwQueryValueKey(driverKey, &name, MaxKeyValueInfoClass, buffer, sizeof buffer,
                              &resultLength),
              STATUS_INVALID_PARAMETER);
}

TEST_F(DriverKeyTest, ValuesKeepCreationOrderAndFirstSpelling) {
    SetDword(driverKey, u"Exposure", 1);
    SetDword(driverKey, u"GlobalGain", 2);
    SetDword(driverKey, u"EXPOSURE", 3);
    std::string path = host::DriverKeyPath(device);
    EXPECT_EQ(host::RegistryValueNames(path), (std::vector<std::string>{"Exposure", "GlobalGain"}));
    EXPECT_EQ(host::RegistryGetDword(path, "exposure"), 3u);
}

TEST_F(DriverKeyTest, TestAccessWritesWhatTheDriverReads) {
    std::string settings = host::DriverKeyPath(device) + "\\Settings";
    host::RegistrySetString(settings, "Name", "ab");
    HANDLE key;
    ASSERT_EQ(CreateKey(driverKey, u"Settings", &key), STATUS_SUCCESS);
    unsigned char buffer[20];
    ULONG resultLength = 0;
    ASSERT_EQ(Query(key, u"Name", buffer, sizeof buffer, &resultLength), STATUS_SUCCESS);
    auto* information = reinterpret_cast<PKEY_VALUE_PARTIAL_INFORMATION>(buffer);
    EXPECT_EQ(information->DataLength, 6u);
    EXPECT_EQ(std::memcmp(information->Data, "a\0b\0\0\0", 6), 0);
    ZwClose(key);
}

}  // namespace

namespace {

TEST_F(DriverKeyTest, AnEmptyValueHasAHeaderAndNoData) {
    UNICODE_STRING name;
    RtlInitUnicodeString(&name, u"Empty");
    ASSERT_EQ(ZwSetValueKey(driverKey, &name, 0, REG_BINARY, nullptr, 0), STATUS_SUCCESS);
    UCHAR buffer[20];
    ULONG resultLength = 0;
    ASSERT_EQ(Query(driverKey, u"Empty", buffer, sizeof buffer, &resultLength), STATUS_SUCCESS);
    KEY_VALUE_PARTIAL_INFORMATION information;
    std::memcpy(&information, buffer, 12);
    EXPECT_EQ(information.Type, ULONG{REG_BINARY});
    EXPECT_EQ(information.DataLength, 0u);
    EXPECT_EQ(resultLength, 12u);
}

}  // namespace
