// The text lines the `controls` command prints, one per control.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "tools/controls_protocol/client.h"

namespace controls {

// "ID NAME VALUE ACCESS": the value "-" when the item has no get, the access
// "get", "set", "get,set" or "-".
std::string PrivateItemLine(uint32_t id, std::optional<int32_t> value, uint32_t access);
// "NAME VALUE".
std::string PrivateValueLine(uint32_t id, int32_t value);
// "NAME VALUE range MIN..MAX step STEP default DEFAULT", then "auto on" or
// "auto off" for a property with an auto flag.
std::string StandardLine(const diskcam::StandardControl& control, const StandardReading& reading);

}  // namespace controls
