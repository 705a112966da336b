// A PE file's bytes and where its parts lie, for building damaged copies of
// an image in tests: find a header field, a section, a directory or a string,
// change bytes, and write the copy out under the original file name.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "host/loader/pe_format.h"

class PeFile {
public:
    explicit PeFile(const std::string& path);

    size_t Size() const { return bytes_.size(); }

    // File offsets of the headers.
    size_t PeSignatureOffset() const;
    size_t FileHeaderOffset() const { return PeSignatureOffset() + 4; }
    size_t OptionalHeaderOffset() const {
        return FileHeaderOffset() + sizeof(host::loader::ImageFileHeader);
    }
    // The section table entry of the section with this short name (".text").
    size_t SectionHeaderOffset(const std::string& name) const;
    host::loader::ImageSectionHeader Section(const std::string& name) const;
    host::loader::ImageDataDirectory Directory(uint32_t index) const;

    // The file offset of an address in the image; fails the test when no
    // section holds it.
    size_t FileOffsetOf(uint32_t address) const;
    // The file offset of the first occurrence of text (with its NUL).
    size_t Find(const std::string& text) const;

    template <typename Value>
    Value Get(size_t offset) const {
        Value value;
        std::memcpy(&value, bytes_.data() + offset, sizeof value);
        return value;
    }
    template <typename Value>
    void Put(size_t offset, Value value) {
        std::memcpy(bytes_.data() + offset, &value, sizeof value);
    }
    void PutText(size_t offset, const std::string& text);
    void Truncate(size_t size) { bytes_.resize(size); }

    // Writes the bytes to directory/name and returns that path.
    std::string WriteTo(const std::string& directory, const std::string& name) const;

private:
    std::vector<uint8_t> bytes_;
};
