// The pieces of the C++ runtime that the compiler may call and the kernel
// does not export.
#include "platform/kernel.h"

namespace {
// A call through an abstract class's empty table slot is a driver bug; stop
// with a code of our own so the crash names the driver.
constexpr ULONG PureVirtualCallBugCheck = 0xD15CCA11;
}  // namespace

extern "C" void __cxa_pure_virtual() {
    KeBugCheckEx(PureVirtualCallBugCheck, 0, 0, 0, 0);
}
