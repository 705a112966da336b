// Run-time library routines and the performance counter.
#include <chrono>
#include <thread>

#include <ntddk.h>

VOID NTAPI RtlInitUnicodeString(PUNICODE_STRING DestinationString, PCWSTR SourceString) {
    size_t characters = 0;
    if (SourceString != nullptr) {
        while (SourceString[characters] != u'\0') {
            ++characters;
        }
    }
    DestinationString->Buffer = const_cast<PWSTR>(SourceString);
    DestinationString->Length = static_cast<USHORT>(characters * sizeof(WCHAR));
    DestinationString->MaximumLength =
        SourceString == nullptr ? 0 : static_cast<USHORT>((characters + 1) * sizeof(WCHAR));
}

SIZE_T NTAPI RtlCompareMemory(const VOID* Source1, const VOID* Source2, SIZE_T Length) {
    const auto* a = static_cast<const UCHAR*>(Source1);
    const auto* b = static_cast<const UCHAR*>(Source2);
    SIZE_T equal = 0;
    while (equal < Length && a[equal] == b[equal]) {
        ++equal;
    }
    return equal;
}

// The host's processors, as one group.
ULONG NTAPI KeQueryActiveProcessorCountEx(USHORT GroupNumber) {
    if (GroupNumber != 0 && GroupNumber != ALL_PROCESSOR_GROUPS) {
        return 0;
    }
    const unsigned count = std::thread::hardware_concurrency();
    return count != 0 ? count : 1;
}

// A monotonic counter at 10 MHz, the frequency Windows reports on current
// x64 machines.
LARGE_INTEGER NTAPI KeQueryPerformanceCounter(PLARGE_INTEGER PerformanceFrequency) {
    if (PerformanceFrequency != nullptr) {
        PerformanceFrequency->QuadPart = 10000000;
    }
    LARGE_INTEGER counter;
    counter.QuadPart =
        std::chrono::duration_cast<std::chrono::duration<long long, std::ratio<1, 10000000>>>(
            std::chrono::steady_clock::now().time_since_epoch())
            .count();
    return counter;
}
