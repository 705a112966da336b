// The fault handlers, the tables they read and the per-thread signal
// stacks. The handlers run on whatever thread faulted, at any moment: they
// read the image and guard-region tables through atomics only, build their
// line in a stack buffer and write it with one write(2).
#include "host/loader/fault_report.h"

#include <signal.h>
#include <sys/mman.h>
#include <ucontext.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <string>

#include "host/loader/driver_image.h"
#include "host/loader/text_buffer.h"
#include "host/nt/bug_check.h"

namespace host {
namespace {

constexpr size_t ImageCapacity = 64;
std::atomic<const DriverImage*> loadedImages[ImageCapacity];

// A slot is claimed (Writing) before its fields change and published (Live)
// after, so a handler reads only whole registrations.
enum SlotState : int { SlotFree, SlotWriting, SlotLive };

constexpr size_t GuardRegionCapacity = 1024;
constexpr size_t GuardNameSize = 96;

struct GuardRegion {
    std::atomic<int> state;
    std::atomic<uintptr_t> begin;
    std::atomic<uintptr_t> end;
    char name[GuardNameSize];
};

GuardRegion guardRegions[GuardRegionCapacity];
std::atomic<size_t> guardRegionsInUse;  // every slot from here on is free

constexpr int HandledSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE};
constexpr size_t HandledSignalCount = sizeof HandledSignals / sizeof HandledSignals[0];
// Written once, before the handlers are installed.
struct sigaction previousActions[HandledSignalCount];
uintptr_t pageSize;
std::once_flag handlersInstalled;

// x86-64 page-fault error code bits, as the kernel passes them in REG_ERR.
constexpr greg_t PageFaultWrite = 0x2;
constexpr greg_t PageFaultInstructionFetch = 0x10;

constexpr size_t SignalStackSize = 64 * 1024;

// The alternate signal stack this thread got from EnsureSignalStack, given
// back when the thread ends.
struct ThreadSignalStack {
    void* memory = nullptr;
    size_t size = 0;

