// The driver a host run uses: the one linked into the host build, or the
// shipped image (diskcam.sys) mapped by the host's PE loader. With an image,
// the host is as strict as Windows is with the kernel stack and special pool:
// calls into the driver run on 24 KB kernel stacks and every pool block has a
// guard page after it. The module outlives the driver object made from its
// entry; destroying it waits for the driver's system threads, then unmaps
// the image.
#pragma once

#include <memory>
#include <string>

#include <ntddk.h>

namespace host {

class DriverImage;

class DriverModule {
public:
    // An empty path selects the linked driver. Throws std::runtime_error with
    // one line naming the problem when the image cannot be loaded.
    explicit DriverModule(const std::string& imagePath);
    ~DriverModule();
    DriverModule(const DriverModule&) = delete;
    DriverModule& operator=(const DriverModule&) = delete;

    PDRIVER_INITIALIZE Entry() const;
    // The loaded image, or null for the linked driver.
    const DriverImage* Image() const { return image_.get(); }

private:
    std::unique_ptr<DriverImage> image_;
};

// The linked driver's entry, as the loader would find it in an image.
extern "C" NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT driverObject, PUNICODE_STRING registryPath);

// The image DISKCAM_DRIVER names, or empty for the linked driver.
std::string DriverFileFromEnvironment();

}  // namespace host
