#include "tools/controls_protocol/client.h"

#include <cstdio>

#include "tools/controls_protocol/windows_layouts.h"

namespace controls {

std::string StatusText(int32_t status) {
    char text[32];
    std::snprintf(text, sizeof text, "status 0x%08X", static_cast<unsigned>(status));
    return text;
}

Reply ControlClient::Send(Target target, PropertyRequest& request, const std::string& operation) {
    Reply reply = transport_.Send(target, request);
    if (reply.status < 0) {
        throw RequestRefused(operation + ": refused with " + StatusText(reply.status));
    }
    return reply;
}

int32_t ControlClient::Get(uint32_t id) {
    PropertyRequest request = PrivateGet(id);
    Send(Target::Filter, request, "get " + PrivateName(id));
    return PrivateValue(request);
}

void ControlClient::Set(uint32_t id, int32_t value) {
    PropertyRequest request = PrivateSet(id, value);
    Send(Target::Filter, request, "set " + PrivateName(id));
}

void ControlClient::SetWindow(const Window& window) {
    PropertyRequest request = PrivateWindowSet(window);
    Send(Target::Filter, request, "set ReadoutWindow");
}

uint32_t ControlClient::Access(uint32_t id) {
    PropertyRequest request = PrivateAccess(id);
    Reply reply = transport_.Send(Target::Filter, request);
    return reply.status >= 0 ? AccessFlags(request) : 0;
}

// A basic-support reply in two requests: the size, then the whole. Video
// control has no range to ask for: its flag is on or off, and off (no flip)
// by default; the capabilities say whether it can be on.
StandardRange ControlClient::RangeOf(const diskcam::StandardControl& control) {
    const std::string operation = std::string("describe ") + control.name;
    if (control.set == diskcam::StandardSet::VideoControl) {
        PropertyRequest caps = VideoControlCaps();
        Send(Target::Pin, caps, operation);
        const bool flips = (DecodeVideoControlCaps(caps) & KS_VideoControlFlag_FlipVertical) != 0;
        return {0, flips ? 1 : 0, 1, 0};
    }
    PropertyRequest size = StandardSupport(control, KSPROPERTY_TYPE_BASICSUPPORT, 0);
    Reply sized = transport_.Send(Target::Filter, size);
    if (sized.status != SizeQueried) {
        throw RequestRefused(operation + ": refused with " + StatusText(sized.status));
    }
    PropertyRequest whole = StandardSupport(control, KSPROPERTY_TYPE_BASICSUPPORT, sized.bytes);
    Reply reply = Send(Target::Filter, whole, operation);
    std::optional<StandardRange> range = DecodeSupport(whole, reply.bytes);
    if (!range) {
        throw RequestRefused(operation + ": the reply lists no range and default");
    }
    return *range;
}

StandardReading ControlClient::Read(const diskcam::StandardControl& control) {
    PropertyRequest request = StandardGet(control);
    Send(TargetOf(control), request, std::string("get ") + control.name);
    return {DecodeStandardValue(control, request), RangeOf(control)};
}

void ControlClient::Set(const diskcam::StandardControl& control, int32_t value, bool automatic) {
    const std::string operation = std::string("set ") + control.name;
    if (control.set != diskcam::StandardSet::VideoControl) {
        PropertyRequest request = StandardSet(control, value, automatic);
        Send(Target::Filter, request, operation);
        return;
    }
    if (automatic) {
        throw RequestRefused(operation + ": has no auto mode");
    }
    PropertyRequest current = StandardGet(control);
    Send(Target::Pin, current, operation);
    int32_t mode = DecodeVideoControlMode(current) & ~int32_t{KS_VideoControlFlag_FlipVertical};
    PropertyRequest request =
        VideoControlModeSet(value != 0 ? mode | KS_VideoControlFlag_FlipVertical : mode);
    Send(Target::Pin, request, operation);
}

}  // namespace controls
