// The .reg file of the host registry: what the loader reads (encodings,
// value forms, escapes, continuations, deletions, case), what the saver
// writes byte for byte, malformed files reported by line with nothing
// changed, and a save that never leaves a broken file.
#include <gtest/gtest.h>

#include <dirent.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "host/nt/devices.h"
#include "host/nt/reg_file.h"
#include "host/nt/registry_store.h"
#include "host/nt/unicode.h"
#include "kernel_test.h"

namespace {

constexpr char Key[] = "HKEY_LOCAL_MACHINE\\SYSTEM\\Test";
constexpr char HeaderLine[] = "Windows Registry Editor Version 5.00\n";

std::vector<uint8_t> Bytes(std::initializer_list<int> bytes) {
    return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

class RegFile : public KernelTest {
protected:
    void SetUp() override {
        KernelTest::SetUp();
        std::string pattern = testing::TempDir() + "reg-file-XXXXXX";
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        directory = pattern;
        file = directory + "/settings.reg";
    }
    void TearDown() override {
        for (const std::string& name : Entries()) {
            std::remove((directory + "/" + name).c_str());
        }
        rmdir(directory.c_str());
        KernelTest::TearDown();
    }

    void Write(const std::string& bytes) { std::ofstream(file, std::ios::binary) << bytes; }
    std::string Read() const {
        std::ifstream stream(file, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(stream), {});
    }
    std::vector<std::string> Entries() const {
        std::vector<std::string> names;
        if (DIR* dir = opendir(directory.c_str())) {
            while (dirent* entry = readdir(dir)) {
                std::string name = entry->d_name;
                if (name != "." && name != "..") {
                    names.push_back(name);
                }
            }
            closedir(dir);
        }
        return names;
    }
    // Loads a file of a header and `body`.
    void Load(const std::string& body) {
        Write(HeaderLine + body);
        ASSERT_TRUE(host::LoadRegFile(file));
    }
    // The message of a load that must fail.
    std::string LoadError(const std::string& bytes) {
        Write(bytes);
        try {
            host::LoadRegFile(file);
        } catch (const host::RegFileError& error) {
            return error.what();
        }
        return "loaded";
    }
    std::vector<uint8_t> Data(const char* name, const char* key = Key) {
        auto value = host::RegistryGetValue(key, name);
        return value ? value->data : std::vector<uint8_t>{0xEE};
    }
    ULONG Type(const char* name, const char* key = Key) {
        auto value = host::RegistryGetValue(key, name);
        return value ? value->type : 0xEEEE;
    }

    std::string directory;
    std::string file;
};

using RegFileLoad = RegFile;
using RegFileMalformed = RegFile;
using RegFileSave = RegFile;

TEST_F(RegFileLoad, ReadsEveryValueForm) {
    Load(
        "\n[HKEY_LOCAL_MACHINE\\SYSTEM\\Test]\n"
        "\"Count\"=dword:0000001e\n"
        "\"Short\"=DWORD:1F\n"
        "\"Text\"=\"a \\\"b\\\" c:\\\\d\"\n"
        "\"Empty\"=\"\"\n"
        "\"Blob\"=hex:00,ff,7,A0\n"
        "\"NoData\"=hex:\n"
        "\"Expand\"=hex(2):25,00,00,00\n"
        "\"Quad\"=hex(b):01,00,00,00,00,00,00,00\n"
        "\"Type\"=hex(1234abcd):01\n"
        "@=\"default\"\n"
        "\"Quote\\\"d\"=dword:1\n");
    EXPECT_EQ(host::RegistryValueNames(Key),
              (std::vector<std::string>{"Count", "Short", "Text", "Empty", "Blob", "NoData",
                                        "Expand", "Quad", "Type", "", "Quote\"d"}));
    EXPECT_EQ(Type("Count"), ULONG(REG_DWORD));
    EXPECT_EQ(Data("Count"), Bytes({0x1E, 0, 0, 0}));
    EXPECT_EQ(Data("Short"), Bytes({0x1F, 0, 0, 0}));
    EXPECT_EQ(Type("Text"), ULONG(REG_SZ));
    std::vector<uint8_t> text;
    for (char c : std::string("a \"b\" c:\\d")) {
        text.push_back(static_cast<uint8_t>(c));
        text.push_back(0);
    }
    text.insert(text.end(), {0, 0});
    EXPECT_EQ(Data("Text"), text);
    EXPECT_EQ(Data("Empty"), Bytes({0, 0}));
    EXPECT_EQ(Type("Blob"), ULONG(REG_BINARY));
    EXPECT_EQ(Data("Blob"), Bytes({0x00, 0xFF, 0x07, 0xA0}));
    EXPECT_EQ(Data("NoData"), Bytes({}));
    EXPECT_EQ(Type("Expand"), ULONG(REG_EXPAND_SZ));
    EXPECT_EQ(Type("Quad"), ULONG(REG_QWORD));
    EXPECT_EQ(Data("Quad"), Bytes({1, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(Type("Type"), 0x1234ABCDu);
    EXPECT_EQ(Type(""), ULONG(REG_SZ));
    EXPECT_EQ(Data("").size(), 16u);
}

TEST_F(RegFileLoad, SkipsCommentsAndBlankLinesAndJoinsHexContinuations) {
    Load(
        "; a comment\n"
        "\n"
        "  [HKEY_LOCAL_MACHINE\\SYSTEM\\Test]  \n"
        "  ; indented comment \\\n"
        "\"Long\"=hex(3):01,02,\\\n"
        "  03,04,\\\n"
        "\t05\n"
        "\"After\"=dword:00000002\n");
    EXPECT_EQ(Data("Long"), Bytes({1, 2, 3, 4, 5}));
    EXPECT_EQ(host::RegistryGetDword(Key, "After"), 2u);
}

TEST_F(RegFileLoad, AcceptsCrlfAndBothByteOrderMarks) {
    std::string body =
        "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\SYSTEM\\Test]\r\n"
        "\"Name\"=\"\xC3\xA9t\xC3\xA9 \xF0\x9F\x93\xB7\"\r\n";
    Write("\xEF\xBB\xBF" + body);
    ASSERT_TRUE(host::LoadRegFile(file));
    std::vector<uint8_t> expected =
        Bytes({0xE9, 0, 't', 0, 0xE9, 0, ' ', 0, 0x3D, 0xD8, 0xF7, 0xDC, 0, 0});
    EXPECT_EQ(Data("Name"), expected);

    host::ResetKernel();
    std::u16string wide = host::ToUtf16(body);
    std::string utf16 = "\xFF\xFE";
    for (char16_t c : wide) {
        utf16.push_back(static_cast<char>(c & 0xFF));
        utf16.push_back(static_cast<char>(c >> 8));
    }
    Write(utf16);
    ASSERT_TRUE(host::LoadRegFile(file));
    EXPECT_EQ(Data("Name"), expected);
}

TEST_F(RegFileLoad, NamesMatchWithoutCaseAndKeepTheirCaseAndPlace) {
    host::RegistrySetDword(Key, "First", 1);
    host::RegistrySetDword(Key, "Exposure", 2);
    host::RegistrySetDword(Key, "Last", 3);
    Load(
        "[hkey_local_machine\\system\\TEST\\New]\n"
        "[HKEY_LOCAL_MACHINE\\system\\test]\n"
        "\"EXPOSURE\"=dword:00000009\n"
        "\"Added\"=dword:00000004\n");
    EXPECT_EQ(host::RegistryValueNames(Key),
              (std::vector<std::string>{"First", "Exposure", "Last", "Added"}));
    EXPECT_EQ(host::RegistryGetDword(Key, "Exposure"), 9u);
    EXPECT_EQ(host::RegistrySubkeyNames("HKEY_LOCAL_MACHINE"), std::vector<std::string>{"SYSTEM"});
    EXPECT_EQ(host::RegistrySubkeyNames("HKEY_LOCAL_MACHINE\\SYSTEM"),
              std::vector<std::string>{"Test"});
    EXPECT_EQ(host::RegistrySubkeyNames(Key), std::vector<std::string>{"New"});
}

TEST_F(RegFileLoad, DeletesValuesAndKeysWithTheirSubtrees) {
    host::RegistrySetDword(Key, "Gone", 1);
    host::RegistrySetDword(Key, "Kept", 2);
    host::RegistrySetDword(std::string(Key) + "\\Old\\Deeper", "Value", 3);
    host::RegistrySetDword(std::string(Key) + "\\Other", "Value", 4);
    Load(
        "[HKEY_LOCAL_MACHINE\\SYSTEM\\Test]\n"
        "\"gone\"=-\n"
        "\"Missing\"=-\n"
        "[-HKEY_LOCAL_MACHINE\\SYSTEM\\Test\\old]\n"
        "[-HKEY_LOCAL_MACHINE\\SYSTEM\\Nowhere\\At\\All]\n");
    EXPECT_EQ(host::RegistryValueNames(Key), std::vector<std::string>{"Kept"});
    EXPECT_EQ(host::RegistrySubkeyNames(Key), std::vector<std::string>{"Other"});
    EXPECT_FALSE(host::RegistryKeyExists("HKEY_LOCAL_MACHINE\\SYSTEM\\Nowhere"));
}

TEST_F(RegFileLoad, AHandleToADeletedKeyStaysUsable) {
    PDEVICE_OBJECT device = host::CreatePhysicalDeviceObject();
    HANDLE key;
    ASSERT_EQ(IoOpenDeviceRegistryKey(device, PLUGPLAY_REGKEY_DRIVER, READ_CONTROL, &key),
              STATUS_SUCCESS);
    std::string path = host::DriverKeyPath(device);
    Load("[-" + path + "]\n");
    EXPECT_FALSE(host::RegistryKeyExists(path));
    UNICODE_STRING name;
    RtlInitUnicodeString(&name, u"Value");
    ULONG value = 5;
    EXPECT_EQ(ZwSetValueKey(key, &name, 0, REG_DWORD, &value, sizeof value), STATUS_SUCCESS);
    EXPECT_EQ(ZwClose(key), STATUS_SUCCESS);
    host::DeletePhysicalDeviceObject(device);
}

TEST_F(RegFileLoad, AMissingFileLoadsNothing) {
    EXPECT_FALSE(host::LoadRegFile(directory + "/absent.reg"));
    EXPECT_TRUE(Entries().empty());
}

TEST_F(RegFileMalformed, EachErrorNamesItsLineAndChangesNothing) {
    struct Case {
        std::string body;  // after the header line
        std::string error;
    };
    const std::string section = "[HKEY_LOCAL_MACHINE\\SYSTEM\\Test\\Fresh]\n\"New\"=dword:1\n";
    const std::vector<Case> cases = {
        {"\"Early\"=dword:1\n", ":2: value line before the first [key] line"},
        {section + "[HKEY_CURRENT_USER\\X]\n", ":4: unknown root key 'HKEY_CURRENT_USER'"},
        {section + "[HKEY_LOCAL_MACHINE\\SYSTEM\\\\X]\n", ":4: empty key name in the path"},
        {section + "[HKEY_LOCAL_MACHINE\\SYSTEM\n", ":4: expected ']' at the end"},
        {section + "[-HKEY_LOCAL_MACHINE]\n", ":4: a root key cannot be deleted"},
        {section + "[-HKEY_LOCAL_MACHINE\\SYSTEM\\X]\n\"A\"=dword:1\n",
         ":5: value line in a deleted key"},
        {section + "\"A\"=dword:123456789\n", ":4: dword needs 1 to 8 hex digits"},
        {section + "\"A\"=dword:\n", ":4: dword needs 1 to 8 hex digits"},
        {section + "\"A\"=dword:1x\n", ":4: dword needs 1 to 8 hex digits"},
        {section + "\"A\"=\"open\n", ":4: missing closing quote"},
        {section + "\"A\"=\"a\\tb\"\n", ":4: unknown escape"},
        {section + "\"A\"=\"a\" b\n", ":4: unexpected text after the value"},
        {section + "\"A\" dword:1\n", ":4: expected '=' after the value name"},
        {section + "\"A\"=qword:1\n", ":4: expected \"text\", dword:, hex:, hex(TYPE): or -"},
        {section + "\"A\"=hex:1g\n", ":4: expected ',' between bytes"},
        {section + "\"A\"=hex:100\n", ":4: expected a byte of one or two hex digits"},
        {section + "\"A\"=hex:01,\n", ":4: expected a byte of one or two hex digits"},
        {section + "\"A\"=hex:0123456789abcdef0123\n",
         ":4: expected a byte of one or two hex digits"},
        {section + "\"A\"=hex(x):01\n", ":4: a value type needs 1 to 8 hex digits"},
        {section + "\"A\"=hex(2)01\n", ":4: expected hex(TYPE):"},
        {section + "\"A\"=hex:01,\\\n  02,\\\n  0z\n", ":6: expected ',' between bytes"},
        {section + "\"A\"=hex:01,\\\n", ":4: hex data continues past the end of the file"},
        {section + "junk\n", ":4: expected a [key] line"},
        // Names the saver could not write back.
        {section + "[HKEY_LOCAL_MACHINE\\SYSTEM\\A" + '\0' + "B]\n",
         ":4: a key name with a NUL or an unpaired surrogate"},
        {section + "\"A" + '\0' + "B\"=dword:1\n",
         ":4: a value name with a NUL or an unpaired surrogate"},
    };
    host::RegistrySetDword(Key, "Before", 7);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.body);
        std::string bytes = HeaderLine + c.body;
        std::string message = LoadError(bytes);
        EXPECT_EQ(message.rfind(file + c.error, 0), 0u) << message;
        EXPECT_EQ(message.find('\n'), std::string::npos);
        EXPECT_EQ(Read(), bytes);
        EXPECT_FALSE(host::RegistryKeyExists("HKEY_LOCAL_MACHINE\\SYSTEM\\Test\\Fresh"));
        EXPECT_EQ(host::RegistryValueNames(Key), std::vector<std::string>{"Before"});
    }
}

TEST_F(RegFileMalformed, HeaderAndEncodingErrorsNameTheirLine) {
    EXPECT_EQ(LoadError(""), file +
                                 ":1: expected the header line "
                                 "'Windows Registry Editor Version 5.00'");
    EXPECT_EQ(LoadError("REGEDIT4\n"), file +
                                           ":1: expected the header line "
                                           "'Windows Registry Editor Version 5.00'");
    EXPECT_EQ(LoadError(std::string(HeaderLine) + "\n; \xC3\x28\n"), file + ":3: invalid UTF-8");
    EXPECT_EQ(LoadError(std::string(HeaderLine) + "; \xED\xA0\x80\n"), file + ":2: invalid UTF-8");
    EXPECT_EQ(LoadError(std::string(HeaderLine) + "; \xC0\xAF\n"), file + ":2: invalid UTF-8");
    EXPECT_EQ(LoadError(std::string(HeaderLine) + "; \xE2\x82"), file + ":2: invalid UTF-8");
    EXPECT_EQ(LoadError(std::string("\xFF\xFEW\0\n\0\x00\xDC", 8)), file + ":2: invalid UTF-16");
    EXPECT_EQ(LoadError(std::string("\xFF\xFEW\0\x00\xD8", 6)), file + ":1: invalid UTF-16");
    EXPECT_EQ(LoadError(std::string("\xFF\xFEW", 3)),
              file + ":1: UTF-16 text with an odd number of bytes");
    EXPECT_EQ(LoadError(std::string("\xFE\xFF\0W", 4)),
              file + ":1: UTF-16 big-endian text: save it as UTF-8 or UTF-16LE");
}

TEST_F(RegFileSave, WritesTheSubtreeInTheRegistryEditorsForm) {
    std::string key = Key;
    host::RegistrySetDword(key, "Count", 0xABCDEF01);
    host::RegistrySetString(key, "Path", "C:\\dir \"x\" \xC3\xA9");
    host::RegistrySetValue(key, "", REG_SZ, {'d', 0, 0, 0});
    host::RegistrySetValue(key, "Blob", REG_BINARY, Bytes({0, 0x1F, 0xA0}));
    host::RegistrySetValue(key, "Quad", REG_QWORD, Bytes({1, 2, 3, 4, 5, 6, 7, 8}));
    host::RegistrySetValue(key, "Odd", REG_DWORD, Bytes({1, 2}));
    host::RegistrySetValue(key, "Lines", REG_SZ, Bytes({'a', 0, '\n', 0, 0, 0}));
    host::RegistrySetValue(key, "Unended", REG_SZ, Bytes({'a', 0}));
    host::RegistrySetValue(key, "Nul", REG_SZ, Bytes({0, 0, 'b', 0, 0, 0}));
    host::RegistrySetValue(key, "Lone", REG_SZ, Bytes({0x00, 0xD8, 0, 0}));
    host::RegistrySetValue(key, "Long", REG_BINARY, std::vector<uint8_t>(30, 0xAB));
    host::RegistryCreateKey(key + "\\Empty\\Inner");
    host::RegistrySetDword(key + "\\Second", "x", 0);
    host::RegistrySetDword("HKEY_LOCAL_MACHINE\\SYSTEM\\Outside", "x", 0);

    host::SaveRegFile(file, "\\Registry\\machine\\system\\test");
    EXPECT_EQ(Read(),
              "Windows Registry Editor Version 5.00\n"
              "\n"
              "[HKEY_LOCAL_MACHINE\\SYSTEM\\Test]\n"
              "\"Count\"=dword:abcdef01\n"
              "\"Path\"=\"C:\\\\dir \\\"x\\\" \xC3\xA9\"\n"
              "@=\"d\"\n"
              "\"Blob\"=hex:00,1f,a0\n"
              "\"Quad\"=hex(b):01,02,03,04,05,06,07,08\n"
              "\"Odd\"=hex(4):01,02\n"
              "\"Lines\"=hex(1):61,00,0a,00,00,00\n"
              "\"Unended\"=hex(1):61,00\n"
              "\"Nul\"=hex(1):00,00,62,00,00,00\n"
              "\"Lone\"=hex(1):00,d8,00,00\n"
              "\"Long\"=hex:ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,\\\n"
              "  ab,ab,ab,ab,ab,ab,ab,ab\n"
              "\n"
              "[HKEY_LOCAL_MACHINE\\SYSTEM\\Test\\Empty]\n"
              "\n"
              "[HKEY_LOCAL_MACHINE\\SYSTEM\\Test\\Empty\\Inner]\n"
              "\n"
              "[HKEY_LOCAL_MACHINE\\SYSTEM\\Test\\Second]\n"
              "\"x\"=dword:00000000\n"
              "\n");
}

TEST_F(RegFileSave, WhatTheSaverWroteLoadsAndSavesBackByteForByte) {
    std::string big = "\"Big\"=hex:";
    for (int i = 0; i < 100; ++i) {
        big += (i == 0 ? "" : ",") + std::to_string(i % 10) + (i % 7 == 6 ? "\\\r\n  " : "");
    }
    Load(
        "[HKEY_LOCAL_MACHINE\\SYSTEM\\Test]\r\n"
        "\"a\"=DWORD:FF\r\n"
        "\"S\"=\"x\\\\y \xE2\x82\xAC\"\r\n"
        "\"Multi\"=hex(7):61,00,00,00,\\\r\n"
        "   00,00\r\n"
        "@=hex:\r\n" +
        big +
        "\r\n"
        "[HKEY_LOCAL_MACHINE\\SYSTEM\\Test\\Sub]\r\n"
        "\"\"=dword:1\r\n");
    host::SaveRegFile(file, Key);
    std::string first = Read();
    EXPECT_EQ(first.find('\r'), std::string::npos);
    EXPECT_EQ(first.rfind(HeaderLine, 0), 0u);

    host::ResetKernel();
    ASSERT_TRUE(host::LoadRegFile(file));
    host::SaveRegFile(file, Key);
    EXPECT_EQ(Read(), first);
}

TEST_F(RegFileSave, AFailedSaveLeavesTheOldFileWhole) {
    Write("old contents");
    chmod(file.c_str(), 0600);
    try {
        host::SaveRegFile(file, "HKEY_LOCAL_MACHINE\\SYSTEM\\Missing");
        ADD_FAILURE() << "saved a missing key";
    } catch (const host::RegFileError& error) {
        EXPECT_EQ(
            std::string(error.what()),
            file + ": not saved: there is no registry key HKEY_LOCAL_MACHINE\\SYSTEM\\Missing");
    }
    EXPECT_EQ(Read(), "old contents");
    EXPECT_EQ(Entries(), std::vector<std::string>{"settings.reg"});

    std::string elsewhere = directory + "/absent/settings.reg";
    host::RegistryCreateKey(Key);
    try {
        host::SaveRegFile(elsewhere, Key);
        ADD_FAILURE() << "saved into a missing directory";
    } catch (const host::RegFileError& error) {
        EXPECT_EQ(std::string(error.what()),
                  elsewhere + ": cannot be written: No such file or directory");
    }

    // A successful save replaces the file, keeping its permissions.
    host::SaveRegFile(file, Key);
    EXPECT_EQ(Read(), std::string(HeaderLine) + "\n[HKEY_LOCAL_MACHINE\\SYSTEM\\Test]\n\n");
    EXPECT_EQ(Entries(), std::vector<std::string>{"settings.reg"});
    struct stat status;
    ASSERT_EQ(stat(file.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0600u);
}

}  // namespace
