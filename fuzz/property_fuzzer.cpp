// Property requests as an application sends them through the kernel
// streaming proxy: any set GUID, id, flags, buffer sizes and contents, on the
// filter or the pin of a started device, with the pin created, closed and
// walked through its states between requests (a pin only while the window
// the requests leave is small). Each reply must stay inside
// its buffer, end with a status the class driver or the driver documents,
// and leave the device's settings within their clamps.
#include <fuzzer/FuzzedDataProvider.h>

#include <ksmedia.h>

#include <cstring>

#include "fuzz/fuzz_stack.h"

namespace {

constexpr ULONG MaxBufferBytes = 128;  // a full basic-support reply fits
constexpr size_t MaxOperations = 24;

bool Documented(NTSTATUS status) {
    switch (status) {
        case STATUS_SUCCESS:
        case STATUS_UNSUCCESSFUL:
        case STATUS_INVALID_DEVICE_STATE:  // a window set while a pin exists
        case STATUS_INSUFFICIENT_RESOURCES:
        case STATUS_INVALID_PARAMETER:  // a standard property's refused flags or stream
        case STATUS_PROPSET_NOT_FOUND:
        case STATUS_NOT_FOUND:
        case STATUS_INVALID_DEVICE_REQUEST:
        case STATUS_BUFFER_OVERFLOW:
        case STATUS_BUFFER_TOO_SMALL:
        case static_cast<NTSTATUS>(0xC0000206):  // the class driver's too-short request
            return true;
        default:
            return false;
    }
}

const GUID StandardSets[] = {
    {STATIC_PROPSETID_VIDCAP_VIDEOPROCAMP},
    {STATIC_PROPSETID_VIDCAP_CAMERACONTROL},
    {STATIC_PROPSETID_VIDCAP_VIDEOCONTROL},
    {STATIC_PROPSETID_VIDCAP_DROPPEDFRAMES},
};

// A property buffer of the caller's length whose header the input shapes:
// mostly the control set or a standard set, a get or a set, an id near the
// set's range.
std::vector<UCHAR> PropertyBuffer(FuzzedDataProvider& input, ULONG length) {
    const UCHAR shape = input.ConsumeIntegral<UCHAR>();
    const GUID& standard = input.PickValueInArray(StandardSets);
    std::vector<UCHAR> property = input.ConsumeBytes<UCHAR>(length);
    property.resize(length);
    if ((shape & 3) != 0 && length >= sizeof(GUID)) {
        std::memcpy(property.data(), (shape & 3) == 3 ? &standard : &fuzz::ControlSet,
                    sizeof(GUID));
    }
    if ((shape & 4) != 0 && length >= offsetof(KSPROPERTY, Flags)) {
        const ULONG id = shape >> 3;
        const ULONG wide = id + 40;  // shape's five bits reach ids 0..31; this 40..71
        const ULONG chosen = (shape & 0x80) != 0 ? wide : id;
        std::memcpy(property.data() + offsetof(KSPROPERTY, Id), &chosen, sizeof(chosen));
    }
    if ((shape & 0x40) != 0 && length >= sizeof(KSPROPERTY)) {
        const ULONG flags = (shape & 0x20) != 0 ? KSPROPERTY_TYPE_SET : KSPROPERTY_TYPE_GET;
        std::memcpy(property.data() + offsetof(KSPROPERTY, Flags), &flags, sizeof(flags));
    }
    return property;
}

void SendProperty(FuzzedDataProvider& input, client::Filter* filter, client::Pin* pin) {
    const ULONG propertyLength = input.ConsumeIntegralInRange<ULONG>(0, MaxBufferBytes);
    const ULONG dataLength = input.ConsumeIntegralInRange<ULONG>(0, MaxBufferBytes);
    std::vector<UCHAR> property = PropertyBuffer(input, propertyLength);
    std::vector<UCHAR> sent = input.ConsumeBytes<UCHAR>(dataLength);
    sent.resize(dataLength);
    std::vector<UCHAR> data = sent;
    client::RequestResult result =
        pin != nullptr ? pin->Property(property.data(), propertyLength, data.data(), dataLength)
                       : filter->Property(property.data(), propertyLength, data.data(), dataLength);

    FUZZ_CHECK(Documented(result.status), "undocumented status " + std::to_string(result.status));
    FUZZ_CHECK(result.bytesReturned <= dataLength || result.status == STATUS_BUFFER_OVERFLOW,
               "a reply longer than its buffer");
    if (!NT_SUCCESS(result.status)) {
        FUZZ_CHECK(result.status == STATUS_BUFFER_OVERFLOW || result.bytesReturned == 0,
                   "a refusal with bytes");
        FUZZ_CHECK(data == sent, "a refused request changed the caller's buffer");
        return;
    }
    KSPROPERTY header;
    std::memcpy(&header, property.data(), sizeof(header));
    if (!IsEqualGUID(header.Set, fuzz::ControlSet) ||
        header.Flags == KSPROPERTY_TYPE_BASICSUPPORT) {
        return;
    }
    // A get of an item writes only the value of its ControlValue.
    constexpr size_t valueOffset = 24;
    const bool get = (header.Flags & KSPROPERTY_TYPE_GET) != 0;
    FUZZ_CHECK(result.bytesReturned == (get ? 32u : 0u), "a control reply of another size");
    for (size_t i = 0; i < dataLength; ++i) {
        if (i < valueOffset || i >= valueOffset + sizeof(LONG) || !get) {
            FUZZ_CHECK(data[i] == sent[i], "a control request wrote outside its value");
        }
    }
}

const KSSTATE States[] = {KSSTATE_STOP, KSSTATE_ACQUIRE, KSSTATE_PAUSE, KSSTATE_RUN};

void RunOperation(FuzzedDataProvider& input, fuzz::Stack& stack) {
    switch (input.ConsumeIntegralInRange(0, 7)) {
        case 0:
            if (stack.Pin() == nullptr) {
                if (fuzz::SmallWindow(*stack.Camera())) {
                    stack.CreatePin();
                }
            } else {
                stack.ClosePin();
            }
            break;
        case 1:
            if (stack.Pin() != nullptr) {
                const KSSTATE state = input.PickValueInArray(States);
                const NTSTATUS status = stack.Pin()->SetState(state);
                FUZZ_CHECK(status == STATUS_SUCCESS, "a state walk refused on a good camera");
            }
            break;
        case 2:
            SendProperty(input, stack.Filter(), stack.Pin());
            break;
        default:
            SendProperty(input, stack.Filter(), nullptr);
            break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    FuzzedDataProvider input(bytes, size);
    fuzz::Stack stack({fuzz::SteppedCamera()});
    FUZZ_CHECK(stack.Camera() != nullptr, "device add failed");
    const LONG width = input.ConsumeIntegralInRange<LONG>(32, fuzz::MaxWindow);
    const LONG height = input.ConsumeIntegralInRange<LONG>(32, fuzz::MaxWindow);
    stack.StoreWindow(input.ConsumeIntegralInRange<LONG>(0, 7),
                      input.ConsumeIntegralInRange<LONG>(0, 7), width, height);
    FUZZ_CHECK(stack.Start() == STATUS_SUCCESS, "device start failed");
    FUZZ_CHECK(stack.OpenFilter() != nullptr, "filter open failed");
    for (size_t i = 0; i < MaxOperations && input.remaining_bytes() != 0; ++i) {
        RunOperation(input, stack);
        fuzz::CheckDeviceInvariants(*stack.Camera());
    }
    return 0;
}
