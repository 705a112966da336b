// FileDisk: transfers at any offset and length within the disk, refusal
// beyond its end, injected failures that leave the medium alone, clear errors
// for paths that cannot be disks, and concurrent use.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <numeric>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include <unistd.h>

#include "host/disk/file_disk.h"

namespace host {
namespace {

constexpr size_t kDiskBytes = 64 * 1024;

class RegularFileDisk : public ::testing::Test {
protected:
    // Tests run in parallel processes, so each one has its own file.
    RegularFileDisk()
        : path_(::testing::TempDir() + "file-disk-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name() + "-" +
                std::to_string(getpid()) + ".img") {
        std::vector<char> zeros(kDiskBytes, 0);
        std::ofstream(path_, std::ios::binary).write(zeros.data(), zeros.size());
    }
    ~RegularFileDisk() override { std::remove(path_.c_str()); }

    std::string path_;
};

std::vector<uint8_t> Pattern(size_t length, uint8_t seed) {
    std::vector<uint8_t> bytes(length);
    std::iota(bytes.begin(), bytes.end(), seed);
    return bytes;
}

TEST_F(RegularFileDisk, ReadsBackWhatWasWrittenAtUnalignedOffset) {
    FileDisk disk(path_);
    std::vector<uint8_t> data = Pattern(1000, 3);
    ASSERT_TRUE(disk.Write(777, data.data(), data.size()));
    std::vector<uint8_t> back(1002);
    ASSERT_TRUE(disk.Read(776, back.data(), back.size()));
    EXPECT_EQ(back.front(), 0);
    EXPECT_EQ(std::vector<uint8_t>(back.begin() + 1, back.end() - 1), data);
    EXPECT_EQ(back.back(), 0);
}

TEST_F(RegularFileDisk, WritesReachTheFile) {
    {
        FileDisk disk(path_);
        std::vector<uint8_t> data = Pattern(512, 9);
        ASSERT_TRUE(disk.Write(0x2000, data.data(), data.size()));
    }
    std::ifstream file(path_, std::ios::binary);
    file.seekg(0x2000);
    EXPECT_EQ(file.get(), 9);
    EXPECT_EQ(file.get(), 10);
}

TEST_F(RegularFileDisk, TransfersBeyondEndFail) {
    FileDisk disk(path_);
    EXPECT_FALSE(disk.IsBlockDevice());
    std::vector<uint8_t> buffer(512);
    EXPECT_TRUE(disk.Read(kDiskBytes - 512, buffer.data(), 512));
    EXPECT_FALSE(disk.Read(kDiskBytes - 511, buffer.data(), 512));
    EXPECT_FALSE(disk.Write(kDiskBytes, buffer.data(), 1));
    EXPECT_FALSE(disk.Read(UINT64_MAX - 10, buffer.data(), 512));
    EXPECT_EQ(disk.Size(), kDiskBytes);
}

TEST_F(RegularFileDisk, InjectedFailuresConsumeOneTransferEach) {
    FileDisk disk(path_);
    std::vector<uint8_t> data = Pattern(512, 1);
    disk.FailNextTransfers(2);
    EXPECT_FALSE(disk.Write(0, data.data(), data.size()));
    std::vector<uint8_t> back(512, 0xEE);
    EXPECT_FALSE(disk.Read(0, back.data(), back.size()));
    EXPECT_EQ(back, std::vector<uint8_t>(512, 0xEE));
    ASSERT_TRUE(disk.Read(0, back.data(), back.size()));
    EXPECT_EQ(back, std::vector<uint8_t>(512, 0));
}

TEST_F(RegularFileDisk, ConcurrentWritersKeepTheirOwnRegions) {
    FileDisk disk(path_);
    std::vector<std::thread> writers;
    for (int writer = 0; writer < 4; ++writer) {
        writers.emplace_back([&disk, writer] {
            std::vector<uint8_t> data(4096, static_cast<uint8_t>(writer + 1));
            for (int round = 0; round < 50; ++round) {
                EXPECT_TRUE(disk.Write(writer * 4096 + 100, data.data(), data.size()));
            }
        });
    }
    for (std::thread& writer : writers) {
        writer.join();
    }
    for (int writer = 0; writer < 4; ++writer) {
        std::vector<uint8_t> back(4096);
        ASSERT_TRUE(disk.Read(writer * 4096 + 100, back.data(), back.size()));
        EXPECT_EQ(back, std::vector<uint8_t>(4096, writer + 1));
    }
}

TEST(FileDiskOpen, AMissingPathOrADirectoryIsNoDisk) {
    try {
        FileDisk disk("/nonexistent/disk.img");
        FAIL() << "opened a missing path";
    } catch (const std::system_error& error) {
        EXPECT_NE(std::string(error.what()).find("/nonexistent/disk.img"), std::string::npos);
    }
    EXPECT_THROW(FileDisk disk(::testing::TempDir()), std::system_error);
}

// Block devices only when one is offered for scratch use, since the test
// overwrites its first blocks: DISKCAM_TEST_BLOCK_DEVICE=/dev/loopN.
TEST(BlockDevice, UnalignedTransfersKeepNeighbouringBytes) {
    const char* device = std::getenv("DISKCAM_TEST_BLOCK_DEVICE");
    if (device == nullptr) {
        GTEST_SKIP() << "DISKCAM_TEST_BLOCK_DEVICE not set";
    }
    FileDisk disk(device);
    ASSERT_TRUE(disk.IsBlockDevice());
    std::vector<uint8_t> background = Pattern(3 * disk.BlockSize(), 0);
    ASSERT_TRUE(disk.Write(0, background.data(), background.size()));
    std::vector<uint8_t> data = Pattern(disk.BlockSize() + 3, 100);
    size_t offset = disk.BlockSize() / 2;
    ASSERT_TRUE(disk.Write(offset, data.data(), data.size()));
    std::copy(data.begin(), data.end(), background.begin() + static_cast<long>(offset));
    std::vector<uint8_t> back(background.size() - 1);
    ASSERT_TRUE(disk.Read(1, back.data(), back.size()));
    EXPECT_EQ(back, std::vector<uint8_t>(background.begin() + 1, background.end()));
}

}  // namespace
}  // namespace host
