#include "tools/controls_protocol/report.h"

#include "tools/controls_protocol/windows_layouts.h"

namespace controls {

namespace {

std::string AccessText(uint32_t access) {
    const bool get = (access & KSPROPERTY_TYPE_GET) != 0;
    const bool set = (access & KSPROPERTY_TYPE_SET) != 0;
    return get && set ? "get,set" : get ? "get" : set ? "set" : "-";
}

}  // namespace

std::string PrivateItemLine(uint32_t id, std::optional<int32_t> value, uint32_t access) {
    return std::to_string(id) + " " + PrivateName(id) + " " +
           (value ? std::to_string(*value) : "-") + " " + AccessText(access);
}

std::string PrivateValueLine(uint32_t id, int32_t value) {
    return PrivateName(id) + " " + std::to_string(value);
}

std::string StandardLine(const diskcam::StandardControl& control, const StandardReading& reading) {
    std::string line = std::string(control.name) + " " + std::to_string(reading.value.value) +
                       " range " + std::to_string(reading.range.minimum) + ".." +
                       std::to_string(reading.range.maximum) + " step " +
                       std::to_string(reading.range.step) + " default " +
                       std::to_string(reading.range.defaultValue);
    if (reading.value.canAuto) {
        line += reading.value.automatic ? " auto on" : " auto off";
    }
    return line;
}

}  // namespace controls
