#include "tools/diskcam/list.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>

#include <ksmedia.h>

#include "host/client/filter.h"
#include "host/ks/filter_factory.h"
#include "sim/sim_camera.h"
#include "tools/controls_protocol/command.h"
#include "tools/diskcam/controls.h"
#include "tools/diskcam/statuses.h"

namespace tool {

namespace {

struct NamedGuid {
    const char* name;
    GUID guid;
};

// The categories applications look in: DirectShow and older applications
// in the first two, the Camera app and Media Foundation in the last.
const NamedGuid Categories[] = {
    {"KSCATEGORY_VIDEO", {STATIC_KSCATEGORY_VIDEO}},
    {"KSCATEGORY_CAPTURE", {STATIC_KSCATEGORY_CAPTURE}},
    {"KSCATEGORY_VIDEO_CAMERA", {STATIC_KSCATEGORY_VIDEO_CAMERA}},
};

const NamedGuid Subtypes[] = {
    {"RGB32", {0xE436EB7E, 0x524F, 0x11CE, {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}}},
    {"YUY2", {0x32595559, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}}},
    {"NV12", {0x3231564E, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}}},
};

// The driver takes at most this many disks that identify as cameras, in
// attach order, and CameraNo indexes them, clamped to the ones there are.
constexpr size_t MaximumCandidates = 32;

std::string SubtypeName(const GUID& subtype) {
    for (const NamedGuid& known : Subtypes) {
        if (IsEqualGUID(known.guid, subtype)) {
            return known.name;
        }
    }
    return host::ks::GuidText(subtype);
}

// "RGB32 4384x3288, 30 fps" for a video-info range; the subtype alone for
// any other.
std::string RangeText(const std::vector<UCHAR>& range) {
    KSDATARANGE header;
    if (range.size() < sizeof header) {
        return "a range of " + std::to_string(range.size()) + " bytes";
    }
    std::memcpy(&header, range.data(), sizeof header);
    std::string text = SubtypeName(header.SubFormat);
    const GUID videoInfo = {STATIC_KSDATAFORMAT_SPECIFIER_VIDEOINFO};
    if (!IsEqualGUID(header.Specifier, videoInfo) || range.size() < sizeof(KS_DATARANGE_VIDEO)) {
        return text;
    }
    KS_DATARANGE_VIDEO video;
    std::memcpy(&video, range.data(), sizeof video);
    const KS_BITMAPINFOHEADER& bitmap = video.VideoInfoHeader.bmiHeader;
    text += " " + std::to_string(bitmap.biWidth) + "x" + std::to_string(std::abs(bitmap.biHeight));
    if (video.VideoInfoHeader.AvgTimePerFrame > 0) {
        char rate[32];
        std::snprintf(rate, sizeof rate, ", %.4g fps",
                      1e7 / static_cast<double>(video.VideoInfoHeader.AvgTimePerFrame));
        text += rate;
    }
    return text;
}

bool IsCamera(host::Disk& disk) {
    unsigned char sector[sim::kSectorSize] = {};
    return disk.Read(sim::kStatusSectorOffset, sector, sizeof sector) &&
           sim::IdentifiesAsCamera(sector);
}

// The disk CameraNo selects, by its name and number among the disks.
std::string CameraText(const host::System& system, const std::vector<std::string>& disks,
                       int cameraNo) {
    std::vector<size_t> cameras;
    for (size_t index = 0; index < system.Disks().size(); ++index) {
        if (cameras.size() < MaximumCandidates && IsCamera(*system.Disks()[index])) {
            cameras.push_back(index);
        }
    }
    const std::string number = "CameraNo " + std::to_string(cameraNo);
    if (cameras.empty()) {
        return number + ", no camera among " + std::to_string(disks.size()) +
               (disks.size() == 1 ? " disk" : " disks");
    }
    const int last = static_cast<int>(cameras.size()) - 1;
    const size_t chosen = cameras[static_cast<size_t>(std::clamp(cameraNo, 0, last))];
    return number + ", disk " + std::to_string(chosen + 1) + " of " + std::to_string(disks.size()) +
           ": " + disks[chosen];
}

void PrintFilter(const std::string& path, const host::System& system,
                 const std::vector<std::string>& disks) {
    std::printf("filter %s\n  categories:", path.c_str());
    for (const NamedGuid& category : Categories) {
        if (!client::FilterAlias(path, category.guid).empty()) {
            std::printf(" %s", category.name);
        }
    }
    std::printf("\n");
    std::unique_ptr<client::Filter> filter;
    NTSTATUS status = client::Filter::Open(path, &filter);
    if (!NT_SUCCESS(status)) {
        std::printf("  cannot be opened: %s\n", StatusText(status).c_str());
        return;
    }
    for (ULONG pin = 0; pin < filter->PinTypeCount(); ++pin) {
        for (const std::vector<UCHAR>& range : filter->DataRanges(pin)) {
            std::printf("  pin %u: %s\n", pin, RangeText(range).c_str());
        }
    }
    Controls controls(*filter);
    const int cameraNo = controls.Get(*controls::FindPrivate("CameraNo"));
    std::printf("  camera: %s\n", CameraText(system, disks, cameraNo).c_str());
}

// One path per filter, under the first category it is found in.
std::vector<std::string> PublishedFilters() {
    std::vector<std::string> filters;
    for (const NamedGuid& category : Categories) {
        for (const std::string& path : client::FindFilters(category.guid)) {
            const bool listed =
                std::any_of(filters.begin(), filters.end(), [&](const std::string& known) {
                    return client::FilterAlias(known, category.guid) == path;
                });
            if (!listed) {
                filters.push_back(path);
            }
        }
    }
    return filters;
}

bool OpensForReadAndWrite(const std::string& path) {
    int fd = open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    close(fd);
    return true;
}

}  // namespace

ListOptions ParseListOptions(const std::vector<std::string>& arguments) {
    ControlsOptions parsed = ParseControlsOptions(arguments);
    if (!parsed.operations.empty()) {
        throw std::invalid_argument("list takes no names, not '" + parsed.operations[0] + "'");
    }
    return {parsed.common};
}

std::vector<std::string> MachineDisks() {
    std::vector<std::string> disks;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/sys/block", error)) {
        unsigned long long sectors = 0;
        std::ifstream(entry.path() / "size") >> sectors;
        const std::string device = "/dev/" + entry.path().filename().string();
        if (sectors != 0 && OpensForReadAndWrite(device)) {
            disks.push_back(device);
        }
    }
    std::sort(disks.begin(), disks.end());
    return disks;
}

void RunList(const host::System& system, const std::vector<std::string>& disks) {
    std::vector<std::string> filters = PublishedFilters();
    if (filters.empty()) {
        throw std::runtime_error("the driver publishes no filter");
    }
    for (const std::string& path : filters) {
        PrintFilter(path, system, disks);
    }
}

}  // namespace tool
