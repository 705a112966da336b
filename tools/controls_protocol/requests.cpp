#include "tools/controls_protocol/requests.h"

#include <cctype>
#include <cstring>

#include "tools/controls_protocol/windows_layouts.h"

namespace controls {

namespace {

static_assert(sizeof(KSPROPERTY) == diskcam::ControlValueOffset, "the property header");
static_assert(sizeof(KSPROPERTY_VIDEOPROCAMP_S) == sizeof(KSPROPERTY_CAMERACONTROL_S) &&
                  offsetof(KSPROPERTY_VIDEOPROCAMP_S, Flags) ==
                      offsetof(KSPROPERTY_CAMERACONTROL_S, Flags),
              "one record for both value sets");

GUID PrivateSetGuid() {
    using G = diskcam::ControlSetGuid;
    GUID guid{G::data1, G::data2, G::data3, {}};
    std::memcpy(guid.Data4, G::data4, sizeof guid.Data4);
    return guid;
}

GUID SetGuid(diskcam::StandardSet set) {
    switch (set) {
        case diskcam::StandardSet::VideoProcAmp:
            return GUID{STATIC_PROPSETID_VIDCAP_VIDEOPROCAMP};
        case diskcam::StandardSet::CameraControl:
            return GUID{STATIC_PROPSETID_VIDCAP_CAMERACONTROL};
        case diskcam::StandardSet::VideoControl:
            break;
    }
    return GUID{STATIC_PROPSETID_VIDCAP_VIDEOCONTROL};
}

KSPROPERTY Header(const GUID& set, uint32_t id, uint32_t flags) {
    KSPROPERTY header{};
    header.Set = set;
    header.Id = id;
    header.Flags = flags;
    return header;
}

// A record whose first bytes are the header; the rest zero.
template <typename Record>
std::vector<uint8_t> Bytes(const KSPROPERTY& header, Record record = Record{}) {
    std::memcpy(&record, &header, sizeof header);
    std::vector<uint8_t> bytes(sizeof record);
    std::memcpy(bytes.data(), &record, sizeof record);
    return bytes;
}

template <typename Record>
Record Read(const std::vector<uint8_t>& bytes) {
    Record record{};
    std::memcpy(&record, bytes.data(), bytes.size() < sizeof record ? bytes.size() : sizeof record);
    return record;
}

// The private set's request: the header, the value, and reserved bytes.
struct ControlRecord {
    KSPROPERTY property;
    int32_t values[2];
};
static_assert(sizeof(ControlRecord) == diskcam::ControlValueBytes, "ControlValue");

struct WindowRecord {
    KSPROPERTY property;
    int32_t values[6];
};
static_assert(sizeof(WindowRecord) == diskcam::WindowRequestBytes, "WindowRequest");

PropertyRequest Private(uint32_t id, uint32_t flags, int32_t value) {
    ControlRecord record{};
    record.values[0] = value;
    const KSPROPERTY header = Header(PrivateSetGuid(), id, flags);
    return {Bytes<ControlRecord>(header), Bytes<ControlRecord>(header, record)};
}

// The video control records name the capture stream.
template <typename Record>
Record ForCaptureStream() {
    Record record{};
    record.StreamIndex = 0;
    return record;
}

bool SameName(const char* a, const char* b) {
    while (*a != 0 && std::tolower(static_cast<unsigned char>(*a)) ==
                          std::tolower(static_cast<unsigned char>(*b))) {
        ++a;
        ++b;
    }
    return *a == 0 && *b == 0;
}

// The members lists after a reply's description, within its bytes.
template <typename Visit>
void ForEachList(const PropertyRequest& reply, uint32_t bytes, Visit visit) {
    if (bytes > reply.data.size() || bytes < sizeof(KSPROPERTY_DESCRIPTION)) {
        return;
    }
    const auto description = Read<KSPROPERTY_DESCRIPTION>(reply.data);
    size_t offset = sizeof(KSPROPERTY_DESCRIPTION);
    for (ULONG i = 0; i < description.MembersListCount; ++i) {
        if (offset + sizeof(KSPROPERTY_MEMBERSHEADER) > bytes) {
            return;
        }
        KSPROPERTY_MEMBERSHEADER header;
        std::memcpy(&header, reply.data.data() + offset, sizeof header);
        offset += sizeof header;
        const size_t members = size_t{header.MembersSize} * header.MembersCount;
        if (members > bytes - offset) {
            return;
        }
        visit(header, reply.data.data() + offset);
        offset += members;
    }
}

}  // namespace

std::string PrivateName(uint32_t id) {
    const char* name = id < diskcam::ControlItemCount ? diskcam::ControlItemNames[id] : nullptr;
    return name != nullptr ? name : std::to_string(id);
}

PropertyRequest PrivateGet(uint32_t id) {
    return Private(id, KSPROPERTY_TYPE_GET, 0);
}

PropertyRequest PrivateSet(uint32_t id, int32_t value) {
    return Private(id, KSPROPERTY_TYPE_SET, value);
}

PropertyRequest PrivateWindowSet(const Window& window) {
    WindowRecord record{};
    const int32_t values[] = {window.mode, window.x, window.y, window.width, window.height};
    std::memcpy(record.values, values, sizeof values);
    const KSPROPERTY header =
        Header(PrivateSetGuid(), diskcam::ReadoutWindowItem, KSPROPERTY_TYPE_SET);
    return {Bytes<WindowRecord>(header), Bytes<WindowRecord>(header, record)};
}

PropertyRequest PrivateAccess(uint32_t id) {
    const KSPROPERTY header = Header(PrivateSetGuid(), id, KSPROPERTY_TYPE_BASICSUPPORT);
    const bool window = id == diskcam::ReadoutWindowItem;
    return {window ? Bytes<WindowRecord>(header) : Bytes<ControlRecord>(header),
            std::vector<uint8_t>(sizeof(ULONG))};
}

int32_t PrivateValue(const PropertyRequest& reply) {
    return Read<ControlRecord>(reply.data).values[0];
}

uint32_t AccessFlags(const PropertyRequest& reply) {
    return Read<ULONG>(reply.data);
}

Target TargetOf(const diskcam::StandardControl& control) {
    return control.set == diskcam::StandardSet::VideoControl ? Target::Pin : Target::Filter;
}

PropertyRequest StandardGet(const diskcam::StandardControl& control) {
    const KSPROPERTY header = Header(SetGuid(control.set), control.id, KSPROPERTY_TYPE_GET);
    if (control.set == diskcam::StandardSet::VideoControl) {
        const auto record = ForCaptureStream<KSPROPERTY_VIDEOCONTROL_MODE_S>();
        return {Bytes(header, record), Bytes(header, record)};
    }
    return {Bytes<KSPROPERTY_VIDEOPROCAMP_S>(header), Bytes<KSPROPERTY_VIDEOPROCAMP_S>(header)};
}

PropertyRequest StandardSet(const diskcam::StandardControl& control, int32_t value,
                            bool automatic) {
    const KSPROPERTY header = Header(SetGuid(control.set), control.id, KSPROPERTY_TYPE_SET);
    KSPROPERTY_VIDEOPROCAMP_S record{};
    record.Value = automatic ? 0 : value;
    record.Flags =
        automatic ? KSPROPERTY_VIDEOPROCAMP_FLAGS_AUTO : KSPROPERTY_VIDEOPROCAMP_FLAGS_MANUAL;
    return {Bytes<KSPROPERTY_VIDEOPROCAMP_S>(header), Bytes(header, record)};
}

PropertyRequest VideoControlModeSet(int32_t mode) {
    const KSPROPERTY header = Header(SetGuid(diskcam::StandardSet::VideoControl),
                                     KSPROPERTY_VIDEOCONTROL_MODE, KSPROPERTY_TYPE_SET);
    auto record = ForCaptureStream<KSPROPERTY_VIDEOCONTROL_MODE_S>();
    record.Mode = mode;
    return {Bytes(header, ForCaptureStream<KSPROPERTY_VIDEOCONTROL_MODE_S>()),
            Bytes(header, record)};
}

PropertyRequest StandardSupport(const diskcam::StandardControl& control, uint32_t flags,
                                uint32_t dataBytes) {
    const KSPROPERTY header = Header(SetGuid(control.set), control.id, flags);
    return {Bytes<KSPROPERTY_VIDEOPROCAMP_S>(header), std::vector<uint8_t>(dataBytes)};
}

PropertyRequest VideoControlCaps() {
    const KSPROPERTY header = Header(SetGuid(diskcam::StandardSet::VideoControl),
                                     KSPROPERTY_VIDEOCONTROL_CAPS, KSPROPERTY_TYPE_GET);
    const auto record = ForCaptureStream<KSPROPERTY_VIDEOCONTROL_CAPS_S>();
    return {Bytes(header, record), Bytes(header, record)};
}

StandardValue DecodeStandardValue(const diskcam::StandardControl& control,
                                  const PropertyRequest& reply) {
    if (control.set == diskcam::StandardSet::VideoControl) {
        const bool flipped =
            (DecodeVideoControlMode(reply) & KS_VideoControlFlag_FlipVertical) != 0;
        return {flipped ? 1 : 0, false, false};
    }
    const auto record = Read<KSPROPERTY_VIDEOPROCAMP_S>(reply.data);
    return {record.Value, (record.Flags & KSPROPERTY_VIDEOPROCAMP_FLAGS_AUTO) != 0,
            (record.Capabilities & KSPROPERTY_VIDEOPROCAMP_FLAGS_AUTO) != 0};
}

int32_t DecodeVideoControlMode(const PropertyRequest& reply) {
    return Read<KSPROPERTY_VIDEOCONTROL_MODE_S>(reply.data).Mode;
}

uint32_t DecodeVideoControlCaps(const PropertyRequest& reply) {
    return Read<KSPROPERTY_VIDEOCONTROL_CAPS_S>(reply.data).VideoControlCaps;
}

std::optional<StandardRange> DecodeSupport(const PropertyRequest& reply, uint32_t bytes) {
    std::optional<KSPROPERTY_STEPPING_LONG> stepping;
    std::optional<int32_t> defaultValue = DecodeDefault(reply, bytes);
    ForEachList(reply, bytes, [&](const KSPROPERTY_MEMBERSHEADER& header, const uint8_t* members) {
        if (header.MembersFlags == KSPROPERTY_MEMBER_STEPPEDRANGES && header.MembersCount != 0 &&
            header.MembersSize >= sizeof(KSPROPERTY_STEPPING_LONG)) {
            stepping.emplace();
            std::memcpy(&*stepping, members, sizeof(KSPROPERTY_STEPPING_LONG));
        }
    });
    if (!stepping || !defaultValue) {
        return std::nullopt;
    }
    return StandardRange{stepping->Bounds.SignedMinimum, stepping->Bounds.SignedMaximum,
                         static_cast<int32_t>(stepping->SteppingDelta), *defaultValue};
}

std::optional<int32_t> DecodeDefault(const PropertyRequest& reply, uint32_t bytes) {
    std::optional<int32_t> found;
    ForEachList(reply, bytes, [&](const KSPROPERTY_MEMBERSHEADER& header, const uint8_t* members) {
        if (header.MembersFlags == KSPROPERTY_MEMBER_VALUES &&
            (header.Flags & KSPROPERTY_MEMBER_FLAG_DEFAULT) != 0 && header.MembersCount != 0 &&
            header.MembersSize == sizeof(int32_t)) {
            int32_t value;
            std::memcpy(&value, members, sizeof value);
            found = value;
        }
    });
    return found;
}

const diskcam::StandardControl* FindStandard(const char* name) {
    for (const diskcam::StandardControl& control : diskcam::StandardControls) {
        if (SameName(name, control.name)) {
            return &control;
        }
    }
    return nullptr;
}

}  // namespace controls
