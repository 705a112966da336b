// Damaged images: each is refused with one line naming the damage and the
// status the Windows loader gives, before anything of it runs, and leaves
// nothing mapped. Each case patches a copy of the probe image.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "host/loader/driver_image.h"
#include "pe_file.h"
#include "probe_image_fixture.h"

namespace {

using host::loader::DirectoryBaseRelocation;
using host::loader::DirectoryImport;
using host::loader::ImageDosHeader;
using host::loader::ImageFileHeader;
using host::loader::ImageImportDescriptor;
using host::loader::ImageOptionalHeader64;
using host::loader::ImageSectionHeader;

std::string Hex(uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(value));
    return text;
}

// Mappings of exactly this many bytes in the process: an image reservation
// left behind by a refused load would be one.
int MappingsOfSize(uint64_t size) {
    std::ifstream maps("/proc/self/maps");
    int count = 0;
    unsigned long long begin = 0;
    unsigned long long end = 0;
    char dash = 0;
    std::string rest;
    while (maps >> std::hex >> begin >> dash >> end && std::getline(maps, rest)) {
        count += end - begin == size;
    }
    return count;
}

class DamagedImageTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = ::testing::TempDir() + "loader-XXXXXX";
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        directory_ = pattern;
    }
    void TearDown() override { std::filesystem::remove_all(directory_); }

    // Of the undamaged image: damage may hide the headers.
    uint32_t SizeOfImage() const { return sizeOfImage_; }

    // The file offset of the first import descriptor.
    size_t ImportDescriptorOffset() const {
        return probe_.FileOffsetOf(probe_.Directory(DirectoryImport).VirtualAddress);
    }

    // The file offset of the first module's first import name table entry.
    size_t FirstImportEntryOffset() const {
        auto descriptor = probe_.Get<ImageImportDescriptor>(ImportDescriptorOffset());
        return probe_.FileOffsetOf(descriptor.OriginalFirstThunk);
    }

    // The file offset of the first relocation block.
    size_t RelocationBlockOffset() const {
        return probe_.FileOffsetOf(probe_.Directory(DirectoryBaseRelocation).VirtualAddress);
    }

    void ExpectRefused(NTSTATUS status, const std::string& error) {
        std::string path = probe_.WriteTo(directory_, "probe.sys");
        int mappingsBefore = MappingsOfSize(SizeOfImage());
        NTSTATUS loadStatus = STATUS_SUCCESS;
        std::string loadError;
        EXPECT_EQ(host::DriverImage::Load(path, &loadStatus, &loadError), nullptr);
        EXPECT_EQ(loadStatus, status) << loadError;
        EXPECT_EQ(loadError, error);
        EXPECT_EQ(MappingsOfSize(SizeOfImage()), mappingsBefore);
    }

    PeFile probe_{ProbeImagePath()};
    const uint32_t sizeOfImage_ = probe_.Get<uint32_t>(
        probe_.OptionalHeaderOffset() + offsetof(ImageOptionalHeader64, SizeOfImage));
    std::string directory_;
};

TEST_F(DamagedImageTest, AMissingFileIsNotFound) {
    NTSTATUS status = STATUS_SUCCESS;
    std::string error;
    EXPECT_EQ(host::DriverImage::Load(directory_ + "/absent.sys", &status, &error), nullptr);
    EXPECT_EQ(status, STATUS_OBJECT_NAME_NOT_FOUND);
    EXPECT_THAT(error, ::testing::StartsWith("absent.sys: cannot open "));
}

