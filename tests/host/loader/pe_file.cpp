// Reading and patching PE files for the loader's tests.
#include "pe_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>

using host::loader::ImageDataDirectory;
using host::loader::ImageDosHeader;
using host::loader::ImageFileHeader;
using host::loader::ImageSectionHeader;
using host::loader::OptionalHeaderFixedSize;

PeFile::PeFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    EXPECT_TRUE(file) << "cannot open " << path;
    bytes_.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

size_t PeFile::PeSignatureOffset() const {
    return Get<uint32_t>(offsetof(ImageDosHeader, e_lfanew));
}

size_t PeFile::SectionHeaderOffset(const std::string& name) const {
    auto file = Get<ImageFileHeader>(FileHeaderOffset());
    size_t table = OptionalHeaderOffset() + file.SizeOfOptionalHeader;
    for (size_t i = 0; i < file.NumberOfSections; ++i) {
        size_t offset = table + i * sizeof(ImageSectionHeader);
        auto section = Get<ImageSectionHeader>(offset);
        if (std::string(section.Name, strnlen(section.Name, sizeof section.Name)) == name) {
            return offset;
        }
    }
    ADD_FAILURE() << "no section " << name;
    return 0;
}

ImageSectionHeader PeFile::Section(const std::string& name) const {
    return Get<ImageSectionHeader>(SectionHeaderOffset(name));
}

ImageDataDirectory PeFile::Directory(uint32_t index) const {
    return Get<ImageDataDirectory>(OptionalHeaderOffset() + OptionalHeaderFixedSize +
                                   index * sizeof(ImageDataDirectory));
}

size_t PeFile::FileOffsetOf(uint32_t address) const {
    auto file = Get<ImageFileHeader>(FileHeaderOffset());
    size_t table = OptionalHeaderOffset() + file.SizeOfOptionalHeader;
    for (size_t i = 0; i < file.NumberOfSections; ++i) {
        auto section = Get<ImageSectionHeader>(table + i * sizeof(ImageSectionHeader));
        if (address >= section.VirtualAddress &&
            address - section.VirtualAddress < section.SizeOfRawData) {
            return section.PointerToRawData + (address - section.VirtualAddress);
        }
    }
    ADD_FAILURE() << "no section holds address 0x" << std::hex << address;
    return 0;
}

size_t PeFile::Find(const std::string& text) const {
    auto found =
        std::search(bytes_.begin(), bytes_.end(), text.c_str(), text.c_str() + text.size() + 1);
    EXPECT_NE(found, bytes_.end()) << "no \"" << text << "\" in the file";
    return static_cast<size_t>(found - bytes_.begin());
}

void PeFile::PutText(size_t offset, const std::string& text) {
    std::memcpy(bytes_.data() + offset, text.data(), text.size());
}

std::string PeFile::WriteTo(const std::string& directory, const std::string& name) const {
    std::string path = directory + "/" + name;
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes_.data()),
               static_cast<std::streamsize>(bytes_.size()));
    EXPECT_TRUE(file) << "cannot write " << path;
    return path;
}
