// Faults inside a loaded image reported like a bug check. Once the first
// image loads, handlers for SIGSEGV, SIGBUS, SIGILL and SIGFPE write one line when
// the faulting instruction or the faulting address lies in a loaded image or
// in a registered guard region:
//
//   host kernel bug check: write to read-only memory at probe.sys+0x1a2b
//   (probe::WriteConstant(void*)+0x1f), address 0x7f3a12345010 (probe.sys+0x3010 in .rdata)
//
// and then pass the signal on to whatever handler was installed before them
// (a sanitizer's, libFuzzer's), or let the default action end the process.
// Other faults pass straight on.
#pragma once

#include "host/nt/kernel_stack.h"

namespace host {

class DriverImage;

// Gives the calling thread an alternate signal stack unless it has one, so
// that a stack overflow can still be reported. Every thread that runs image
// code calls it; an image's loading thread gets one by loading.
void EnsureSignalStack();

// Names [begin, end) for fault reports, e.g. "guard page of kernel stack of
// system thread 3" (at most 95 characters are kept). A fault there is
// reported even when neither the instruction nor the address belongs to an
// image. Safe from any thread.
void RegisterGuardRegion(const void* begin, const void* end, const char* name);
void UnregisterGuardRegion(const void* begin);

// The kernel stacks' hooks into the fault reports: each guard page named,
// each switching thread given a signal stack.
extern const KernelStackHooks KernelStackFaultHooks;

namespace loader {

// The images the fault handlers know. Registering fails when the host holds
// as many images as it can report on.
bool RegisterLoadedImage(const DriverImage* image);
void UnregisterLoadedImage(const DriverImage* image);

// Installs the handlers the first time it is called.
void InstallFaultHandlers();

}  // namespace loader
}  // namespace host
