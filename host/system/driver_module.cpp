#include "host/system/driver_module.h"

#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include "host/loader/driver_image.h"
#include "host/nt/kernel_control.h"
#include "host/nt/kernel_stack.h"
#include "host/nt/pool_control.h"

namespace host {

DriverModule::DriverModule(const std::string& imagePath) {
    if (imagePath.empty()) {
        return;
    }
    NTSTATUS status = STATUS_SUCCESS;
    std::string error;
    image_ = DriverImage::Load(imagePath, &status, &error);
    if (image_ == nullptr) {
        char code[16];
        std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(status));
        throw std::runtime_error(error + " (" + code + ")");
    }
    UseKernelStacks(&KernelStackFaultHooks);
    UseSpecialPool(true);
}

DriverModule::~DriverModule() {
    if (image_ == nullptr) {
        return;
    }
    // Code of the image may still run on a system thread the driver did not
    // wait for: the image goes only after every system thread has ended.
    WaitForSystemThreadsToEnd();
    UseSpecialPool(false);
    UseKernelStacks(nullptr);
}

PDRIVER_INITIALIZE DriverModule::Entry() const {
    return image_ != nullptr ? image_->Entry() : DriverEntry;
}

std::string DriverFileFromEnvironment() {
    const char* file = std::getenv("DISKCAM_DRIVER");
    return file != nullptr ? file : "";
}

}  // namespace host