    ~ThreadSignalStack() {
        if (memory == nullptr) {
            return;
        }
        stack_t current;
        if (sigaltstack(nullptr, &current) == 0 &&
            current.ss_sp == static_cast<char*>(memory) + (size - SignalStackSize)) {
            stack_t disable{};
            disable.ss_flags = SS_DISABLE;
            sigaltstack(&disable, nullptr);
        }
        munmap(memory, size);
    }
};

thread_local ThreadSignalStack threadSignalStack;

const DriverImage* FindImage(uintptr_t address) {
    for (const std::atomic<const DriverImage*>& slot : loadedImages) {
        const DriverImage* image = slot.load(std::memory_order_acquire);
        if (image != nullptr && image->Contains(reinterpret_cast<const void*>(address))) {
            return image;
        }
    }
    return nullptr;
}

const GuardRegion* FindGuardRegion(uintptr_t address) {
    size_t inUse = guardRegionsInUse.load(std::memory_order_acquire);
    for (size_t i = 0; i < inUse && i < GuardRegionCapacity; ++i) {
        const GuardRegion& region = guardRegions[i];
        if (region.state.load(std::memory_order_acquire) == SlotLive &&
            address >= region.begin.load(std::memory_order_relaxed) &&
            address < region.end.load(std::memory_order_relaxed)) {
            return &region;
        }
    }
    return nullptr;
}

const char* FaultKind(int signal, const siginfo_t* info, const ucontext_t* context,
                      const GuardRegion* guard) {
    if (signal == SIGILL) {
        return "illegal instruction";
    }
    if (signal == SIGBUS) {
        return "bus error";
    }
    if (signal == SIGFPE) {
        return info->si_code == FPE_INTDIV ? "integer divide by zero" : "arithmetic fault";
    }
    if (info->si_code == SI_KERNEL) {
        // A privileged instruction or a non-canonical address.
        return "general protection fault";
    }
    const greg_t* registers = context->uc_mcontext.gregs;
    if (guard != nullptr) {
        // An overflowing stack has its pointer at the guard: just above it,
        // or below its start by no more than one large frame.
        uintptr_t stackPointer = static_cast<uintptr_t>(registers[REG_RSP]);
        bool atGuard =
            stackPointer + 2 * pageSize >= guard->begin.load(std::memory_order_relaxed) &&
            stackPointer < guard->end.load(std::memory_order_relaxed) + pageSize;
        return atGuard ? "stack overflow" : "access to a guard page";
    }
    bool fetch = (registers[REG_ERR] & PageFaultInstructionFetch) != 0;
    bool write = (registers[REG_ERR] & PageFaultWrite) != 0;
    if (info->si_code == SEGV_ACCERR) {
        return fetch   ? "execution of non-executable memory"
               : write ? "write to read-only memory"
                       : "read of inaccessible memory";
    }
    return fetch   ? "execution of unmapped memory"
           : write ? "write to unmapped memory"
                   : "read of unmapped memory";
}

void AppendPlace(loader::TextBuffer* text, const DriverImage* image, uintptr_t address) {
    char place[1024];
    if (image == nullptr) {
        text->AppendHex(address);
        return;
    }
    image->Describe(reinterpret_cast<const void*>(address), place, sizeof place);
    text->Append(place);
}

void AppendAddress(loader::TextBuffer* text, const GuardRegion* guard, const DriverImage* image,
                   uintptr_t address) {
    text->AppendHex(address);
    if (guard != nullptr) {
        char name[GuardNameSize];
        std::memcpy(name, guard->name, sizeof name);
        name[GuardNameSize - 1] = '\0';
        text->Append(" (");
        text->Append(name);
        text->Append(")");
    } else if (image != nullptr) {
        const char* section = image->SectionName(reinterpret_cast<const void*>(address));
        text->Append(" (");
        text->Append(image->Name().c_str());
        text->Append("+");
        text->AppendHex(address - image->Base());
        text->Append(section != nullptr ? " in " : "");
        text->Append(section != nullptr ? section : "");
        text->Append(")");
    }
}

void ReportFault(int signal, const siginfo_t* info, const ucontext_t* context) {
    uintptr_t instruction = static_cast<uintptr_t>(context->uc_mcontext.gregs[REG_RIP]);
    uintptr_t address = reinterpret_cast<uintptr_t>(info->si_addr);
    // A general protection fault carries no address.
    bool addressKnown = !(signal == SIGSEGV && info->si_code == SI_KERNEL);
    const DriverImage* codeImage = FindImage(instruction);
    const DriverImage* dataImage = addressKnown ? FindImage(address) : nullptr;
    const GuardRegion* guard = addressKnown ? FindGuardRegion(address) : nullptr;
    if (codeImage == nullptr && dataImage == nullptr && guard == nullptr) {
        return;
    }
    char line[2048];
    loader::TextBuffer text(line, sizeof line - 1);
    text.Append("host kernel bug check: ");
    text.Append(FaultKind(signal, info, context, guard));
    text.Append(" at ");
    AppendPlace(&text, codeImage, instruction);
    text.Append(", address ");
    if (addressKnown) {
        AppendAddress(&text, guard, dataImage, address);
    } else {
        text.Append("unknown");
    }
    size_t length = text.Length();
    line[length++] = '\n';
    ssize_t written = write(STDERR_FILENO, line, length);
    static_cast<void>(written);
}

const struct sigaction& PreviousAction(int signal) {
    size_t index = 0;
    while (index + 1 < HandledSignalCount && HandledSignals[index] != signal) {
        ++index;
    }
    return previousActions[index];
}

// Hands the signal to the handler installed before ours. With none, the
// default action is restored: returning re-runs the faulting instruction,
// which faults again and ends the process as if we had never been there.
void ChainToPrevious(int signal, siginfo_t* info, void* context) {
    const struct sigaction& previous = PreviousAction(signal);
    if ((previous.sa_flags & SA_SIGINFO) != 0) {
        previous.sa_sigaction(signal, info, context);
        return;
    }
    if (previous.sa_handler != SIG_DFL && previous.sa_handler != SIG_IGN) {
        previous.sa_handler(signal);
        return;
    }
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    sigaction(signal, &fallback, nullptr);
    if (info->si_code <= 0) {
        // Sent, not caused by an instruction: nothing would repeat it.
        raise(signal);
    }
}

void OnFault(int signal, siginfo_t* info, void* context) {
    int savedErrno = errno;
    if (info->si_code > 0) {
        ReportFault(signal, info, static_cast<const ucontext_t*>(context));
    }
    errno = savedErrno;
    ChainToPrevious(signal, info, context);
}

}  // namespace

