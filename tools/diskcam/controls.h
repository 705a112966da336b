// The driver's control property set from the application side: items by
// name or id, gets and sets on an open filter, and the `controls` command.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/client/filter.h"

namespace tool {

struct Window {
    int32_t mode, x, y, width, height;
};

// The refusal of a request: the operation, the item and the status.
class RequestRefused : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class Controls {
public:
    explicit Controls(client::Filter& filter) : filter_(filter) {}

    // The item's id for a name (any case) or a decimal id; nothing when
    // neither names an item.
    static std::optional<uint32_t> Find(const std::string& nameOrId);
    // The name, or the id for items without one.
    static std::string Name(uint32_t id);

    int32_t Get(uint32_t id);
    void Set(uint32_t id, int32_t value);
    void SetWindow(const Window& window);
    // What the item offers: KSPROPERTY_TYPE_GET and KSPROPERTY_TYPE_SET bits.
    uint32_t Access(uint32_t id);

private:
    client::RequestResult Request(uint32_t id, uint32_t flags, void* data, uint32_t bytes);

    client::Filter& filter_;
};

// Parses "NAME=VALUE" or "ID=VALUE" and applies it; ReadoutWindow takes
// MODE,X,Y,W,H. Throws std::invalid_argument for a malformed assignment.
void ApplyAssignment(Controls& controls, const std::string& assignment);

// The `controls` command: operations in order, printing to standard output.
void RunControls(Controls& controls, const std::vector<std::string>& operations);

// Parses a signed 32-bit decimal (or 0x hex) value.
int32_t ParseValue(const std::string& text);

}  // namespace tool