TEST_F(DamagedImageTest, TruncatedFiles) {
    size_t fullSize = probe_.Size();
    probe_.Truncate(40);
    ExpectRefused(STATUS_INVALID_IMAGE_FORMAT,
                  "probe.sys: the file is 0x28 bytes, too short for a DOS header");

    probe_ = PeFile(ProbeImagePath());
    size_t sectionTable = probe_.SectionHeaderOffset(".text");
    probe_.Truncate(sectionTable + sizeof(ImageSectionHeader) + 4);
    auto file = probe_.Get<ImageFileHeader>(probe_.FileHeaderOffset());
    ExpectRefused(STATUS_INVALID_IMAGE_FORMAT,
                  "probe.sys: section table " + Hex(sectionTable) + ".." +
                      Hex(sectionTable + file.NumberOfSections * sizeof(ImageSectionHeader)) +
                      " lies outside the file (" + Hex(probe_.Size()) + " bytes)");

    probe_ = PeFile(ProbeImagePath());
    ImageSectionHeader rdata = probe_.Section(".rdata");
    probe_.Truncate(rdata.PointerToRawData + 4);
    ASSERT_LT(probe_.Size(), fullSize);
    ExpectRefused(STATUS_INVALID_IMAGE_FORMAT,
                  "probe.sys: section .rdata's raw data " + Hex(rdata.PointerToRawData) + ".." +
                      Hex(rdata.PointerToRawData + rdata.SizeOfRawData) +
                      " lies outside the file (" + Hex(probe_.Size()) + " bytes)");
}

TEST_F(DamagedImageTest, DosHeader) {
    probe_.PutText(0, "ZM");
    ExpectRefused(STATUS_INVALID_IMAGE_FORMAT,
                  "probe.sys: no MZ signature at the start of the file");

    probe_ = PeFile(ProbeImagePath());
    probe_.Put<uint32_t>(offsetof(ImageDosHeader, e_lfanew), 0x7FFFFFF0);
    ExpectRefused(STATUS_INVALID_IMAGE_FORMAT,
                  "probe.sys: e_lfanew 0x7ffffff0 puts the PE headers outside the file (" +
                      Hex(probe_.Size()) + " bytes)");

    probe_.Put<uint32_t>(offsetof(ImageDosHeader, e_lfanew), 0x20);
    ExpectRefused(STATUS_INVALID_IMAGE_FORMAT,
                  "probe.sys: e_lfanew 0x20 points into the DOS header");
}

TEST_F(DamagedImageTest, PeSignatureMachineAndMagic) {
    probe_.PutText(probe_.PeSignatureOffset(), "PF");
    ExpectRefused(STATUS_INVALID_IMAGE_FORMAT,
                  "probe.sys: no PE signature at e_lfanew " + Hex(probe_.PeSignatureOffset()));

    probe_ = PeFile(ProbeImagePath());
    probe_.Put<uint16_t>(probe_.FileHeaderOffset() + offsetof(ImageFileHeader, Machine), 0x14C);
    ExpectRefused(STATUS_INVALID_IMAGE_FORMAT, "probe.sys: machine 0x14c is not AMD64 (0x8664)");

    probe_ = PeFile(ProbeImagePath());
    probe_.Put<uint16_t>(probe_.OptionalHeaderOffset() + offsetof(ImageOptionalHeader64, Magic),
                         0x10B);
    ExpectRefused(STATUS_INVALID_IMAGE_FORMAT,
                  "probe.sys: optional header magic 0x10b is not PE32+ (0x20b)");
}

TEST_F(DamagedImageTest, SectionRawDataOutsideTheFile) {
    size_t text = probe_.SectionHeaderOffset(".text");
    uint32_t rawSize = probe_.Section(".text").SizeOfRawData;
    uint32_t start = static_cast<uint32_t>(probe_.Size()) - 0x100;
    probe_.Put<uint32_t>(text + offsetof(ImageSectionHeader, PointerToRawData), start);
    ExpectRefused(STATUS_INVALID_IMAGE_FORMAT, "probe.sys: section .text's raw data " + Hex(start) +
                                                   ".." + Hex(start + rawSize) +
                                                   " lies outside the file (" + Hex(probe_.Size()) +
                                                   " bytes)");
}

