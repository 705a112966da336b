// System threads over the process manager and the object manager.
#include "platform/thread.h"

// A kernel handle: the thread may be started while serving an application's
// request, whose handle table would otherwise receive it.
bool StartSystemThread(PKSTART_ROUTINE routine, PVOID context, SystemThread* thread) {
    thread->object = nullptr;
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, nullptr, OBJ_KERNEL_HANDLE, nullptr, nullptr);
    HANDLE handle;
    if (!NT_SUCCESS(PsCreateSystemThread(&handle, THREAD_ALL_ACCESS, &attributes, nullptr, nullptr,
                                         routine, context))) {
        return false;
    }
    // A kernel handle to a thread, just created: the reference cannot fail.
    ObReferenceObjectByHandle(handle, THREAD_ALL_ACCESS, *PsThreadType, KernelMode, &thread->object,
                              nullptr);
    ZwClose(handle);
    return true;
}

void WaitForSystemThread(SystemThread* thread) {
    KeWaitForSingleObject(thread->object, Executive, KernelMode, FALSE, nullptr);
    ObDereferenceObject(thread->object);
    thread->object = nullptr;
}

void ExitSystemThread() {
    PsTerminateSystemThread(STATUS_SUCCESS);
    // The kernel headers do not declare that it never returns.
    __builtin_unreachable();
}
