#include "tools/diskcam/controls.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "diskcam/controls.h"
#include "tools/diskcam/statuses.h"

namespace tool {

namespace {

GUID ControlSet() {
    using G = diskcam::ControlSetGuid;
    GUID guid{G::data1, G::data2, G::data3, {}};
    std::memcpy(guid.Data4, G::data4, sizeof guid.Data4);
    return guid;
}

// The property header of a request, followed by its value bytes.
struct ControlRecord {
    KSPROPERTY property;
    int32_t values[6];
};
static_assert(sizeof(KSPROPERTY) == diskcam::ControlValueOffset, "property header");

bool SameName(const std::string& a, const char* b) {
    if (b == nullptr || a.size() != std::strlen(b)) {
        return false;
    }
    for (size_t index = 0; index < a.size(); ++index) {
        if (std::tolower(static_cast<unsigned char>(a[index])) !=
            std::tolower(static_cast<unsigned char>(b[index]))) {
            return false;
        }
    }
    return true;
}

Window ParseWindow(const std::string& text) {
    Window window{};
    char extra;
    if (std::sscanf(text.c_str(), "%d,%d,%d,%d,%d%c", &window.mode, &window.x, &window.y,
                    &window.width, &window.height, &extra) != 5) {
        throw std::invalid_argument("ReadoutWindow takes MODE,X,Y,W,H, not '" + text + "'");
    }
    return window;
}

std::string AccessText(uint32_t access) {
    if ((access & KSPROPERTY_TYPE_GET) && (access & KSPROPERTY_TYPE_SET)) {
        return "get,set";
    }
    return (access & KSPROPERTY_TYPE_GET) ? "get" : (access & KSPROPERTY_TYPE_SET) ? "set" : "-";
}

void PrintAll(Controls& controls) {
    for (uint32_t id = 0; id < diskcam::ControlItemCount; ++id) {
        uint32_t access = controls.Access(id);
        std::string value = (access & KSPROPERTY_TYPE_GET) ? std::to_string(controls.Get(id)) : "-";
        std::printf("%u %s %s %s\n", id, Controls::Name(id).c_str(), value.c_str(),
                    AccessText(access).c_str());
    }
}

uint32_t FindOrThrow(const std::string& nameOrId) {
    std::optional<uint32_t> id = Controls::Find(nameOrId);
    if (!id) {
        throw std::invalid_argument("no control named '" + nameOrId + "'");
    }
    return *id;
}

}  // namespace

std::optional<uint32_t> Controls::Find(const std::string& nameOrId) {
    if (!nameOrId.empty() && nameOrId.find_first_not_of("0123456789") == std::string::npos &&
        nameOrId.size() < 4) {
        uint32_t id = static_cast<uint32_t>(std::stoul(nameOrId));
        if (id < diskcam::ControlItemCount) {
            return id;
        }
        return std::nullopt;
    }
    for (uint32_t id = 0; id < diskcam::ControlItemCount; ++id) {
        if (SameName(nameOrId, diskcam::ControlItemNames[id])) {
            return id;
        }
    }
    return std::nullopt;
}

std::string Controls::Name(uint32_t id) {
    const char* name = id < diskcam::ControlItemCount ? diskcam::ControlItemNames[id] : nullptr;
    return name != nullptr ? name : std::to_string(id);
}

client::RequestResult Controls::Request(uint32_t id, uint32_t flags, void* data, uint32_t bytes) {
    ControlRecord request{};
    request.property.Set = ControlSet();
    request.property.Id = id;
    request.property.Flags = flags;
    uint32_t propertyBytes =
        id == diskcam::ReadoutWindowItem ? diskcam::WindowRequestBytes : diskcam::ControlValueBytes;
    return filter_.Property(&request, propertyBytes, data, bytes);
}

int32_t Controls::Get(uint32_t id) {
    ControlRecord reply{};
    client::RequestResult result =
        Request(id, KSPROPERTY_TYPE_GET, &reply, diskcam::ControlValueBytes);
    if (!NT_SUCCESS(result.status)) {
        throw RequestRefused("get " + Name(id) + ": refused with status " +
                             StatusText(result.status));
    }
    return reply.values[0];
}

void Controls::Set(uint32_t id, int32_t value) {
    ControlRecord data{};
    data.values[0] = value;
    client::RequestResult result =
        Request(id, KSPROPERTY_TYPE_SET, &data, diskcam::ControlValueBytes);
    if (!NT_SUCCESS(result.status)) {
        throw RequestRefused("set " + Name(id) + ": refused with status " +
                             StatusText(result.status));
    }
}

void Controls::SetWindow(const Window& window) {
    ControlRecord data{};
    data.values[0] = window.mode;
    data.values[1] = window.x;
    data.values[2] = window.y;
    data.values[3] = window.width;
    data.values[4] = window.height;
    client::RequestResult result = Request(diskcam::ReadoutWindowItem, KSPROPERTY_TYPE_SET, &data,
                                           diskcam::WindowRequestBytes);
    if (!NT_SUCCESS(result.status)) {
        throw RequestRefused("set ReadoutWindow: refused with status " + StatusText(result.status));
    }
}

uint32_t Controls::Access(uint32_t id) {
    ULONG access = 0;
    client::RequestResult result =
        Request(id, KSPROPERTY_TYPE_BASICSUPPORT, &access, sizeof access);
    return NT_SUCCESS(result.status) ? access : 0;
}

int32_t ParseValue(const std::string& text) {
    errno = 0;
    char* end = nullptr;
    long long value = std::strtoll(text.c_str(), &end, 0);
    if (text.empty() || *end != '\0' || errno != 0 || value < INT32_MIN || value > INT32_MAX) {
        throw std::invalid_argument("'" + text + "' is not a 32-bit number");
    }
    return static_cast<int32_t>(value);
}

void ApplyAssignment(Controls& controls, const std::string& assignment) {
    size_t equals = assignment.find('=');
    if (equals == std::string::npos) {
        throw std::invalid_argument("expected NAME=VALUE, not '" + assignment + "'");
    }
    uint32_t id = FindOrThrow(assignment.substr(0, equals));
    std::string value = assignment.substr(equals + 1);
    if (id == diskcam::ReadoutWindowItem) {
        controls.SetWindow(ParseWindow(value));
    } else {
        controls.Set(id, ParseValue(value));
    }
}

void RunControls(Controls& controls, const std::vector<std::string>& operations) {
    if (operations.empty()) {
        PrintAll(controls);
        return;
    }
    for (const std::string& operation : operations) {
        if (operation.find('=') != std::string::npos) {
            ApplyAssignment(controls, operation);
            continue;
        }
        uint32_t id = FindOrThrow(operation);
        std::printf("%s %d\n", Controls::Name(id).c_str(), controls.Get(id));
    }
}

}  // namespace tool