TEST_F(DamagedImageTest, LongSectionNamesComeFromTheStringTable) {
    // The section table holds "/N" for names longer than eight characters.
    auto file = probe_.Get<ImageFileHeader>(probe_.FileHeaderOffset());
    size_t table = probe_.OptionalHeaderOffset() + file.SizeOfOptionalHeader;
    size_t last = table + (file.NumberOfSections - 1) * sizeof(ImageSectionHeader);
    ASSERT_EQ(probe_.Get<char>(last), '/');
    probe_.Put<uint32_t>(last + offsetof(ImageSectionHeader, PointerToRawData), 0x7FFFFF00);
    auto error = [&] {
        NTSTATUS status = STATUS_SUCCESS;
        std::string text;
        host::DriverImage::Load(probe_.WriteTo(directory_, "probe.sys"), &status, &text);
        return text;
    }();
    EXPECT_THAT(error, ::testing::MatchesRegex("probe\\.sys: section \\.debug_[a-z_]+'s raw data "
                                               "0x7fffff00\\.\\.0x[0-9a-f]+ lies outside the "
                                               "file \\(0x[0-9a-f]+ bytes\\)"));
}

TEST_F(DamagedImageTest, SectionPlacesInTheImage) {
    size_t reloc = probe_.SectionHeaderOffset(".reloc");
    uint32_t relocAddress = probe_.Section(".reloc").VirtualAddress;
    probe_.Put<uint32_t>(reloc + offsetof(ImageSectionHeader, VirtualSize), 0x20000);
    ExpectRefused(STATUS_INVALID_IMAGE_FORMAT, "probe.sys: section .reloc " + Hex(relocAddress) +
                                                   ".." + Hex(relocAddress + 0x20000) +
                                                   " lies outside SizeOfImage " +
                                                   Hex(SizeOfImage()));

    probe_ = PeFile(ProbeImagePath());
    size_t data = probe_.SectionHeaderOffset(".data");
    uint32_t textAddress = probe_.Section(".text").VirtualAddress;
    probe_.Put<uint32_t>(data + offsetof(ImageSectionHeader, VirtualAddress), textAddress);
    ExpectRefused(STATUS_INVALID_IMAGE_FORMAT,
                  "probe.sys: section .data at " + Hex(textAddress) +
                      " overlaps the headers or the section before it");

    probe_ = PeFile(ProbeImagePath());
    uint32_t dataAddress = probe_.Section(".data").VirtualAddress;
    probe_.Put<uint32_t>(data + offsetof(ImageSectionHeader, VirtualAddress), dataAddress + 0x100);
    ExpectRefused(
        STATUS_INVALID_IMAGE_FORMAT,
        "probe.sys: section .data at " + Hex(dataAddress + 0x100) + " is not aligned to 0x1000");
}

TEST_F(DamagedImageTest, WritableCodeAndEntryOutsideCode) {
    size_t data = probe_.SectionHeaderOffset(".data");
    uint32_t characteristics = probe_.Section(".data").Characteristics;
    probe_.Put<uint32_t>(data + offsetof(ImageSectionHeader, Characteristics),
                         characteristics | host::loader::SectionExecute);
    ExpectRefused(STATUS_INVALID_IMAGE_FORMAT,
                  "probe.sys: section .data is both writable and executable");

    probe_ = PeFile(ProbeImagePath());
    uint32_t rdataAddress = probe_.Section(".rdata").VirtualAddress;
    probe_.Put<uint32_t>(
        probe_.OptionalHeaderOffset() + offsetof(ImageOptionalHeader64, AddressOfEntryPoint),
        rdataAddress);
    ExpectRefused(STATUS_INVALID_IMAGE_FORMAT,
                  "probe.sys: entry point " + Hex(rdataAddress) + " lies in no executable section");
}

TEST_F(DamagedImageTest, DirectoryOutsideTheImage) {
    size_t import = probe_.OptionalHeaderOffset() + offsetof(ImageOptionalHeader64, DataDirectory) +
                    DirectoryImport * sizeof(host::loader::ImageDataDirectory);
    probe_.Put<uint32_t>(import, SizeOfImage() - 0x10);
    uint32_t size = probe_.Get<uint32_t>(import + 4);
    ExpectRefused(STATUS_INVALID_IMAGE_FORMAT,
                  "probe.sys: import directory " + Hex(SizeOfImage() - 0x10) + ".." +
                      Hex(SizeOfImage() - 0x10 + size) + " lies outside SizeOfImage " +
                      Hex(SizeOfImage()));
}

