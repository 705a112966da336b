// A control application's view of the driver's controls over any transport
// that carries IOCTL_KS_PROPERTY requests to the filter and its capture pin:
// the private items and the standard properties, read, set and described.
// A refused request throws RequestRefused naming the operation and status.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

#include "tools/controls_protocol/requests.h"

namespace controls {

class RequestRefused : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The NTSTATUS a request completed with (negative: refused) and the bytes
// it returned.
struct Reply {
    int32_t status;
    uint32_t bytes;
};

// The status of a request whose empty data buffer asked for the size of the
// whole reply (STATUS_BUFFER_OVERFLOW), the size being the bytes returned.
constexpr int32_t SizeQueried = static_cast<int32_t>(0x80000005);

class Transport {
public:
    virtual ~Transport() = default;
    // Sends the request; a get's reply lands in request.data.
    virtual Reply Send(Target target, PropertyRequest& request) = 0;
};

// One standard property as it stands: its value, its range and default, and
// its auto flag where it has one.
struct StandardReading {
    StandardValue value;
    StandardRange range;
};

class ControlClient {
public:
    explicit ControlClient(Transport& transport) : transport_(transport) {}

    int32_t Get(uint32_t id);
    void Set(uint32_t id, int32_t value);
    void SetWindow(const Window& window);
    // KSPROPERTY_TYPE_GET and KSPROPERTY_TYPE_SET bits; 0 when the query is
    // refused.
    uint32_t Access(uint32_t id);

    StandardReading Read(const diskcam::StandardControl& control);
    // The value (manual), or with `automatic` the auto flag.
    void Set(const diskcam::StandardControl& control, int32_t value, bool automatic);

private:
    Reply Send(Target target, PropertyRequest& request, const std::string& operation);
    StandardRange RangeOf(const diskcam::StandardControl& control);

    Transport& transport_;
};

std::string StatusText(int32_t status);

}  // namespace controls
