// Objects, handles and references. Handles are kernel handles as Windows
// makes them (top bit set, multiples of four) and are never reused until the
// kernel is reset, so a handle used after ZwClose is always caught.
#include "host/nt/object_table.h"

#include <algorithm>
#include <map>
#include <set>
#include <vector>

#include "host/nt/bug_check.h"
#include "host/nt/current_thread.h"

namespace host::nt {
namespace {

struct HandleEntry {
    KernelObject* object;
    ACCESS_MASK access;
};

struct ObjectTable {
    std::set<const void*> live;
    std::vector<KernelObject*> inOrder;
    std::map<ULONG_PTR, HandleEntry> handles;
    ULONG_PTR nextHandle = 0xFFFFFFFF80000004ull;
};

ObjectTable& Table() {
    static ObjectTable table;
    return table;
}

// With the kernel mutex held: forgets an object without handles or
// references and returns it for deletion outside the mutex.
KernelObject* DetachIfUnused(KernelObject* object) {
    if (object->handles > 0 || object->references > 0) {
        return nullptr;
    }
    ObjectTable& table = Table();
    table.live.erase(object);
    table.inOrder.erase(std::remove(table.inOrder.begin(), table.inOrder.end(), object),
                        table.inOrder.end());
    return object;
}

const char* KindName(ObjectKind kind) {
    switch (kind) {
        case ObjectKind::File:
            return "file";
        case ObjectKind::Key:
            return "key";
        case ObjectKind::Thread:
            return "thread";
    }
    return "object";
}

}  // namespace

std::mutex& KernelMutex() {
    static std::mutex mutex;
    return mutex;
}

std::condition_variable& DispatcherChanged() {
    static std::condition_variable condition;
    return condition;
}

void InsertObject(KernelObject* object) {
    std::lock_guard<std::mutex> lock(KernelMutex());
    Table().live.insert(object);
    Table().inOrder.push_back(object);
}

HANDLE CreateHandle(KernelObject* object, ACCESS_MASK access) {
    std::lock_guard<std::mutex> lock(KernelMutex());
    ObjectTable& table = Table();
    ULONG_PTR value = table.nextHandle;
    table.nextHandle += 4;
    table.handles[value] = HandleEntry{object, access};
    ++object->handles;
    return reinterpret_cast<HANDLE>(value);
}

bool IsLiveObjectLocked(const void* pointer) {
    return Table().live.count(pointer) != 0;
}

NTSTATUS ReferenceByHandle(HANDLE handle, ObjectKind kind, KernelObject** object) {
    std::lock_guard<std::mutex> lock(KernelMutex());
    auto entry = Table().handles.find(reinterpret_cast<ULONG_PTR>(handle));
    if (entry == Table().handles.end()) {
        return STATUS_INVALID_HANDLE;
    }
    if (entry->second.object->Kind() != kind) {
        return STATUS_OBJECT_TYPE_MISMATCH;
    }
    *object = entry->second.object;
    ++(*object)->references;
    return STATUS_SUCCESS;
}

void ReferenceObject(KernelObject* object) {
    std::lock_guard<std::mutex> lock(KernelMutex());
    ++object->references;
}

long DereferenceObject(KernelObject* object) {
    KernelObject* unused;
    long remaining;
    {
        std::lock_guard<std::mutex> lock(KernelMutex());
        if (!IsLiveObjectLocked(object) || object->references == 0) {
            BugCheck("ObDereferenceObject of " + Hex(reinterpret_cast<ULONG_PTR>(object)) +
                     ", which holds no reference (dereferenced once too often?)");
        }
        remaining = --object->references;
        unused = DetachIfUnused(object);
    }
    delete unused;
    return remaining;
}

KernelObject* ReleaseReferenceLocked(KernelObject* object) {
    --object->references;
    return DetachIfUnused(object);
}

void DescribeObjectLeaks(std::string* report) {
    std::lock_guard<std::mutex> lock(KernelMutex());
    for (const KernelObject* object : Table().inOrder) {
        *report += std::string(KindName(object->Kind())) + " object " + object->Describe() + ": " +
                   std::to_string(object->handles) + " handle(s), " +
                   std::to_string(object->references) + " reference(s)\n";
    }
}

void ResetObjects() {
    std::vector<KernelObject*> objects;
    {
        std::lock_guard<std::mutex> lock(KernelMutex());
        ObjectTable& table = Table();
        objects.swap(table.inOrder);
        table.live.clear();
        table.handles.clear();
        table.nextHandle = 0xFFFFFFFF80000004ull;
    }
    for (KernelObject* object : objects) {
        delete object;
    }
}

}  // namespace host::nt

using host::nt::KernelObject;

NTSTATUS NTAPI ObReferenceObjectByHandle(HANDLE Handle, ACCESS_MASK DesiredAccess,
                                         POBJECT_TYPE ObjectType, KPROCESSOR_MODE AccessMode,
                                         PVOID* Object,
                                         POBJECT_HANDLE_INFORMATION HandleInformation) {
    // Kernel-mode callers get no access check on Windows either.
    (void)DesiredAccess;
    (void)AccessMode;
    std::lock_guard<std::mutex> lock(host::nt::KernelMutex());
    auto& handles = host::nt::Table().handles;
    auto entry = handles.find(reinterpret_cast<ULONG_PTR>(Handle));
    if (entry == handles.end()) {
        return STATUS_INVALID_HANDLE;
    }
    KernelObject* object = entry->second.object;
    if (ObjectType != nullptr &&
        (ObjectType != *PsThreadType || object->Kind() != host::nt::ObjectKind::Thread)) {
        return STATUS_OBJECT_TYPE_MISMATCH;
    }
    ++object->references;
    *Object = object;
    if (HandleInformation != nullptr) {
        HandleInformation->HandleAttributes = 0;
        HandleInformation->GrantedAccess = entry->second.access;
    }
    return STATUS_SUCCESS;
}

LONG_PTR FASTCALL ObfReferenceObject(PVOID Object) {
    std::lock_guard<std::mutex> lock(host::nt::KernelMutex());
    if (!host::nt::IsLiveObjectLocked(Object)) {
        host::BugCheck("ObReferenceObject of " + host::Hex(reinterpret_cast<ULONG_PTR>(Object)) +
                       ", which is not a live object");
    }
    return ++static_cast<KernelObject*>(Object)->references;
}

LONG_PTR FASTCALL ObfDereferenceObject(PVOID Object) {
    return host::nt::DereferenceObject(static_cast<KernelObject*>(Object));
}

NTSTATUS NTAPI ZwClose(HANDLE Handle) {
    host::nt::RequirePassiveLevel("ZwClose");
    KernelObject* unused;
    {
        std::lock_guard<std::mutex> lock(host::nt::KernelMutex());
        auto& handles = host::nt::Table().handles;
        auto entry = handles.find(reinterpret_cast<ULONG_PTR>(Handle));
        if (entry == handles.end()) {
            // Windows answers with bug check 0x93, INVALID_KERNEL_HANDLE.
            host::BugCheck("ZwClose of " + host::Hex(reinterpret_cast<ULONG_PTR>(Handle)) +
                           ", which is not an open handle (INVALID_KERNEL_HANDLE)");
        }
        KernelObject* object = entry->second.object;
        handles.erase(entry);
        --object->handles;
        unused = host::nt::DetachIfUnused(object);
    }
    delete unused;
    return STATUS_SUCCESS;
}
