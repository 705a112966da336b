// KsCreateFilterFactory and the list of live factories.
#include "host/ks/filter_factory.h"

#include <cstdio>
#include <mutex>

#include "host/ks/filter.h"
#include "host/ks/object_bag.h"
#include "host/ks/object_tree.h"
#include "host/ks/pool_object.h"

namespace host::ks {

namespace {

struct Factories {
    std::mutex mutex;
    std::vector<FilterFactory*> live;
    unsigned created = 0;
};

Factories& TheFactories() {
    static Factories factories;
    return factories;
}

std::string Narrow(const std::u16string& text) {
    return std::string(text.begin(), text.end());
}

std::string PathOf(const FilterFactory& factory, const GUID& category) {
    return "\\\\?\\ks#" + std::to_string(factory.number) + "#" + GuidText(category) + "\\" +
           Narrow(factory.referenceString);
}

bool ListsCategory(const FilterFactory& factory, const GUID& category) {
    const KSFILTER_DESCRIPTOR* descriptor = factory.ks.FilterDescriptor;
    for (ULONG i = 0; i < descriptor->CategoriesCount; ++i) {
        if (IsEqualGUID(descriptor->Categories[i], category)) {
            return true;
        }
    }
    return false;
}

unsigned NextNumber() {
    Factories& factories = TheFactories();
    std::lock_guard<std::mutex> lock(factories.mutex);
    return ++factories.created;
}

}  // namespace

FilterFactory::FilterFactory(PKSDEVICE device, const KSFILTER_DESCRIPTOR* descriptor,
                             std::u16string referenceString, ULONG createItemFlags)
    : device(device),
      referenceString(std::move(referenceString)),
      createItemFlags(createItemFlags),
      number(NextNumber()) {
    ks.FilterDescriptor = descriptor;
    ks.Bag = CreateObjectBag();
    ks.Context = device->Context;
}

std::string GuidText(const GUID& guid) {
    char text[40];
    std::snprintf(text, sizeof(text), "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  guid.Data1, guid.Data2, guid.Data3, guid.Data4[0], guid.Data4[1], guid.Data4[2],
                  guid.Data4[3], guid.Data4[4], guid.Data4[5], guid.Data4[6], guid.Data4[7]);
    return text;
}

std::vector<std::string> FilterPaths(const GUID& category) {
    Factories& factories = TheFactories();
    std::lock_guard<std::mutex> lock(factories.mutex);
    std::vector<std::string> paths;
    for (FilterFactory* factory : factories.live) {
        if (ListsCategory(*factory, category)) {
            paths.push_back(PathOf(*factory, category));
        }
    }
    return paths;
}

FilterFactory* FindFilterFactory(const std::string& path) {
    Factories& factories = TheFactories();
    std::lock_guard<std::mutex> lock(factories.mutex);
    for (FilterFactory* factory : factories.live) {
        const KSFILTER_DESCRIPTOR* descriptor = factory->ks.FilterDescriptor;
        for (ULONG i = 0; i < descriptor->CategoriesCount; ++i) {
            if (PathOf(*factory, descriptor->Categories[i]) == path) {
                return factory;
            }
        }
    }
    return nullptr;
}

std::string AliasPath(const std::string& path, const GUID& category) {
    FilterFactory* factory = FindFilterFactory(path);
    if (factory == nullptr || !ListsCategory(*factory, category)) {
        return {};
    }
    return PathOf(*factory, category);
}

void DeleteFilterFactories(PKSDEVICE device, bool onlyFreeOnStop) {
    std::vector<FilterFactory*> doomed;
    {
        Factories& factories = TheFactories();
        std::lock_guard<std::mutex> lock(factories.mutex);
        for (auto it = factories.live.begin(); it != factories.live.end();) {
            const bool freeOnStop = ((*it)->createItemFlags & KSCREATE_ITEM_FREEONSTOP) != 0;
            if ((*it)->device == device && (freeOnStop || !onlyFreeOnStop)) {
                doomed.push_back(*it);
                it = factories.live.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (FilterFactory* factory : doomed) {
        CloseFiltersOf(factory);
        FreeObjectBag(static_cast<ObjectBag*>(factory->ks.Bag));
        UnregisterObject(&factory->ks);
        DeleteInPool(factory, FactoryTag);
    }
}

}  // namespace host::ks

NTSTATUS NTAPI KsCreateFilterFactory(PDEVICE_OBJECT DeviceObject,
                                     const KSFILTER_DESCRIPTOR* Descriptor, PWSTR RefString,
                                     PSECURITY_DESCRIPTOR, ULONG CreateItemFlags,
                                     PFNKSFILTERFACTORYPOWER, PFNKSFILTERFACTORYPOWER,
                                     PKSFILTERFACTORY* FilterFactory) {
    using namespace host::ks;
    auto* device = static_cast<PKSDEVICE>(DeviceObject->DeviceExtension);
    std::u16string reference = RefString != nullptr ? std::u16string(RefString) : u"";
    auto* factory = NewInPool<host::ks::FilterFactory>(FactoryTag, device, Descriptor,
                                                       std::move(reference), CreateItemFlags);
    if (factory == nullptr) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    RegisterObject(&factory->ks, {KsObjectTypeFilterFactory, device, device, factory});
    {
        Factories& factories = TheFactories();
        std::lock_guard<std::mutex> lock(factories.mutex);
        factories.live.push_back(factory);
    }
    if (FilterFactory != nullptr) {
        *FilterFactory = &factory->ks;
    }
    return STATUS_SUCCESS;
}
