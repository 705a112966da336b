// Filter factories: a filter descriptor registered on a device under a
// reference string. Each factory publishes one path per category of its
// descriptor, the way device interfaces name a filter to applications.
#pragma once

#include <ks.h>

#include <string>
#include <vector>

namespace host::ks {

class FilterFactory {
public:
    FilterFactory(PKSDEVICE device, const KSFILTER_DESCRIPTOR* descriptor,
                  std::u16string referenceString, ULONG createItemFlags);

    KSFILTERFACTORY ks{};
    PKSDEVICE const device;
    const std::u16string referenceString;
    const ULONG createItemFlags;
    const unsigned number;  // distinguishes factories in paths
};

// The paths of the live factories whose descriptor lists the category.
std::vector<std::string> FilterPaths(const GUID& category);

// The factory a path names, or null.
FilterFactory* FindFilterFactory(const std::string& path);

// The path of the filter `path` names under another category of its
// factory; empty when no factory has the path or its descriptor does not
// list the category.
std::string AliasPath(const std::string& path, const GUID& category);

// Closes the filters of the device's factories and deletes the factories:
// those created with KSCREATE_ITEM_FREEONSTOP at a stop, all at removal.
void DeleteFilterFactories(PKSDEVICE device, bool onlyFreeOnStop);

std::string GuidText(const GUID& guid);

}  // namespace host::ks