TEST_F(DamagedImageTest, RelocationBlocks) {
    size_t block = RelocationBlockOffset();
    uint32_t blockAddress = probe_.Directory(DirectoryBaseRelocation).VirtualAddress;
    probe_.Put<uint32_t>(block, 0x7FFFF000);
    ExpectRefused(STATUS_INVALID_IMAGE_FORMAT, "probe.sys: relocation block at " +
                                                   Hex(blockAddress) +
                                                   " is for page 0x7ffff000, outside the image (" +
                                                   Hex(SizeOfImage()) + " bytes)");

    probe_ = PeFile(ProbeImagePath());
    probe_.Put<uint32_t>(block, SizeOfImage() - 0x1000);
    probe_.Put<uint16_t>(block + 8, (host::loader::RelocationDir64 << 12) | 0xFFC);
    ExpectRefused(STATUS_INVALID_IMAGE_FORMAT,
                  "probe.sys: relocation at " + Hex(SizeOfImage() - 4) +
                      " lies outside the image (" + Hex(SizeOfImage()) + " bytes)");

    probe_ = PeFile(ProbeImagePath());
    probe_.Put<uint32_t>(block + 4, 0x1000);
    EXPECT_THAT(probe_.Directory(DirectoryBaseRelocation).Size, ::testing::Lt(0x1000u));
    ExpectRefused(STATUS_INVALID_IMAGE_FORMAT,
                  "probe.sys: relocation block at " + Hex(blockAddress) +
                      " has a bad size 0x1000 (" +
                      Hex(probe_.Directory(DirectoryBaseRelocation).Size) + " bytes left)");
}

TEST_F(DamagedImageTest, UnknownRelocationType) {
    size_t block = RelocationBlockOffset();
    uint32_t page = probe_.Get<uint32_t>(block);
    uint16_t entry = probe_.Get<uint16_t>(block + 8);
    // Type 3 is the 32-bit HIGHLOW of PE32 images.
    probe_.Put<uint16_t>(block + 8, static_cast<uint16_t>((3 << 12) | (entry & 0xFFF)));
    ExpectRefused(STATUS_INVALID_IMAGE_FORMAT, "probe.sys: relocation type 3 at " +
                                                   Hex(page + (entry & 0xFFF)) +
                                                   " is not supported (only DIR64 and ABSOLUTE)");
}

TEST_F(DamagedImageTest, UnknownModule) {
    auto descriptor = probe_.Get<ImageImportDescriptor>(ImportDescriptorOffset());
    size_t name = probe_.FileOffsetOf(descriptor.Name);
    ASSERT_EQ(probe_.Get<char>(name), 'n');
    probe_.PutText(name, "ntoskrnx.exe");
    ExpectRefused(STATUS_DLL_NOT_FOUND,
                  "probe.sys imports from ntoskrnx.exe, which the host does not provide");
}

TEST_F(DamagedImageTest, ImportTheHostLacks) {
    uint64_t entry = probe_.Get<uint64_t>(FirstImportEntryOffset());
    size_t name = probe_.FileOffsetOf(static_cast<uint32_t>(entry)) + sizeof(uint16_t);
    ASSERT_EQ(probe_.Get<char>(name), 'E');
    probe_.PutText(name, "ExFoo");
    ExpectRefused(STATUS_PROCEDURE_NOT_FOUND,
                  "probe.sys imports ntoskrnl.exe!ExFooocatePoolWithTag, which the host does "
                  "not export");
}

TEST_F(DamagedImageTest, ImportByOrdinal) {
    probe_.Put<uint64_t>(FirstImportEntryOffset(), 0x8000000000000005ull);
    ExpectRefused(STATUS_ORDINAL_NOT_FOUND,
                  "probe.sys imports ntoskrnl.exe ordinal 5, which the host does not export");
}

}  // namespace
