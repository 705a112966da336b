// Kernel stacks for a loaded driver image. Windows runs a driver's dispatch
// routines, callbacks and system threads on a kernel stack of 24 KB with a
// guard page below it; a driver whose frames go deeper bug-checks there. When
// kernel stacks are on (the loaded-driver runs), every call the host makes
// into the driver runs on such a stack: the calling host thread switches to
// its own kernel stack for the call and back when it returns, and host
// routines the driver calls run on it too, as they would on Windows. A call
// made while already on the kernel stack (a callback from inside a routine
// the driver called) stays on it.
//
// The linked driver is compiled for the host and runs on host stacks; with
// kernel stacks off, CallDriver calls straight through.
#pragma once

#include <cstddef>
#include <type_traits>
#include <utility>

namespace host {

constexpr size_t KernelStackBytes = 24 * 1024;

// Who must know of kernel stacks: the fault reporter names each guard page
// and gives each thread that switches a signal stack of its own, so that an
// overflow can still be reported.
struct KernelStackHooks {
    void (*guardMapped)(const void* begin, const void* end, const char* name);
    void (*guardUnmapped)(const void* begin);
    void (*threadSwitching)();
};

// Turns kernel stacks on for calls made from now on, with the hooks (which
// must stay valid while in use), or off with null.
void UseKernelStacks(const KernelStackHooks* hooks);
bool KernelStacksInUse();

// True while the calling thread runs on its kernel stack.
bool OnKernelStack();

// Runs body(context) on the calling thread's kernel stack (made on first
// use). With kernel stacks off, or already on the kernel stack, calls it
// directly.
void RunOnKernelStack(void (*body)(void*), void* context);

// Leaves the kernel stack at once, as if the outermost RunOnKernelStack call
// of this thread had returned: what PsTerminateSystemThread does, since no
// unwinder can walk the driver image's frames. Only on a kernel stack.
[[noreturn]] void AbandonKernelStack();

// Calls into the driver, on the kernel stack when kernel stacks are in use.
template <typename Call>
auto CallDriver(Call&& call) -> decltype(call()) {
    using Result = decltype(call());
    if (!KernelStacksInUse() || OnKernelStack()) {
        return call();
    }
    if constexpr (std::is_void<Result>::value) {
        auto body = [](void* context) {
            (*static_cast<std::remove_reference_t<Call>*>(context))();
        };
        RunOnKernelStack(body, &call);
    } else {
        struct Frame {
            std::remove_reference_t<Call>* call;
            Result result;
        } frame{&call, Result{}};
        auto body = [](void* context) {
            auto* f = static_cast<Frame*>(context);
            f->result = (*f->call)();
        };
        RunOnKernelStack(body, &frame);
        return frame.result;
    }
}

}  // namespace host
