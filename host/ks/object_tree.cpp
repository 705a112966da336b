// The object tree and the accessors over it.
#include "host/ks/object_tree.h"

#include <map>
#include <mutex>

#include "host/ks/filter.h"
#include "host/ks/pin.h"
#include "host/nt/bug_check.h"

namespace host::ks {

namespace {

struct Tree {
    std::mutex mutex;
    std::map<PVOID, ObjectNode> nodes;
};

Tree& TheTree() {
    static Tree tree;
    return tree;
}

}  // namespace

void RegisterObject(PVOID object, const ObjectNode& node) {
    Tree& tree = TheTree();
    std::lock_guard<std::mutex> lock(tree.mutex);
    tree.nodes[object] = node;
}

void UnregisterObject(PVOID object) {
    Tree& tree = TheTree();
    std::lock_guard<std::mutex> lock(tree.mutex);
    tree.nodes.erase(object);
}

ObjectNode LookUpObject(PVOID object) {
    Tree& tree = TheTree();
    std::lock_guard<std::mutex> lock(tree.mutex);
    auto found = tree.nodes.find(object);
    if (found == tree.nodes.end()) {
        BugCheck("kernel streaming object " + Hex(reinterpret_cast<uintptr_t>(object)) +
                 " is no live device, filter factory, filter or pin");
    }
    return found->second;
}

}  // namespace host::ks

using host::ks::LookUpObject;

PVOID NTAPI KsGetParent(PVOID Object) {
    return LookUpObject(Object).parent;
}

PKSDEVICE NTAPI KsGetDevice(PVOID Object) {
    return LookUpObject(Object).device;
}

PKSFILTER NTAPI KsPinGetParentFilter(PKSPIN Pin) {
    return static_cast<PKSFILTER>(LookUpObject(Pin).parent);
}

void NTAPI KsAcquireControl(PVOID Object) {
    host::ks::ObjectNode node = LookUpObject(Object);
    PVOID filter = node.type == KsObjectTypePin ? node.parent : Object;
    static_cast<host::ks::Filter*>(LookUpObject(filter).owner)->control.Acquire("KsAcquireControl");
}

void NTAPI KsReleaseControl(PVOID Object) {
    host::ks::ObjectNode node = LookUpObject(Object);
    PVOID filter = node.type == KsObjectTypePin ? node.parent : Object;
    static_cast<host::ks::Filter*>(LookUpObject(filter).owner)->control.Release("KsReleaseControl");
}