void EnsureSignalStack() {
    stack_t current;
    if (sigaltstack(nullptr, &current) == 0 && (current.ss_flags & SS_DISABLE) == 0) {
        return;
    }
    size_t guardSize = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    size_t total = guardSize + SignalStackSize;
    void* memory = mmap(nullptr, total, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED) {
        BugCheck("no memory for a signal stack");
    }
    // A handler that overflows its stack faults instead of writing below it.
    mprotect(memory, guardSize, PROT_NONE);
    stack_t stack{};
    stack.ss_sp = static_cast<char*>(memory) + guardSize;
    stack.ss_size = SignalStackSize;
    if (sigaltstack(&stack, nullptr) != 0) {
        BugCheck("sigaltstack refused a signal stack");
    }
    threadSignalStack.memory = memory;
    threadSignalStack.size = total;
}

void RegisterGuardRegion(const void* begin, const void* end, const char* name) {
    uintptr_t first = reinterpret_cast<uintptr_t>(begin);
    uintptr_t last = reinterpret_cast<uintptr_t>(end);
    if (first >= last) {
        BugCheck("guard region " + Hex(first) + ".." + Hex(last) + " is empty");
    }
    for (size_t i = 0; i < GuardRegionCapacity; ++i) {
        GuardRegion& region = guardRegions[i];
        int expected = SlotFree;
        if (!region.state.compare_exchange_strong(expected, SlotWriting,
                                                  std::memory_order_acquire)) {
            continue;
        }
        region.begin.store(first, std::memory_order_relaxed);
        region.end.store(last, std::memory_order_relaxed);
        std::strncpy(region.name, name, GuardNameSize - 1);
        region.name[GuardNameSize - 1] = '\0';
        region.state.store(SlotLive, std::memory_order_release);
        size_t inUse = guardRegionsInUse.load(std::memory_order_relaxed);
        while (inUse < i + 1 &&
               !guardRegionsInUse.compare_exchange_weak(inUse, i + 1, std::memory_order_release)) {
        }
        return;
    }
    BugCheck("more than " + std::to_string(GuardRegionCapacity) + " guard regions registered");
}

void UnregisterGuardRegion(const void* begin) {
    uintptr_t first = reinterpret_cast<uintptr_t>(begin);
    size_t inUse = guardRegionsInUse.load(std::memory_order_acquire);
    for (size_t i = 0; i < inUse; ++i) {
        GuardRegion& region = guardRegions[i];
        int expected = SlotLive;
        if (region.begin.load(std::memory_order_relaxed) == first &&
            region.state.compare_exchange_strong(expected, SlotWriting,
                                                 std::memory_order_acquire)) {
            region.begin.store(0, std::memory_order_relaxed);
            region.end.store(0, std::memory_order_relaxed);
            region.state.store(SlotFree, std::memory_order_release);
            return;
        }
    }
    BugCheck("unregistering guard region " + Hex(first) + ", which is not registered");
}

namespace loader {

bool RegisterLoadedImage(const DriverImage* image) {
    for (std::atomic<const DriverImage*>& slot : loadedImages) {
        const DriverImage* expected = nullptr;
        if (slot.compare_exchange_strong(expected, image, std::memory_order_release)) {
            return true;
        }
    }
    return false;
}

void UnregisterLoadedImage(const DriverImage* image) {
    for (std::atomic<const DriverImage*>& slot : loadedImages) {
        const DriverImage* expected = image;
        if (slot.compare_exchange_strong(expected, nullptr, std::memory_order_release)) {
            return;
        }
    }
}

void InstallFaultHandlers() {
    std::call_once(handlersInstalled, [] {
        pageSize = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
        struct sigaction action {};
        action.sa_sigaction = OnFault;
        action.sa_flags = SA_SIGINFO | SA_ONSTACK;
        sigemptyset(&action.sa_mask);
        for (size_t i = 0; i < HandledSignalCount; ++i) {
            sigaction(HandledSignals[i], &action, &previousActions[i]);
        }
    });
}

}  // namespace loader

const KernelStackHooks KernelStackFaultHooks = {RegisterGuardRegion, UnregisterGuardRegion,
                                                EnsureSignalStack};

}  // namespace host
