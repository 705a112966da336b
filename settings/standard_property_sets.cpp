// The standard property sets' items and handlers, built from the table of
// standard_properties.h. The class driver has checked the set, the id, the
// operation and both buffers' minimum sizes; it answers basic-support and
// default-values requests itself from each item's values (range, step and
// default), as no item has a support handler.
#include "settings/standard_property_sets.h"

#include "platform/streaming.h"

constexpr GUID VideoProcAmpSetId = {STATIC_PROPSETID_VIDCAP_VIDEOPROCAMP};
constexpr GUID CameraControlSetId = {STATIC_PROPSETID_VIDCAP_CAMERACONTROL};
constexpr GUID VideoControlSetId = {STATIC_PROPSETID_VIDCAP_VIDEOCONTROL};

namespace {

// Both sets carry a value in the same record, with the same auto and manual
// flags.
using ValueRecord = KSPROPERTY_VIDEOPROCAMP_S;
static_assert(sizeof(KSPROPERTY_CAMERACONTROL_S) == sizeof(ValueRecord) &&
                  __builtin_offsetof(KSPROPERTY_CAMERACONTROL_S, Flags) ==
                      __builtin_offsetof(ValueRecord, Flags),
              "one value record for both sets");
static_assert(KSPROPERTY_CAMERACONTROL_FLAGS_AUTO == KSPROPERTY_VIDEOPROCAMP_FLAGS_AUTO &&
                  KSPROPERTY_CAMERACONTROL_FLAGS_MANUAL == KSPROPERTY_VIDEOPROCAMP_FLAGS_MANUAL,
              "one pair of auto and manual flags");
constexpr ULONG FlagAuto = KSPROPERTY_VIDEOPROCAMP_FLAGS_AUTO;
constexpr ULONG FlagManual = KSPROPERTY_VIDEOPROCAMP_FLAGS_MANUAL;

ULONG CapabilitiesOf(const StandardProperty& property) {
    return FlagManual | (property.autoItem != NoItem ? FlagAuto : 0u);
}

// The property a get or set names and the camera it goes to; false for a
// request without either.
template <StandardSet Set>
bool FindTarget(PIRP irp, PKSIDENTIFIER request, PVOID data, const StandardProperty** property,
                CameraDevice** camera) {
    if (request == nullptr || data == nullptr) {
        return false;
    }
    *property = FindStandardProperty(Set, request->Id);
    *camera = CameraOfRequest(irp);
    return *property != nullptr && *camera != nullptr;
}

template <StandardSet Set>
NTSTATUS NTAPI GetStandardValue(PIRP irp, PKSIDENTIFIER request, PVOID data) {
    const StandardProperty* property;
    CameraDevice* camera;
    if (!FindTarget<Set>(irp, request, data, &property, &camera)) {
        return STATUS_UNSUCCESSFUL;
    }
    auto* reply = static_cast<ValueRecord*>(data);
    bool automatic;
    reply->Value = ReadStandardProperty(camera, *property, &automatic);
    reply->Flags = automatic ? FlagAuto : FlagManual;
    reply->Capabilities = CapabilitiesOf(*property);
    SetRequestInformation(irp, sizeof(ValueRecord));
    return STATUS_SUCCESS;
}

// The set's flags say auto or manual (none counts as manual); any other
// flag, a relative camera control among them, is refused, as is auto for a
// property without it.
template <StandardSet Set>
NTSTATUS NTAPI SetStandardValue(PIRP irp, PKSIDENTIFIER request, PVOID data) {
    const StandardProperty* property;
    CameraDevice* camera;
    if (!FindTarget<Set>(irp, request, data, &property, &camera)) {
        return STATUS_UNSUCCESSFUL;
    }
    const auto* value = static_cast<const ValueRecord*>(data);
    if (value->Flags != 0 && value->Flags != FlagAuto && value->Flags != FlagManual) {
        return STATUS_INVALID_PARAMETER;
    }
    if (!WriteStandardProperty(camera, *property, value->Value, value->Flags == FlagAuto)) {
        return STATUS_INVALID_PARAMETER;
    }
    return STATUS_SUCCESS;
}

// Video control names its stream in the request; the filter has one.
NTSTATUS NTAPI GetVideoControlCaps(PIRP irp, PKSIDENTIFIER request, PVOID data) {
    if (irp == nullptr || request == nullptr || data == nullptr) {
        return STATUS_UNSUCCESSFUL;
    }
    if (reinterpret_cast<const KSPROPERTY_VIDEOCONTROL_CAPS_S*>(request)->StreamIndex !=
        CaptureStreamIndex) {
        return STATUS_INVALID_PARAMETER;
    }
    static_cast<KSPROPERTY_VIDEOCONTROL_CAPS_S*>(data)->VideoControlCaps =
        VideoControlCapabilities();
    SetRequestInformation(irp, sizeof(KSPROPERTY_VIDEOCONTROL_CAPS_S));
    return STATUS_SUCCESS;
}

// The camera of a mode request for the capture stream; null otherwise, with
// the status to refuse it with.
CameraDevice* CameraOfModeRequest(PIRP irp, PKSIDENTIFIER request, PVOID data, NTSTATUS* refusal) {
    *refusal = STATUS_UNSUCCESSFUL;
    if (request == nullptr || data == nullptr) {
        return nullptr;
    }
    CameraDevice* camera = CameraOfRequest(irp);
    if (camera != nullptr &&
        reinterpret_cast<const KSPROPERTY_VIDEOCONTROL_MODE_S*>(request)->StreamIndex !=
            CaptureStreamIndex) {
        *refusal = STATUS_INVALID_PARAMETER;
        return nullptr;
    }
    return camera;
}

NTSTATUS NTAPI GetVideoControlMode(PIRP irp, PKSIDENTIFIER request, PVOID data) {
    NTSTATUS refusal;
    CameraDevice* camera = CameraOfModeRequest(irp, request, data, &refusal);
    if (camera == nullptr) {
        return refusal;
    }
    static_cast<KSPROPERTY_VIDEOCONTROL_MODE_S*>(data)->Mode =
        static_cast<LONG>(ReadVideoControlMode(camera));
    SetRequestInformation(irp, sizeof(KSPROPERTY_VIDEOCONTROL_MODE_S));
    return STATUS_SUCCESS;
}

// A mode beyond the capabilities (a horizontal flip) is refused.
NTSTATUS NTAPI SetVideoControlMode(PIRP irp, PKSIDENTIFIER request, PVOID data) {
    NTSTATUS refusal;
    CameraDevice* camera = CameraOfModeRequest(irp, request, data, &refusal);
    if (camera == nullptr) {
        return refusal;
    }
    const LONG mode = static_cast<const KSPROPERTY_VIDEOCONTROL_MODE_S*>(data)->Mode;
    if (!WriteVideoControlMode(camera, static_cast<ULONG>(mode))) {
        return STATUS_INVALID_PARAMETER;
    }
    return STATUS_SUCCESS;
}

// What a basic-support reply lists for each property: its stepped range,
// then its default.
struct Members {
    KSPROPERTY_STEPPING_LONG stepping;
    LONG defaultValue;
};

struct MembersTable {
    Members members[StandardPropertyCount];
};

constexpr MembersTable BuildMembers() {
    MembersTable built{};
    for (ULONG i = 0; i < StandardPropertyCount; ++i) {
        const StandardRange range = RangeOf(StandardProperties[i]);
        built.members[i].stepping.SteppingDelta = static_cast<ULONG>(range.step);
        built.members[i].stepping.Bounds.SignedMinimum = range.minimum;
        built.members[i].stepping.Bounds.SignedMaximum = range.maximum;
        built.members[i].defaultValue = range.defaultValue;
    }
    return built;
}

constexpr MembersTable StandardMembers = BuildMembers();

constexpr ULONG ListsPerProperty = 2;

struct MembersLists {
    KSPROPERTY_MEMBERSLIST lists[StandardPropertyCount][ListsPerProperty];
};

constexpr MembersLists BuildMembersLists() {
    MembersLists built{};
    for (ULONG i = 0; i < StandardPropertyCount; ++i) {
        KSPROPERTY_MEMBERSLIST& range = built.lists[i][0];
        range.MembersHeader.MembersFlags = KSPROPERTY_MEMBER_STEPPEDRANGES;
        range.MembersHeader.MembersSize = sizeof(KSPROPERTY_STEPPING_LONG);
        range.MembersHeader.MembersCount = 1;
        range.Members = &StandardMembers.members[i].stepping;
        KSPROPERTY_MEMBERSLIST& defaultValue = built.lists[i][1];
        defaultValue.MembersHeader.MembersFlags = KSPROPERTY_MEMBER_VALUES;
        defaultValue.MembersHeader.MembersSize = sizeof(LONG);
        defaultValue.MembersHeader.MembersCount = 1;
        defaultValue.MembersHeader.Flags = KSPROPERTY_MEMBER_FLAG_DEFAULT;
        defaultValue.Members = &StandardMembers.members[i].defaultValue;
    }
    return built;
}

constexpr MembersLists StandardMembersLists = BuildMembersLists();

struct ValuesTable {
    KSPROPERTY_VALUES values[StandardPropertyCount];
};

// Values of type VT_I4 of the general type set.
constexpr ValuesTable BuildValues() {
    ValuesTable built{};
    for (ULONG i = 0; i < StandardPropertyCount; ++i) {
        KSPROPERTY_VALUES& values = built.values[i];
        values.PropTypeSet.Set = GUID{STATIC_KSPROPTYPESETID_General};
        values.PropTypeSet.Id = VT_I4;
        values.MembersListCount = ListsPerProperty;
        values.MembersList = StandardMembersLists.lists[i];
    }
    return built;
}

constexpr ValuesTable StandardValues = BuildValues();

template <StandardSet Set, ULONG Count>
constexpr PropertyItemList<Count> BuildValueItems() {
    PropertyItemList<Count> built{};
    ULONG next = 0;
    for (ULONG i = 0; i < StandardPropertyCount; ++i) {
        if (StandardProperties[i].set != Set) {
            continue;
        }
        KSPROPERTY_ITEM& item = built.items[next++];
        item.PropertyId = StandardProperties[i].id;
        item.GetPropertyHandler = GetStandardValue<Set>;
        item.MinProperty = sizeof(ValueRecord);
        item.MinData = sizeof(ValueRecord);
        item.SetPropertyHandler = SetStandardValue<Set>;
        item.Values = &StandardValues.values[i];
    }
    return built;
}

constexpr PropertyItemList<VideoControlItemCount> BuildVideoControlItems() {
    PropertyItemList<VideoControlItemCount> built{};
    KSPROPERTY_ITEM& caps = built.items[0];
    caps.PropertyId = KSPROPERTY_VIDEOCONTROL_CAPS;
    caps.GetPropertyHandler = GetVideoControlCaps;
    caps.MinProperty = sizeof(KSPROPERTY_VIDEOCONTROL_CAPS_S);
    caps.MinData = sizeof(KSPROPERTY_VIDEOCONTROL_CAPS_S);
    KSPROPERTY_ITEM& mode = built.items[1];
    mode.PropertyId = KSPROPERTY_VIDEOCONTROL_MODE;
    mode.GetPropertyHandler = GetVideoControlMode;
    mode.MinProperty = sizeof(KSPROPERTY_VIDEOCONTROL_MODE_S);
    mode.MinData = sizeof(KSPROPERTY_VIDEOCONTROL_MODE_S);
    mode.SetPropertyHandler = SetVideoControlMode;
    return built;
}

}  // namespace

constexpr PropertyItemList<VideoProcAmpItemCount> VideoProcAmpItems =
    BuildValueItems<StandardSet::VideoProcAmp, VideoProcAmpItemCount>();
constexpr PropertyItemList<CameraControlItemCount> CameraControlItems =
    BuildValueItems<StandardSet::CameraControl, CameraControlItemCount>();
constexpr PropertyItemList<VideoControlItemCount> VideoControlItems = BuildVideoControlItems();
