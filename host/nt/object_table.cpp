// Objects, handles and references. Kernel handles are numbered as Windows
// numbers them (top bit set, multiples of four), process handles from 4 in
// each process; neither is reused until the kernel is reset, so a handle
// used after ZwClose is always caught.
#include "host/nt/object_table.h"

#include <algorithm>
#include <map>
#include <set>
#include <vector>

#include "host/nt/bug_check.h"
#include "host/nt/current_thread.h"
#include "host/nt/processes.h"

namespace host::nt {
namespace {

constexpr ULONG_PTR FirstKernelHandle = 0xFFFFFFFF80000004ull;
constexpr ULONG_PTR FirstProcessHandle = 4;

struct HandleEntry {
    KernelObject* object;
    ACCESS_MASK access;
};

struct HandleTable {
    std::string owner;  // for leak reports
    std::map<ULONG_PTR, HandleEntry> handles;
    ULONG_PTR nextHandle;
};

HandleTable SystemHandleTable() {
    return {"process 4 (System)", {}, FirstProcessHandle};
}

struct ObjectTable {
    std::set<const void*> live;
    std::vector<KernelObject*> inOrder;
    HandleTable kernel{"the kernel", {}, FirstKernelHandle};
    std::map<ULONG_PTR, HandleTable> processes{{host::SystemProcessId, SystemHandleTable()}};
};

ObjectTable& Table() {
    static ObjectTable table;
    return table;
}

// With the kernel mutex held: the calling thread's process's table; null
// when the process has exited.
HandleTable* CurrentProcessTable() {
    ObjectTable& table = Table();
    auto process = table.processes.find(CurrentThread().processId);
    return process == table.processes.end() ? nullptr : &process->second;
}

// With the kernel mutex held: the table in which the calling thread looks a
// handle up.
HandleTable* TableFor(HANDLE handle) {
    return IsKernelHandle(handle) ? &Table().kernel : CurrentProcessTable();
}

// With the kernel mutex held: the entry of an open handle, or null.
HandleEntry* FindHandle(HANDLE handle) {
    HandleTable* table = TableFor(handle);
    if (table == nullptr) {
        return nullptr;
    }
    auto entry = table->handles.find(reinterpret_cast<ULONG_PTR>(handle));
    return entry == table->handles.end() ? nullptr : &entry->second;
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

// With the kernel mutex held: removes an open handle and returns its
// object, or null when the calling thread has no such handle.
KernelObject* TakeHandleLocked(HANDLE handle) {
    HandleTable* table = TableFor(handle);
    if (table == nullptr) {
        return nullptr;
    }
    auto entry = table->handles.find(reinterpret_cast<ULONG_PTR>(handle));
    if (entry == table->handles.end()) {
        return nullptr;
    }
    KernelObject* object = entry->second.object;
    table->handles.erase(entry);
    --object->handles;
    return object;
}

// With the kernel mutex held: closes every handle of a table and returns
// the objects left without a use, for deletion outside the mutex.
std::vector<KernelObject*> CloseAllLocked(HandleTable* table) {
    std::vector<KernelObject*> unused;
    for (auto& entry : table->handles) {
        --entry.second.object->handles;
        if (KernelObject* object = DetachIfUnused(entry.second.object)) {
            unused.push_back(object);
        }
    }
    table->handles.clear();
    return unused;
}

void DescribeHandles(const HandleTable& table, std::string* report) {
    for (const auto& entry : table.handles) {
        const KernelObject* object = entry.second.object;
        *report += "handle " + Hex(entry.first) + " of " + table.owner + " to " +
                   KindName(object->Kind()) + " " + object->Describe() + "\n";
    }
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

HANDLE CreateHandle(KernelObject* object, ACCESS_MASK access, ULONG attributes) {
    std::lock_guard<std::mutex> lock(KernelMutex());
    const bool kernel = (attributes & OBJ_KERNEL_HANDLE) != 0;
    HandleTable* table = kernel ? &Table().kernel : CurrentProcessTable();
    if (table == nullptr) {
        BugCheck("a handle created in process " + std::to_string(CurrentThread().processId) +
                 ", which has exited");
    }
    ULONG_PTR value = table->nextHandle;
    table->nextHandle += 4;
    table->handles[value] = HandleEntry{object, access};
    ++object->handles;
    return reinterpret_cast<HANDLE>(value);
}

bool IsKernelHandle(HANDLE handle) {
    return static_cast<LONG_PTR>(reinterpret_cast<ULONG_PTR>(handle)) < 0;
}

bool IsLiveObjectLocked(const void* pointer) {
    return Table().live.count(pointer) != 0;
}

NTSTATUS ReferenceByHandle(HANDLE handle, ObjectKind kind, KernelObject** object) {
    std::lock_guard<std::mutex> lock(KernelMutex());
    HandleEntry* entry = FindHandle(handle);
    if (entry == nullptr) {
        return STATUS_INVALID_HANDLE;
    }
    if (entry->object->Kind() != kind) {
        return STATUS_OBJECT_TYPE_MISMATCH;
    }
    *object = entry->object;
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
    DescribeHandles(Table().kernel, report);
    for (const auto& process : Table().processes) {
        DescribeHandles(process.second, report);
    }
}

void ResetObjects() {
    std::vector<KernelObject*> objects;
    {
        std::lock_guard<std::mutex> lock(KernelMutex());
        ObjectTable& table = Table();
        objects.swap(table.inOrder);
        table.live.clear();
        table.kernel.handles.clear();
        table.kernel.nextHandle = FirstKernelHandle;
        table.processes.clear();
        table.processes.emplace(host::SystemProcessId, SystemHandleTable());
    }
    for (KernelObject* object : objects) {
        delete object;
    }
}

void AddProcessHandleTable(ULONG_PTR process, const std::string& name) {
    std::lock_guard<std::mutex> lock(KernelMutex());
    Table().processes[process] = HandleTable{
        "process " + std::to_string(process) + " (" + name + ")", {}, FirstProcessHandle};
}

bool CloseProcessHandleTable(ULONG_PTR process) {
    std::vector<KernelObject*> unused;
    {
        std::lock_guard<std::mutex> lock(KernelMutex());
        auto found = Table().processes.find(process);
        if (found == Table().processes.end()) {
            return false;
        }
        unused = CloseAllLocked(&found->second);
        Table().processes.erase(found);
    }
    for (KernelObject* object : unused) {
        delete object;
    }
    return true;
}

bool HasProcessHandleTable(ULONG_PTR process) {
    std::lock_guard<std::mutex> lock(KernelMutex());
    return Table().processes.count(process) != 0;
}

size_t HandlesCreatedInProcess(ULONG_PTR process) {
    std::lock_guard<std::mutex> lock(KernelMutex());
    auto found = Table().processes.find(process);
    return found == Table().processes.end() ? 0
                                            : (found->second.nextHandle - FirstProcessHandle) / 4;
}

}  // namespace host::nt

using host::nt::KernelObject;

namespace {

// Driver Verifier's check of a kernel-mode reference: a handle of a client
// process is the application's to close or replace under the driver. The
// System process's own table is the kernel's, so its handles are exempt.
void CheckKernelModeReference(HANDLE handle, KPROCESSOR_MODE accessMode) {
    const ULONG_PTR process = host::nt::CurrentThread().processId;
    if (accessMode != KernelMode || host::nt::IsKernelHandle(handle) ||
        process == host::SystemProcessId) {
        return;
    }
    host::BugCheck(host::DriverVerifierDetectedViolation,
                   host::Verifier::UserHandleReferencedAsKernelMode,
                   reinterpret_cast<ULONG_PTR>(handle), process, 0, "ObReferenceObjectByHandle",
                   "handle " + host::Hex(reinterpret_cast<ULONG_PTR>(handle)) + " of process " +
                       std::to_string(process) +
                       " referenced with KernelMode access; it is not a kernel handle");
}

}  // namespace

NTSTATUS NTAPI ObReferenceObjectByHandle(HANDLE Handle, ACCESS_MASK DesiredAccess,
                                         POBJECT_TYPE ObjectType, KPROCESSOR_MODE AccessMode,
                                         PVOID* Object,
                                         POBJECT_HANDLE_INFORMATION HandleInformation) {
    // Kernel-mode callers get no access check on Windows either.
    (void)DesiredAccess;
    CheckKernelModeReference(Handle, AccessMode);
    std::lock_guard<std::mutex> lock(host::nt::KernelMutex());
    // User mode cannot name a kernel handle.
    host::nt::HandleEntry* entry = AccessMode == KernelMode || !host::nt::IsKernelHandle(Handle)
                                       ? host::nt::FindHandle(Handle)
                                       : nullptr;
    if (entry == nullptr) {
        return STATUS_INVALID_HANDLE;
    }
    KernelObject* object = entry->object;
    if (ObjectType != nullptr &&
        (ObjectType != *PsThreadType || object->Kind() != host::nt::ObjectKind::Thread)) {
        return STATUS_OBJECT_TYPE_MISMATCH;
    }
    ++object->references;
    *Object = object;
    if (HandleInformation != nullptr) {
        HandleInformation->HandleAttributes = 0;
        HandleInformation->GrantedAccess = entry->access;
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
        KernelObject* object = host::nt::TakeHandleLocked(Handle);
        if (object == nullptr) {
            host::BugCheck(
                host::InvalidKernelHandle, reinterpret_cast<ULONG_PTR>(Handle), 1, 0, 0, "ZwClose",
                host::Hex(reinterpret_cast<ULONG_PTR>(Handle)) +
                    " is not an open handle of process " +
                    std::to_string(host::nt::CurrentThread().processId) + " or of the kernel");
        }
        unused = host::nt::DetachIfUnused(object);
    }
    delete unused;
    return STATUS_SUCCESS;
}
