// The probe image loaded and run: where it lands, what its relocations,
// uninitialized data and imports hold, how its parts are protected, and how
// addresses inside it are named.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>

#include "host/nt/pool_control.h"
#include "pe_file.h"
#include "probe_image_fixture.h"

namespace {

using ::testing::ElementsAre;
using ::testing::MatchesRegex;

using LoadingTest = ProbeImageTest;

// The permissions ("r-xp") of the mapping holding address.
std::string Protection(const void* address) {
    std::ifstream maps("/proc/self/maps");
    std::string line;
    auto value = reinterpret_cast<uintptr_t>(address);
    while (std::getline(maps, line)) {
        std::istringstream fields(line);
        uintptr_t begin = 0;
        uintptr_t end = 0;
        char dash = 0;
        std::string permissions;
        fields >> std::hex >> begin >> dash >> end >> permissions;
        if (value >= begin && value < end) {
            return permissions;
        }
    }
    return "unmapped";
}

TEST_F(LoadingTest, LandsAwayFromItsPreferredBase) {
    EXPECT_EQ(image_->Name(), "probe.sys");
    EXPECT_EQ(image_->PreferredBase(), 0x140000000u);
    EXPECT_NE(image_->Base(), image_->PreferredBase());
    EXPECT_EQ(image_->Base() % 0x1000, 0u);
    EXPECT_TRUE(image_->Contains(image_->EntryAddress()));
    EXPECT_TRUE(image_->Contains(RoutineAddress(Probe::Read)));
    EXPECT_FALSE(image_->Contains(reinterpret_cast<void*>(image_->Base() + image_->Size())));
}

TEST_F(LoadingTest, RelocatedPointersPointIntoTheMappedImage) {
    const void* pointers[3] = {};
    EXPECT_EQ(Call(Probe::DataPointers, pointers), 7);
    EXPECT_TRUE(image_->Contains(pointers[2]));
    EXPECT_EQ(pointers[0], pointers[2]) << "the pointer in read-only data";
    EXPECT_EQ(pointers[1], pointers[2]) << "the pointer in writable data";
    EXPECT_STREQ(static_cast<const char*>(pointers[0]), "probe image");
}

TEST_F(LoadingTest, UninitializedDataIsZero) {
    EXPECT_EQ(Call(Probe::CountNonZeroBss), 0);
}

TEST_F(LoadingTest, MemoryImportsRunWithTheMicrosoftConvention) {
    char buffer[17] = {};
    EXPECT_EQ(Call(Probe::MemoryRoutines, buffer), 0);
    EXPECT_STREQ(buffer, "probe probe-----");
}

TEST_F(LoadingTest, DataImportsGetTheVariablesAddress) {
    EXPECT_EQ(Call(Probe::ImportedData), reinterpret_cast<long long>(PsThreadType));
}

TEST_F(LoadingTest, KernelImportsRunWithTheMicrosoftConvention) {
    EXPECT_EQ(Call(Probe::CompareMemory, const_cast<char*>("probe imagE")), 10);
    EXPECT_EQ(Call(Probe::PoolRoundTrip, reinterpret_cast<void*>(64)), 64 * 0x5A);
    EXPECT_EQ(host::PoolStatsForTag('borP').totalAllocations, 1u);
}

TEST_F(LoadingTest, ListsItsImportsInTheImagesOrder) {
    EXPECT_THAT(image_->Imports(),
                ElementsAre("ntoskrnl.exe!ExAllocatePoolWithTag", "ntoskrnl.exe!ExFreePoolWithTag",
                            "ntoskrnl.exe!PsThreadType", "ntoskrnl.exe!RtlCompareMemory",
                            "ntoskrnl.exe!memcmp", "ntoskrnl.exe!memcpy", "ntoskrnl.exe!memmove",
                            "ntoskrnl.exe!memset"));
}

TEST_F(LoadingTest, SectionsGetTheProtectionTheirCharacteristicsAsk) {
    const void* pointers[3] = {};
    Call(Probe::DataPointers, pointers);
    auto base = reinterpret_cast<const char*>(image_->Base());
    EXPECT_EQ(Protection(base), "r--p");
    EXPECT_STREQ(image_->SectionName(base), "headers");
    EXPECT_EQ(Protection(RoutineAddress(Probe::Read)), "r-xp");
    EXPECT_STREQ(image_->SectionName(RoutineAddress(Probe::Read)), ".text");
    EXPECT_EQ(Protection(pointers[0]), "r--p");
    EXPECT_STREQ(image_->SectionName(pointers[0]), ".rdata");
    EXPECT_EQ(Protection(base + image_->Size() - 1), "r--p") << "debug information";
    EXPECT_THAT(image_->SectionName(base + image_->Size() - 1), MatchesRegex("\\.debug_[a-z_]+"));
    EXPECT_EQ(image_->SectionName(base + image_->Size()), nullptr);
}

TEST_F(LoadingTest, WritableDataStaysWritable) {
    PeFile file(ProbeImagePath());
    auto base = reinterpret_cast<char*>(image_->Base());
    char* data = base + file.Section(".data").VirtualAddress;
    char* bss = base + file.Section(".bss").VirtualAddress;
    EXPECT_EQ(Protection(data), "rw-p");
    EXPECT_STREQ(image_->SectionName(data), ".data");
    EXPECT_EQ(Protection(bss), "rw-p");
    EXPECT_STREQ(image_->SectionName(bss), ".bss");

    const void* pointers[3] = {};
    Call(Probe::DataPointers, pointers);
    EXPECT_EQ(std::memcmp(data, &pointers[1], sizeof(void*)), 0)
        << "the probe's one writable pointer leads .data";
}

TEST_F(LoadingTest, DescribesAddressesByImageOffsetAndFunction) {
    auto base = image_->Base();
    auto entry = reinterpret_cast<uintptr_t>(image_->EntryAddress());
    std::ostringstream expected;
    expected << "probe.sys+0x" << std::hex << entry - base << " (DriverEntry+0x0)";
    EXPECT_EQ(image_->Describe(image_->EntryAddress()), expected.str());

    auto read = static_cast<const char*>(RoutineAddress(Probe::Read));
    EXPECT_THAT(image_->Describe(read + 3),
                MatchesRegex("probe\\.sys\\+0x[0-9a-f]+ \\(probe::Read\\(void\\*\\)\\+0x3\\)"));

    const void* pointers[3] = {};
    Call(Probe::DataPointers, pointers);
    EXPECT_THAT(image_->Describe(pointers[0]), MatchesRegex("probe\\.sys\\+0x[0-9a-f]+"))
        << "no function holds data";

    int outside = 0;
    std::ostringstream bare;
    bare << "0x" << std::hex << reinterpret_cast<uintptr_t>(&outside);
    EXPECT_EQ(image_->Describe(&outside), bare.str());
}

TEST_F(LoadingTest, DescribeCutsToTheCallersBuffer) {
    std::string full = image_->Describe(image_->EntryAddress());
    char buffer[12];
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(image_->Describe(image_->EntryAddress(), buffer, sizeof buffer), 11u);
    EXPECT_EQ(std::string(buffer), full.substr(0, 11));

    char wide[256];
    size_t length = image_->Describe(image_->EntryAddress(), wide, sizeof wide);
    EXPECT_EQ(std::string(wide, length), full);
}

TEST(LoaderTest, UnloadingUnmapsAndTheImageLoadsAgain) {
    NTSTATUS status = STATUS_UNSUCCESSFUL;
    std::string error;
    auto image = host::DriverImage::Load(ProbeImagePath(), &status, &error);
    ASSERT_NE(image, nullptr) << error;
    EXPECT_EQ(status, STATUS_SUCCESS);
    EXPECT_EQ(error, "");
    auto base = reinterpret_cast<void*>(image->Base());
    size_t size = image->Size();
    image.reset();
    EXPECT_EQ(Protection(base), "unmapped");
    EXPECT_EQ(Protection(static_cast<char*>(base) + size - 1), "unmapped");

    auto again = host::DriverImage::Load(ProbeImagePath(), &status, &error);
    EXPECT_NE(again, nullptr) << error;
}

}  // namespace
