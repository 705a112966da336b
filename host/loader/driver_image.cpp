// Loading a driver image: read, check, map, relocate, bind, protect, and
// register it with the fault handlers; undone in reverse when a step fails.
#include "host/loader/driver_image.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "host/loader/image_headers.h"
#include "host/loader/imports.h"
#include "host/loader/load_error.h"
#include "host/loader/relocations.h"
#include "host/loader/text_buffer.h"

namespace host {
namespace {

// Far above any driver file, debug information included.
constexpr off_t MaximumFileSize = off_t{256} << 20;

uint64_t RoundUp(uint64_t value, uint64_t alignment) {
    return (value + alignment - 1) & ~(alignment - 1);
}

std::string FileName(const std::string& path) {
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

NTSTATUS StatusOfOpenError(int error) {
    switch (error) {
        case ENOENT:
        case ENOTDIR:
            return STATUS_OBJECT_NAME_NOT_FOUND;
        case EACCES:
        case EPERM:
            return STATUS_ACCESS_DENIED;
        default:
            return STATUS_UNSUCCESSFUL;
    }
}

NTSTATUS ReadImageFile(const std::string& path, const std::string& name, std::vector<uint8_t>* file,
                       std::string* error) {
    int descriptor = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0) {
        int cause = errno;
        return loader::Refuse(StatusOfOpenError(cause), error, "%s: cannot open %s: %s",
                              name.c_str(), path.c_str(), std::strerror(cause));
    }
    struct stat status;
    if (fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode) ||
        status.st_size > MaximumFileSize) {
        close(descriptor);
        return loader::Refuse(STATUS_INVALID_IMAGE_FORMAT, error,
                              "%s: %s is not a regular file of at most 256 MB", name.c_str(),
                              path.c_str());
    }
    file->resize(static_cast<size_t>(status.st_size));
    size_t done = 0;
    while (done < file->size()) {
        ssize_t got = read(descriptor, file->data() + done, file->size() - done);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            int cause = got < 0 ? errno : EIO;
            close(descriptor);
            return loader::Refuse(STATUS_UNSUCCESSFUL, error, "%s: cannot read %s: %s",
                                  name.c_str(), path.c_str(), std::strerror(cause));
        }
        done += static_cast<size_t>(got);
    }
    close(descriptor);
    return STATUS_SUCCESS;
}

}  // namespace

DriverImage::DriverImage(std::string name) : name_(std::move(name)) {}

DriverImage::~DriverImage() {
    loader::UnregisterLoadedImage(this);
}

std::unique_ptr<DriverImage> DriverImage::Load(const std::string& path, NTSTATUS* status,
                                               std::string* error) {
    std::unique_ptr<DriverImage> image(new DriverImage(FileName(path)));
    *status = image->Map(path, error);
    if (!NT_SUCCESS(*status)) {
        return nullptr;
    }
    error->clear();
    return image;
}

NTSTATUS DriverImage::Map(const std::string& path, std::string* error) {
    std::vector<uint8_t> file;
    NTSTATUS status = ReadImageFile(path, name_, &file, error);
    loader::ImageHeaders headers;
    if (NT_SUCCESS(status)) {
        status = loader::ReadImageHeaders(file, name_, &headers, error);
    }
    if (NT_SUCCESS(status)) {
        status = MapSections(file, headers, error);
    }
    if (!NT_SUCCESS(status)) {
        return status;
    }
    const loader::ImageOptionalHeader64& optional = headers.optional;
    preferredBase_ = optional.ImageBase;
    entryPoint_ = optional.AddressOfEntryPoint;
    headersSize_ = optional.SizeOfHeaders;
    sectionAlignment_ = optional.SectionAlignment;
    symbols_ = loader::SymbolTable::Read(file, headers);
    sections_ = std::move(headers.sections);
    if (!loader::RegisterLoadedImage(this)) {
        return loader::Refuse(STATUS_INSUFFICIENT_RESOURCES, error,
                              "%s: the host holds as many loaded images as it can", name_.c_str());
    }
    loader::InstallFaultHandlers();
    EnsureSignalStack();
    return STATUS_SUCCESS;
}

NTSTATUS DriverImage::MapSections(const std::vector<uint8_t>& file,
                                  const loader::ImageHeaders& headers, std::string* error) {
    const loader::ImageOptionalHeader64& optional = headers.optional;
    if (!mapping_.Reserve(optional.SizeOfImage, optional.ImageBase)) {
        return loader::Refuse(STATUS_INSUFFICIENT_RESOURCES, error, "%s: no room to map 0x%x bytes",
                              name_.c_str(), optional.SizeOfImage);
    }
    loader::CopyImage(file, headers, mapping_.Base());
    NTSTATUS status = loader::ApplyRelocations(headers, mapping_.Base(), name_, error);
    if (NT_SUCCESS(status)) {
        status = loader::BindImports(headers, mapping_.Base(), name_, &imports_, error);
    }
    if (NT_SUCCESS(status) && !loader::ProtectImage(headers, mapping_.Base())) {
        status = loader::Refuse(STATUS_INSUFFICIENT_RESOURCES, error,
                                "%s: the host refused to protect the image's sections: %s",
                                name_.c_str(), std::strerror(errno));
    }
    return status;
}

PDRIVER_INITIALIZE DriverImage::Entry() const {
    return reinterpret_cast<PDRIVER_INITIALIZE>(EntryAddress());
}

void* DriverImage::EntryAddress() const {
    return mapping_.Base() + entryPoint_;
}

bool DriverImage::Contains(const void* address) const {
    uintptr_t value = reinterpret_cast<uintptr_t>(address);
    return value >= Base() && value - Base() < Size();
}

size_t DriverImage::Describe(const void* address, char* buffer, size_t size) const {
    loader::TextBuffer text(buffer, size);
    if (!Contains(address)) {
        text.AppendHex(reinterpret_cast<uintptr_t>(address));
        return text.Length();
    }
    uint32_t offset = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(address) - Base());
    text.Append(name_.c_str());
    text.Append("+");
    text.AppendHex(offset);
    uint32_t intoFunction = 0;
    const char* function = symbols_.Find(offset, &intoFunction);
    if (function != nullptr) {
        text.Append(" (");
        text.Append(function);
        text.Append("+");
        text.AppendHex(intoFunction);
        text.Append(")");
    }
    return text.Length();
}

std::string DriverImage::Describe(const void* address) const {
    char buffer[4096];
    return std::string(buffer, Describe(address, buffer, sizeof buffer));
}

const char* DriverImage::SectionName(const void* address) const {
    if (!Contains(address)) {
        return nullptr;
    }
    uintptr_t offset = reinterpret_cast<uintptr_t>(address) - Base();
    // The headers and each section own the whole of their last page, as
    // their protection does.
    if (offset < RoundUp(headersSize_, sectionAlignment_)) {
        return "headers";
    }
    for (const loader::ImageSection& section : sections_) {
        if (offset >= section.virtualAddress &&
            offset - section.virtualAddress < RoundUp(section.virtualSize, sectionAlignment_)) {
            return section.name.c_str();
        }
    }
    return nullptr;
}

}  // namespace host
