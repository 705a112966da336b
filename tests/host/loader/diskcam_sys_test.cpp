// The real diskcam.sys, when the build is given one: it loads, every import
// binds to the host's table, and unloading gives its memory back.
#include <gtest/gtest.h>
#include <sys/mman.h>

#include <cerrno>
#include <string>

#include "host/loader/driver_image.h"

namespace {

class DiskcamSysTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (path_.empty()) {
            GTEST_SKIP() << "configure with -DDISKCAM_SYS=/path/to/diskcam.sys to run";
        }
    }

    std::unique_ptr<host::DriverImage> Load() {
        NTSTATUS status = STATUS_UNSUCCESSFUL;
        std::string error;
        auto image = host::DriverImage::Load(path_, &status, &error);
        EXPECT_EQ(status, STATUS_SUCCESS);
        EXPECT_EQ(error, "");
        return image;
    }

    std::string path_ = DISKCAM_SYS_IMAGE;
};

TEST_F(DiskcamSysTest, LoadsWithEveryImportInTheExportTable) {
    auto image = Load();
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->Name(), "diskcam.sys");
    EXPECT_NE(image->Base(), image->PreferredBase());
    std::vector<std::string> imports = image->Imports();
    EXPECT_FALSE(imports.empty());
    for (const std::string& import : imports) {
        size_t bang = import.find('!');
        ASSERT_NE(bang, std::string::npos) << import;
        EXPECT_NE(host::FindKernelExport(import.substr(0, bang), import.substr(bang + 1)), nullptr)
            << import;
    }
}

TEST_F(DiskcamSysTest, NamesItsEntryPoint) {
    auto image = Load();
    ASSERT_NE(image, nullptr);
    std::string entry = image->Describe(image->EntryAddress());
    EXPECT_EQ(entry.substr(0, 12), "diskcam.sys+");
    EXPECT_EQ(entry.substr(entry.size() - 18), " (DriverEntry+0x0)");
}

TEST_F(DiskcamSysTest, UnloadingUnmapsAndASecondLoadWorks) {
    auto image = Load();
    ASSERT_NE(image, nullptr);
    void* base = reinterpret_cast<void*>(image->Base());
    size_t size = image->Size();
    EXPECT_EQ(msync(base, size, MS_ASYNC), 0);
    image.reset();
    EXPECT_EQ(msync(base, size, MS_ASYNC), -1);
    EXPECT_EQ(errno, ENOMEM);
    EXPECT_NE(Load(), nullptr);
}

}  // namespace
