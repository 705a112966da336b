// Kernel stacks: one 24 KB stack with a guard page below it per host thread,
// made on first use and reused by every call into the driver from that
// thread. The switch itself is a few instructions of assembly: save the
// callee-saved registers on the host stack, load the kernel stack's top,
// call, and come back through the return path that AbandonKernelStack
// jumps to as well.
// AddressSanitizer is told of each switch, as for any fiber.
#include "host/nt/kernel_stack.h"

#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <string>

#include "host/nt/bug_check.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/common_interface_defs.h>
#define HOST_TELLS_ASAN_OF_SWITCHES 1
#endif

extern "C" {
// Calls body(context) with the stack pointer at `top`; *savedStack receives
// the host stack pointer to which host_leave_kernel_stack returns.
void host_call_on_kernel_stack(void* top, void (*body)(void*), void* context, void** savedStack);
[[noreturn]] void host_leave_kernel_stack(void* savedStack);
}

asm(R"(
    .text
    .globl host_call_on_kernel_stack
    .type host_call_on_kernel_stack, @function
host_call_on_kernel_stack:
    pushq %rbp
    pushq %rbx
    pushq %r12
    pushq %r13
    pushq %r14
    pushq %r15
    movq %rsp, (%rcx)
    movq %rsp, %rbx
    movq %rdi, %rsp
    movq %rdx, %rdi
    callq *%rsi
    movq %rbx, %rdi
    jmp host_leave_kernel_stack
    .size host_call_on_kernel_stack, .-host_call_on_kernel_stack

    .globl host_leave_kernel_stack
    .type host_leave_kernel_stack, @function
host_leave_kernel_stack:
    movq %rdi, %rsp
    popq %r15
    popq %r14
    popq %r13
    popq %r12
    popq %rbx
    popq %rbp
    retq
    .size host_leave_kernel_stack, .-host_leave_kernel_stack
    .section .note.GNU-stack,"",@progbits
    .text
)");

namespace host {
namespace {

std::atomic<const KernelStackHooks*> kernelStackHooks{nullptr};

class KernelStack {
public:
    KernelStack() = default;
    ~KernelStack() {
        if (mapping_ != nullptr) {
            if (hooks_ != nullptr) {
                hooks_->guardUnmapped(mapping_);
            }
            munmap(mapping_, MappingBytes());
        }
    }
    KernelStack(const KernelStack&) = delete;
    KernelStack& operator=(const KernelStack&) = delete;

    // The guard page sits below the usable bytes; the top is 16-byte aligned.
    void* Top() {
        if (mapping_ == nullptr) {
            Map();
        }
        return static_cast<char*>(mapping_) + MappingBytes();
    }
    void* Bottom() const { return static_cast<char*>(mapping_) + PageBytes(); }

    bool active = false;
    void* savedStack = nullptr;
    // The host stack the switch came from, for AddressSanitizer.
    const void* hostBottom = nullptr;
    size_t hostSize = 0;

private:
    static size_t PageBytes() { return static_cast<size_t>(sysconf(_SC_PAGESIZE)); }
    static size_t MappingBytes() { return KernelStackBytes + PageBytes(); }

    void Map() {
        void* mapping = mmap(nullptr, MappingBytes(), PROT_READ | PROT_WRITE,
                             MAP_PRIVATE | MAP_ANONYMOUS | MAP_STACK, -1, 0);
        if (mapping == MAP_FAILED || mprotect(mapping, PageBytes(), PROT_NONE) != 0) {
            BugCheck("the host could not map a kernel stack");
        }
        mapping_ = mapping;
        hooks_ = kernelStackHooks.load();
        if (hooks_ != nullptr) {
            const std::string name =
                "guard page of the kernel stack of host thread " + std::to_string(gettid());
            hooks_->threadSwitching();
            hooks_->guardMapped(mapping_, Bottom(), name.c_str());
        }
    }

    void* mapping_ = nullptr;
    const KernelStackHooks* hooks_ = nullptr;
};

KernelStack& ThisThreadStack() {
    thread_local KernelStack stack;
    return stack;
}

struct Switch {
    void (*body)(void*);
    void* context;
    KernelStack* stack;
};

// The first frame on the kernel stack.
void EnterKernelStack(void* argument) {
    auto* entry = static_cast<Switch*>(argument);
#if defined(HOST_TELLS_ASAN_OF_SWITCHES)
    __sanitizer_finish_switch_fiber(nullptr, &entry->stack->hostBottom, &entry->stack->hostSize);
#endif
    entry->body(entry->context);
#if defined(HOST_TELLS_ASAN_OF_SWITCHES)
    __sanitizer_start_switch_fiber(nullptr, entry->stack->hostBottom, entry->stack->hostSize);
#endif
}

}  // namespace

void UseKernelStacks(const KernelStackHooks* hooks) {
    kernelStackHooks.store(hooks);
}

bool KernelStacksInUse() {
    return kernelStackHooks.load() != nullptr;
}

bool OnKernelStack() {
    return ThisThreadStack().active;
}

void RunOnKernelStack(void (*body)(void*), void* context) {
    KernelStack& stack = ThisThreadStack();
    if (!KernelStacksInUse() || stack.active) {
        body(context);
        return;
    }
    Switch entry{body, context, &stack};
    void* top = stack.Top();
    stack.active = true;
#if defined(HOST_TELLS_ASAN_OF_SWITCHES)
    void* hostFakeStack = nullptr;
    __sanitizer_start_switch_fiber(&hostFakeStack, stack.Bottom(), KernelStackBytes);
#endif
    host_call_on_kernel_stack(top, EnterKernelStack, &entry, &stack.savedStack);
#if defined(HOST_TELLS_ASAN_OF_SWITCHES)
    __sanitizer_finish_switch_fiber(hostFakeStack, nullptr, nullptr);
#endif
    stack.active = false;
}

void AbandonKernelStack() {
    KernelStack& stack = ThisThreadStack();
    if (!stack.active) {
        BugCheck("AbandonKernelStack called off the kernel stack");
    }
#if defined(HOST_TELLS_ASAN_OF_SWITCHES)
    __sanitizer_start_switch_fiber(nullptr, stack.hostBottom, stack.hostSize);
#endif
    host_leave_kernel_stack(stack.savedStack);
}

}  // namespace host
