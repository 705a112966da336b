// The kernel streaming face of ControlPropertySet: the property items built
// from the item table, and the handlers the class driver calls after it has
// checked the set, the id, the operation and both buffers' minimum sizes.
#include "settings/control_property_set.h"

#include "diskcam/controls.h"
#include "platform/streaming.h"
#include "settings/control_items.h"

constexpr GUID ControlPropertySetId = {
    0xcaa3f35d, 0xd36c, 0x48bc, {0x9f, 0xe6, 0xfc, 0xbd, 0xb1, 0x47, 0x2c, 0x9c}};

namespace {

// What control applications know of the set (diskcam/controls.h) is what
// the driver serves.
constexpr bool SameName(const char* a, const char* b) {
    if (a == nullptr || b == nullptr) {
        return a == b;
    }
    while (*a != 0 && *a == *b) {
        ++a;
        ++b;
    }
    return *a == *b;
}

constexpr bool NamesAsApplicationsKnowThem() {
    for (ULONG i = 0; i < ControlItemCount; ++i) {
        if (!SameName(ControlItems[i].name, diskcam::ControlItemNames[i])) {
            return false;
        }
    }
    return true;
}

constexpr bool GuidAsApplicationsKnowIt() {
    using Known = diskcam::ControlSetGuid;
    for (int i = 0; i < 8; ++i) {
        if (ControlPropertySetId.Data4[i] != Known::data4[i]) {
            return false;
        }
    }
    return ControlPropertySetId.Data1 == Known::data1 &&
           ControlPropertySetId.Data2 == Known::data2 && ControlPropertySetId.Data3 == Known::data3;
}

static_assert(diskcam::ControlItemCount == ControlItemCount, "item count");
static_assert(NamesAsApplicationsKnowThem(), "item names");
static_assert(GuidAsApplicationsKnowIt(), "set GUID");
static_assert(ControlItems[diskcam::ReadoutWindowItem].set == ControlSet::ReadoutWindow,
              "the window item");
static_assert(diskcam::ControlValueBytes == sizeof(ControlValue) &&
                  diskcam::ControlValueOffset == __builtin_offsetof(ControlValue, Value),
              "ControlValue layout");
static_assert(diskcam::WindowRequestBytes == sizeof(WindowRequest) &&
                  diskcam::WindowModeOffset == __builtin_offsetof(WindowRequest, Mode),
              "WindowRequest layout");

// The item the request names. The class driver has matched the id against
// the set; the range check keeps a request that did not come through it from
// reading past the table.
const ControlItem* ItemOfRequest(const KSIDENTIFIER* request) {
    if (request == nullptr || request->Id >= ControlItemCount) {
        return nullptr;
    }
    return &ControlItems[request->Id];
}

// A get's reply is the whole ControlValue the class driver checked the
// buffer holds, and the class driver copies back only the bytes the request
// says. A call without a request has nowhere to say it.
NTSTATUS Replied(PIRP irp) {
    if (irp != nullptr) {
        SetRequestInformation(irp, sizeof(ControlValue));
    }
    return STATUS_SUCCESS;
}

// Constants need no device; every other get reads it.
NTSTATUS NTAPI GetControl(PIRP irp, PKSIDENTIFIER request, PVOID data) {
    const ControlItem* item = ItemOfRequest(request);
    if (item == nullptr || data == nullptr) {
        return STATUS_UNSUCCESSFUL;
    }
    auto* reply = static_cast<ControlValue*>(data);
    if (item->get == ControlGet::Constant) {
        reply->Value = item->constant;
        return Replied(irp);
    }
    CameraDevice* camera = CameraOfRequest(irp);
    if (camera == nullptr) {
        return STATUS_UNSUCCESSFUL;
    }
    reply->Value = ReadControl(camera, *item);
    return Replied(irp);
}

// Success also for a set that changes nothing.
NTSTATUS NTAPI SetControl(PIRP irp, PKSIDENTIFIER request, PVOID data) {
    const ControlItem* item = ItemOfRequest(request);
    CameraDevice* camera = CameraOfRequest(irp);
    if (item == nullptr || data == nullptr || camera == nullptr) {
        return STATUS_UNSUCCESSFUL;
    }
    WriteControl(camera, *item, static_cast<const ControlValue*>(data)->Value);
    return STATUS_SUCCESS;
}

// Item 44; its data buffer is a WindowRequest. While a capture pin exists
// the window and the format stay as they are, and the set is refused.
NTSTATUS NTAPI SetWindowControl(PIRP irp, PKSIDENTIFIER request, PVOID data) {
    CameraDevice* camera = CameraOfRequest(irp);
    if (request == nullptr || data == nullptr || camera == nullptr) {
        return STATUS_UNSUCCESSFUL;
    }
    if (!WriteReadoutWindow(camera, *static_cast<const WindowRequest*>(data))) {
        return STATUS_INVALID_DEVICE_STATE;
    }
    return STATUS_SUCCESS;
}

constexpr ULONG MinimumSize(const ControlItem& item) {
    return item.set == ControlSet::ReadoutWindow ? sizeof(WindowRequest) : sizeof(ControlValue);
}

constexpr PFNKSHANDLER SetHandler(const ControlItem& item) {
    switch (item.set) {
        case ControlSet::NotOffered:
            return nullptr;
        case ControlSet::ReadoutWindow:
            return SetWindowControl;
        default:
            return SetControl;
    }
}

// A missing handler is an operation the item does not offer: the class
// driver refuses it.
constexpr PropertyItemList<ControlItemCount> BuildPropertyItems() {
    PropertyItemList<ControlItemCount> built{};
    for (ULONG i = 0; i < ControlItemCount; ++i) {
        KSPROPERTY_ITEM& item = built.items[i];
        item.PropertyId = ControlItems[i].id;
        item.GetPropertyHandler =
            ControlItems[i].get == ControlGet::NotOffered ? nullptr : GetControl;
        item.MinProperty = MinimumSize(ControlItems[i]);
        item.MinData = MinimumSize(ControlItems[i]);
        item.SetPropertyHandler = SetHandler(ControlItems[i]);
    }
    return built;
}

}  // namespace

constexpr PropertyItemList<ControlItemCount> ControlPropertyItems = BuildPropertyItems();

CameraDevice* CameraOfRequest(PIRP irp) {
    if (irp == nullptr) {
        return nullptr;
    }
    KSFILTER* filter = FilterFromRequest(irp);
    if (filter == nullptr) {
        return nullptr;
    }
    KSDEVICE* device = DeviceOf(filter);
    if (device == nullptr) {
        return nullptr;
    }
    return static_cast<CameraDevice*>(device->Context);
}
