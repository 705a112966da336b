// The driver's controls from the application side: the private items by
// name or id and the standard properties by name, on an open filter (and,
// for video control, a capture pin created for the requests), and the
// `controls` command. The requests and the lines printed are those of
// tools/controls_protocol.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

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

    // The item's id for a name (any case) or a decimal id; nothing when
    // neither names an item.
    static std::optional<uint32_t> Find(const std::string& nameOrId);
};

// Parses "NAME=VALUE" or "ID=VALUE" and applies it; ReadoutWindow takes
// MODE,X,Y,W,H. Throws std::invalid_argument for a malformed assignment.
void ApplyAssignment(Controls& controls, const std::string& assignment);

// The `controls` command: operations in order, printing to standard output;
// with `standard`, on the standard properties (NAME=auto sets the auto flag).
void RunControls(Controls& controls, const std::vector<std::string>& operations,
                 bool standard = false);

// Parses a signed 32-bit decimal (or 0x hex) value.
int32_t ParseValue(const std::string& text);

}  // namespace tool
