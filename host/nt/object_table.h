// The object manager of the host kernel: every file, key and thread object
// with its handle and reference counts, the kernel handle table and one
// handle table per process. An object lives while it has a handle or a
// reference; the last ZwClose or ObDereferenceObject deletes it. The kernel
// mutex guards the counts, the handle tables and the dispatcher state of
// events and threads.
//
// A handle created with OBJ_KERNEL_HANDLE goes to the kernel table (top bit
// set, multiples of four) and is valid in every process; any other goes to
// the table of the process the creating thread is attached to (small
// multiples of four) and is valid only there.
#pragma once

#include <condition_variable>
#include <mutex>
#include <string>

#include <ntddk.h>

namespace host::nt {

enum class ObjectKind { File, Key, Thread };

class KernelObject {
public:
    explicit KernelObject(ObjectKind kind) : kind_(kind) {}
    virtual ~KernelObject() = default;
    KernelObject(const KernelObject&) = delete;
    KernelObject& operator=(const KernelObject&) = delete;

    ObjectKind Kind() const { return kind_; }
    // One line naming the object for leak reports; called under the kernel
    // mutex.
    virtual std::string Describe() const = 0;

    // Guarded by KernelMutex().
    long handles = 0;
    long references = 0;

private:
    ObjectKind kind_;
};

std::mutex& KernelMutex();
// Notified whenever a dispatcher object becomes signalled.
std::condition_variable& DispatcherChanged();

// Registers a new object (no handles, no references yet).
void InsertObject(KernelObject* object);
// Gives the object a new handle with the access granted: a kernel handle
// when `attributes` has OBJ_KERNEL_HANDLE, otherwise one of the calling
// thread's process.
HANDLE CreateHandle(KernelObject* object, ACCESS_MASK access, ULONG attributes);
// True for a value of the kernel handle table.
bool IsKernelHandle(HANDLE handle);
// True when the pointer is a live object; with the kernel mutex held.
bool IsLiveObjectLocked(const void* pointer);

// References the object behind a handle of the given kind, as the calling
// thread's process sees it: STATUS_SUCCESS, STATUS_INVALID_HANDLE (also for
// a handle of another process) or STATUS_OBJECT_TYPE_MISMATCH.
NTSTATUS ReferenceByHandle(HANDLE handle, ObjectKind kind, KernelObject** object);
// Takes one more reference / drops one and returns the references left;
// the last one deletes the object.
void ReferenceObject(KernelObject* object);
long DereferenceObject(KernelObject* object);
// With the kernel mutex held: drops a reference and returns the object when
// that was the last use, for the caller to delete after unlocking.
KernelObject* ReleaseReferenceLocked(KernelObject* object);

// A reference taken by handle, dropped at the end of the scope.
template <typename T>
class ObjectReference {
public:
    ObjectReference() = default;
    ~ObjectReference() {
        if (object_ != nullptr) {
            DereferenceObject(object_);
        }
    }
    ObjectReference(const ObjectReference&) = delete;
    ObjectReference& operator=(const ObjectReference&) = delete;

    NTSTATUS Take(HANDLE handle, ObjectKind kind) {
        return ReferenceByHandle(handle, kind, &object_);
    }
    T* operator->() const { return static_cast<T*>(object_); }
    T& operator*() const { return *static_cast<T*>(object_); }

private:
    KernelObject* object_ = nullptr;
};

// Every live object, then every open handle with the process it belongs to.
void DescribeObjectLeaks(std::string* report);
// Closes every handle, deletes every object and forgets every process but
// System.
void ResetObjects();

// The handle tables of processes. System's exists from the start; a client
// process gets one when it is created and loses it, closing every handle in
// it, when it exits.
void AddProcessHandleTable(ULONG_PTR process, const std::string& name);
// False when the process has no table (it exited, or never existed).
bool CloseProcessHandleTable(ULONG_PTR process);
bool HasProcessHandleTable(ULONG_PTR process);
// Handles ever created in the process's table; 0 for one without a table.
size_t HandlesCreatedInProcess(ULONG_PTR process);

}  // namespace host::nt
