// Critical regions: a per-thread count of KeEnterCriticalRegion calls not
// yet left. Leaving more often than entering stops at once; a system thread
// that ends inside a region stops when it ends (Windows bug-checks a thread
// exiting with kernel APCs disabled); CheckNoLeaks reports the calling
// thread's count.
#include "host/nt/bug_check.h"
#include "host/nt/current_thread.h"

VOID NTAPI KeEnterCriticalRegion(VOID) {
    host::nt::CurrentThreadState& thread = host::nt::CurrentThread();
    if (thread.irql > APC_LEVEL) {
        host::BugCheck("KeEnterCriticalRegion called at IRQL " + std::to_string(thread.irql));
    }
    ++thread.criticalRegions;
}

VOID NTAPI KeLeaveCriticalRegion(VOID) {
    host::nt::CurrentThreadState& thread = host::nt::CurrentThread();
    if (thread.criticalRegions == 0) {
        host::BugCheck("KeLeaveCriticalRegion without a matching KeEnterCriticalRegion");
    }
    --thread.criticalRegions;
}
