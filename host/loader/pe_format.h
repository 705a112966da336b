// The on-disk records of a PE32+ image and of its COFF symbol table, with the
// names and layouts of the Portable Executable format. Records are read from
// the file or the mapped image by copying them out of a checked range, never
// by pointing into the bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace host::loader {

constexpr uint16_t DosSignature = 0x5A4D;     // "MZ"
constexpr uint32_t PeSignature = 0x00004550;  // "PE\0\0"
constexpr uint16_t MachineAmd64 = 0x8664;
constexpr uint16_t OptionalHeaderMagicPe32Plus = 0x20B;

constexpr uint16_t FileExecutableImage = 0x0002;

struct ImageDosHeader {
    uint16_t e_magic;
    uint16_t e_cblp;
    uint16_t e_cp;
    uint16_t e_crlc;
    uint16_t e_cparhdr;
    uint16_t e_minalloc;
    uint16_t e_maxalloc;
    uint16_t e_ss;
    uint16_t e_sp;
    uint16_t e_csum;
    uint16_t e_ip;
    uint16_t e_cs;
    uint16_t e_lfarlc;
    uint16_t e_ovno;
    uint16_t e_res[4];
    uint16_t e_oemid;
    uint16_t e_oeminfo;
    uint16_t e_res2[10];
    uint32_t e_lfanew;  // file offset of the PE signature
};

struct ImageFileHeader {
    uint16_t Machine;
    uint16_t NumberOfSections;
    uint32_t TimeDateStamp;
    uint32_t PointerToSymbolTable;
    uint32_t NumberOfSymbols;
    uint16_t SizeOfOptionalHeader;
    uint16_t Characteristics;
};

struct ImageDataDirectory {
    uint32_t VirtualAddress;
    uint32_t Size;
};

enum DataDirectoryIndex : uint32_t {
    DirectoryImport = 1,
    DirectorySecurity = 4,  // the only one holding a file offset instead of an address
    DirectoryBaseRelocation = 5,
    DataDirectoryCount = 16,
};

struct ImageOptionalHeader64 {
    uint16_t Magic;
    uint8_t MajorLinkerVersion;
    uint8_t MinorLinkerVersion;
    uint32_t SizeOfCode;
    uint32_t SizeOfInitializedData;
    uint32_t SizeOfUninitializedData;
    uint32_t AddressOfEntryPoint;
    uint32_t BaseOfCode;
    uint64_t ImageBase;
    uint32_t SectionAlignment;
    uint32_t FileAlignment;
    uint16_t MajorOperatingSystemVersion;
    uint16_t MinorOperatingSystemVersion;
    uint16_t MajorImageVersion;
    uint16_t MinorImageVersion;
    uint16_t MajorSubsystemVersion;
    uint16_t MinorSubsystemVersion;
    uint32_t Win32VersionValue;
    uint32_t SizeOfImage;
    uint32_t SizeOfHeaders;
    uint32_t CheckSum;
    uint16_t Subsystem;
    uint16_t DllCharacteristics;
    uint64_t SizeOfStackReserve;
    uint64_t SizeOfStackCommit;
    uint64_t SizeOfHeapReserve;
    uint64_t SizeOfHeapCommit;
    uint32_t LoaderFlags;
    uint32_t NumberOfRvaAndSizes;
    ImageDataDirectory DataDirectory[DataDirectoryCount];
};

// The optional header without its data directories: the part every image has.
constexpr size_t OptionalHeaderFixedSize = offsetof(ImageOptionalHeader64, DataDirectory);

constexpr size_t SectionNameSize = 8;
constexpr uint32_t SectionExecute = 0x20000000;
constexpr uint32_t SectionWrite = 0x80000000;

struct ImageSectionHeader {
    char Name[SectionNameSize];  // NUL-padded; "/123" is offset 123 in the string table
    uint32_t VirtualSize;
    uint32_t VirtualAddress;
    uint32_t SizeOfRawData;
    uint32_t PointerToRawData;
    uint32_t PointerToRelocations;
    uint32_t PointerToLinenumbers;
    uint16_t NumberOfRelocations;
    uint16_t NumberOfLinenumbers;
    uint32_t Characteristics;
};

struct ImageBaseRelocation {
    uint32_t VirtualAddress;  // the page the block's entries are offsets into
    uint32_t SizeOfBlock;     // this header and its 16-bit entries
};

constexpr uint16_t RelocationAbsolute = 0;  // padding, applies nothing
constexpr uint16_t RelocationDir64 = 10;    // a 64-bit address

struct ImageImportDescriptor {
    uint32_t OriginalFirstThunk;  // the import name table
    uint32_t TimeDateStamp;
    uint32_t ForwarderChain;
    uint32_t Name;        // the module's name
    uint32_t FirstThunk;  // the import address table the loader fills
};

constexpr uint64_t ImportByOrdinal = 0x8000000000000000ull;

// A COFF symbol record: 18 bytes, unaligned.
constexpr size_t CoffSymbolSize = 18;
struct __attribute__((packed)) CoffSymbol {
    union {
        char ShortName[8];
        struct {
            uint32_t Zeroes;  // 0 when the name lives in the string table
            uint32_t Offset;
        } LongName;
    } Name;
    uint32_t Value;         // offset in the section
    int16_t SectionNumber;  // 1-based; 0 and below are not in a section
    uint16_t Type;
    uint8_t StorageClass;
    uint8_t NumberOfAuxSymbols;
};

constexpr uint16_t SymbolDerivedTypeMask = 0x30;
constexpr uint16_t SymbolDerivedFunction = 0x20;
constexpr uint8_t SymbolClassExternal = 2;
constexpr uint8_t SymbolClassStatic = 3;

static_assert(sizeof(ImageDosHeader) == 64, "IMAGE_DOS_HEADER layout");
static_assert(sizeof(ImageFileHeader) == 20, "IMAGE_FILE_HEADER layout");
static_assert(OptionalHeaderFixedSize == 112 && sizeof(ImageOptionalHeader64) == 240,
              "IMAGE_OPTIONAL_HEADER64 layout");
static_assert(sizeof(ImageSectionHeader) == 40, "IMAGE_SECTION_HEADER layout");
static_assert(sizeof(ImageBaseRelocation) == 8, "IMAGE_BASE_RELOCATION layout");
static_assert(sizeof(ImageImportDescriptor) == 20, "IMAGE_IMPORT_DESCRIPTOR layout");
static_assert(sizeof(CoffSymbol) == CoffSymbolSize, "COFF symbol layout");

// Copies the record at offset out of bytes[0, size); false when it does not
// fit there.
template <typename Record>
bool ReadRecord(const uint8_t* bytes, uint64_t size, uint64_t offset, Record* record) {
    if (offset > size || size - offset < sizeof(Record)) {
        return false;
    }
    std::memcpy(record, bytes + offset, sizeof(Record));
    return true;
}

}  // namespace host::loader
