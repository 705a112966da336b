#include "tools/diskcam/statuses.h"

#include <cstdio>

namespace tool {

namespace {

// The stream start's refusals that say more than their number: the device's
// one pipeline is held by another application's pin, and no camera among
// the disks.
constexpr NTSTATUS StatusSharingViolation = static_cast<NTSTATUS>(0xC0000043);
constexpr NTSTATUS StatusInvalidDeviceState = static_cast<NTSTATUS>(0xC0000184);

}  // namespace

std::string StatusText(NTSTATUS status) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(status));
    return text;
}

std::string StreamStartRefusal(NTSTATUS status) {
    if (status == StatusSharingViolation) {
        return "the camera is busy: another application is streaming from it";
    }
    if (status == StatusInvalidDeviceState) {
        return "no camera found (the stream start was refused with " + StatusText(status) + ")";
    }
    return "the stream start was refused with " + StatusText(status);
}

}  // namespace tool
