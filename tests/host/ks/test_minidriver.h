// A small capture minidriver written for the class-driver tests: one filter
// factory ("GLOBAL", test and capture categories), one property set, one
// output pin with one data range, an intersect handler, allocator framing and
// dispatch routines that record what the class driver asked and when.
#pragma once

#include <ks.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace minidriver {

extern const GUID TestCategory;
extern const GUID TestPropertySet;
extern const GUID TestMajorFormat;

// Property ids of the test set.
enum : ULONG {
    ValueProperty,        // get and set, 4 bytes of data
    ReadOnlyProperty,     // get only, 8 bytes of data
    WriteOnlyProperty,    // set only
    LongRequestProperty,  // get, a property request of 32 bytes
    RangedProperty,       // get and set, with values: RangedStepping, then RangedDefault
};

// The values of RangedProperty: a stepped range, then a default.
extern const KSPROPERTY_STEPPING_LONG RangedStepping;
constexpr LONG RangedDefault = 12;

constexpr ULONG DescriptorFrameSize = 4096;

struct Record {
    std::mutex mutex;
    std::vector<std::string> calls;  // in order: "filter create", "state 0>1", ...

    // Set by tests.
    bool failFilterCreate = false;
    KSSTATE failingState = KSSTATE_STOP;      // a step to this state fails ...
    NTSTATUS failingStatus = STATUS_SUCCESS;  // ... with this status
    std::function<NTSTATUS(PKSPIN)> process;  // the Process dispatch's body
    bool stateChangeTakesProcessingMutex = false;
    std::function<void(PKSPIN)> stateChange;  // run inside SetDeviceState

    // Seen by the driver.
    std::atomic<int> processCalls{0};
    std::atomic<int> processRunning{0};
    std::atomic<int> mostProcessRunning{0};
    std::atomic<bool> processDuringStateChange{false};
    std::atomic<bool> inStateChange{false};
    std::thread::id processThread;
    std::atomic<int> filterContextsFreed{0};
    PKSFILTER requestFilter = nullptr;
    PVOID intersectContext = nullptr;
    ULONG propertyValue = 0;
    ULONG_PTR replyBytes = sizeof(ULONG);  // the Information a get sets
    // The process each dispatch last ran in.
    std::atomic<ULONG_PTR> filterCreateProcess{0};
    std::atomic<ULONG_PTR> propertyProcess{0};
    std::atomic<ULONG_PTR> stateChangeProcess{0};
    std::atomic<ULONG_PTR> processProcess{0};
    std::atomic<ULONG_PTR> deviceStartProcess{0};
};

Record& Recorded();
void Reset();
std::vector<std::string> Calls();

NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT driverObject, PUNICODE_STRING registryPath);

// A connection format the pin accepts: its data range with this SampleSize,
// which the pin's framing takes as its frame size.
KSDATAFORMAT TestFormat(ULONG sampleSize);

}  // namespace minidriver
