// The bytes of every control request a control application sends through
// IOCTL_KS_PROPERTY: gets, sets and access queries of the private control
// set on the filter, and gets, sets, basic-support and default-values
// requests of the standard camera properties (on the filter, video control
// on the capture pin); and the decoding of their replies. Plain C++ over the
// Windows records, no I/O: a transport sends the requests.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "diskcam/controls.h"
#include "diskcam/standard_controls.h"

namespace controls {

// The property buffer (in) and the data buffer (out for a get, in for a
// set) of one request.
struct PropertyRequest {
    std::vector<uint8_t> property;
    std::vector<uint8_t> data;
};

// Where a request goes: the filter, or its capture pin (stream 0).
enum class Target { Filter, Pin };

struct Window {
    int32_t mode, x, y, width, height;
};

// The private control set.
// The name of an item, or its id for one without a name.
std::string PrivateName(uint32_t id);
PropertyRequest PrivateGet(uint32_t id);
PropertyRequest PrivateSet(uint32_t id, int32_t value);
PropertyRequest PrivateWindowSet(const Window& window);
// A basic-support query of a ULONG: the get and set flags the item offers.
PropertyRequest PrivateAccess(uint32_t id);
int32_t PrivateValue(const PropertyRequest& reply);
uint32_t AccessFlags(const PropertyRequest& reply);

// The standard properties.
Target TargetOf(const diskcam::StandardControl& control);
PropertyRequest StandardGet(const diskcam::StandardControl& control);
// A set of a video processing amplifier or camera control property: the
// value (manual), or the auto flag.
PropertyRequest StandardSet(const diskcam::StandardControl& control, int32_t value, bool automatic);
// A set of the capture stream's video control mode.
PropertyRequest VideoControlModeSet(int32_t mode);
// A basic-support or default-values request (flags) with a data buffer of
// `dataBytes`: 0 asks for the size of the whole reply.
PropertyRequest StandardSupport(const diskcam::StandardControl& control, uint32_t flags,
                                uint32_t dataBytes);
// The video control capabilities of the capture stream.
PropertyRequest VideoControlCaps();

struct StandardValue {
    int32_t value;
    bool automatic;  // the auto flag is on
    bool canAuto;    // the property has one
};
// A get's reply; for FlipVertical, whether the mode has the vertical flip.
StandardValue DecodeStandardValue(const diskcam::StandardControl& control,
                                  const PropertyRequest& reply);

struct StandardRange {
    int32_t minimum, maximum, step, defaultValue;
};
// The stepped range and the default a basic-support reply of `bytes` lists;
// nothing when it lists neither.
std::optional<StandardRange> DecodeSupport(const PropertyRequest& reply, uint32_t bytes);
// The default a default-values reply lists.
std::optional<int32_t> DecodeDefault(const PropertyRequest& reply, uint32_t bytes);
uint32_t DecodeVideoControlCaps(const PropertyRequest& reply);

// The mode of a video control get's reply.
int32_t DecodeVideoControlMode(const PropertyRequest& reply);

// The standard control of a name (any case); null when none has it.
const diskcam::StandardControl* FindStandard(const char* name);

}  // namespace controls
