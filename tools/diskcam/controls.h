// The driver's controls from the application side: the private items by
// name or id and the standard properties by name, on an open filter (and,
// for video control, a capture pin created for the requests), and the
// `controls` command (tools/controls_protocol/command.h) runs over it.
#pragma once

#include <cstdint>
#include <memory>

#include "host/client/filter.h"
#include "host/client/pin.h"
#include "tools/controls_protocol/client.h"

namespace tool {

using Window = controls::Window;
using RequestRefused = controls::RequestRefused;

// Carries requests to the filter, and to a capture pin it creates, in the
// stop state, for the first request to the pin and keeps until it goes.
class HostTransport : public controls::Transport {
public:
    explicit HostTransport(client::Filter& filter) : filter_(filter) {}
    controls::Reply Send(controls::Target target, controls::PropertyRequest& request) override;

private:
    client::Filter& filter_;
    std::unique_ptr<client::Pin> pin_;
};

class Controls : private HostTransport, public controls::ControlClient {
public:
    explicit Controls(client::Filter& filter)
        : HostTransport(filter), controls::ControlClient(static_cast<HostTransport&>(*this)) {}
};

}  // namespace tool
