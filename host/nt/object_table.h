// The object manager of the host kernel: every file, key and thread object
// with its handle and reference counts, and the one handle table shared by
// all kinds. An object lives while it has a handle or a reference; the last
// ZwClose or ObDereferenceObject deletes it. The kernel mutex guards the
// counts, the handle table and the dispatcher state of events and threads.
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
// Gives the object a new handle with the access granted.
HANDLE CreateHandle(KernelObject* object, ACCESS_MASK access);
// True when the pointer is a live object; with the kernel mutex held.
bool IsLiveObjectLocked(const void* pointer);

// References the object behind a handle of the given kind: STATUS_SUCCESS,
// STATUS_INVALID_HANDLE or STATUS_OBJECT_TYPE_MISMATCH.
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

void DescribeObjectLeaks(std::string* report);
// Closes every handle and deletes every object.
void ResetObjects();

}  // namespace host::nt
