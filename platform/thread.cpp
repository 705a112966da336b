// System threads over the process manager and the object manager.
#include "platform/thread.h"

bool StartSystemThread(PKSTART_ROUTINE routine, PVOID context, SystemThread* thread) {
    thread->object = nullptr;
    HANDLE handle;
    if (!NT_SUCCESS(PsCreateSystemThread(&handle, THREAD_ALL_ACCESS, nullptr, nullptr, nullptr,
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
