// The host's export table. Left out on purpose: KeGetCurrentIrql, which the
// x64 kernel does not export (drivers read CR8 inline), and the Rtl memory
// macros, which expand to the C routines below.
#include "host/loader/kernel_exports.h"

#include <strings.h>

#include <cstring>

#include <ks.h>
#include <ntddk.h>

namespace host {
namespace {

constexpr const char* Kernel = "ntoskrnl.exe";
constexpr const char* Hal = "hal.dll";
constexpr const char* KernelStreaming = "ks.sys";

// The kernel's C memory routines, called with the Microsoft convention.
__attribute__((ms_abi)) void* KernelMemcpy(void* destination, const void* source, size_t length) {
    return std::memcpy(destination, source, length);
}

__attribute__((ms_abi)) void* KernelMemmove(void* destination, const void* source, size_t length) {
    return std::memmove(destination, source, length);
}

__attribute__((ms_abi)) void* KernelMemset(void* destination, int value, size_t length) {
    return std::memset(destination, value, length);
}

__attribute__((ms_abi)) int KernelMemcmp(const void* first, const void* second, size_t length) {
    return std::memcmp(first, second, length);
}

template <typename Routine>
KernelExport Export(const char* module, const char* name, Routine* routine) {
    return KernelExport{module, name, reinterpret_cast<void*>(routine)};
}

std::vector<KernelExport> BuildTable() {
    return {
        Export(Kernel, "ExAllocatePoolWithTag", &ExAllocatePoolWithTag),
        Export(Kernel, "ExFreePool", &ExFreePool),
        Export(Kernel, "ExFreePoolWithTag", &ExFreePoolWithTag),
        Export(Kernel, "IoGetDeviceInterfaces", &IoGetDeviceInterfaces),
        Export(Kernel, "IoOpenDeviceRegistryKey", &IoOpenDeviceRegistryKey),
        // On x64 KeAcquireSpinLock is a macro over this export.
        Export(Kernel, "KeAcquireSpinLockRaiseToDpc", &KeAcquireSpinLockRaiseToDpc),
        Export(Kernel, "KeBugCheckEx", &KeBugCheckEx),
        Export(Kernel, "KeDelayExecutionThread", &KeDelayExecutionThread),
        Export(Kernel, "KeEnterCriticalRegion", &KeEnterCriticalRegion),
        Export(Kernel, "KeInitializeEvent", &KeInitializeEvent),
        // Inline on x64 up to Windows 7, exported by the kernel since Windows 8.
        Export(Kernel, "KeInitializeSpinLock", &KeInitializeSpinLock),
        Export(Kernel, "KeLeaveCriticalRegion", &KeLeaveCriticalRegion),
        Export(Kernel, "KeQueryActiveProcessorCountEx", &KeQueryActiveProcessorCountEx),
        // Implemented by the x64 kernel since Windows 8; the HAL, where the
        // documentation and mingw-w64's import library place it, still
        // exports it for drivers bound to hal.dll.
        Export(Kernel, "KeQueryPerformanceCounter", &KeQueryPerformanceCounter),
        Export(Hal, "KeQueryPerformanceCounter", &KeQueryPerformanceCounter),
        // The x64 kernel exports the release; x86 had KfReleaseSpinLock in the HAL.
        Export(Kernel, "KeReleaseSpinLock", &KeReleaseSpinLock),
        Export(Kernel, "KeResetEvent", &KeResetEvent),
        Export(Kernel, "KeRestoreExtendedProcessorState", &KeRestoreExtendedProcessorState),
        Export(Kernel, "KeSaveExtendedProcessorState", &KeSaveExtendedProcessorState),
        Export(Kernel, "KeSetEvent", &KeSetEvent),
        Export(Kernel, "KeWaitForSingleObject", &KeWaitForSingleObject),
        Export(Kernel, "ObReferenceObjectByHandle", &ObReferenceObjectByHandle),
        Export(Kernel, "ObfDereferenceObject", &ObfDereferenceObject),
        Export(Kernel, "ObfReferenceObject", &ObfReferenceObject),
        Export(Kernel, "PsCreateSystemThread", &PsCreateSystemThread),
        Export(Kernel, "PsTerminateSystemThread", &PsTerminateSystemThread),
        Export(Kernel, "PsThreadType", &PsThreadType),
        Export(Kernel, "RtlCompareMemory", &RtlCompareMemory),
        Export(Kernel, "RtlInitUnicodeString", &RtlInitUnicodeString),
        Export(Kernel, "ZwClose", &ZwClose),
        Export(Kernel, "ZwCreateKey", &ZwCreateKey),
        Export(Kernel, "ZwOpenFile", &ZwOpenFile),
        Export(Kernel, "ZwQueryValueKey", &ZwQueryValueKey),
        Export(Kernel, "ZwReadFile", &ZwReadFile),
        Export(Kernel, "ZwSetInformationFile", &ZwSetInformationFile),
        Export(Kernel, "ZwSetValueKey", &ZwSetValueKey),
        Export(Kernel, "ZwWriteFile", &ZwWriteFile),
        Export(Kernel, "memcmp", &KernelMemcmp),
        Export(Kernel, "memcpy", &KernelMemcpy),
        Export(Kernel, "memmove", &KernelMemmove),
        Export(Kernel, "memset", &KernelMemset),

        Export(KernelStreaming, "KsAcquireControl", &KsAcquireControl),
        Export(KernelStreaming, "KsAcquireDevice", &KsAcquireDevice),
        Export(KernelStreaming, "KsAddItemToObjectBag", &KsAddItemToObjectBag),
        Export(KernelStreaming, "KsCreateFilterFactory", &KsCreateFilterFactory),
        Export(KernelStreaming, "KsFilterGetChildPinCount", &KsFilterGetChildPinCount),
        Export(KernelStreaming, "KsFilterGetFirstChildPin", &KsFilterGetFirstChildPin),
        Export(KernelStreaming, "KsGetDevice", &KsGetDevice),
        Export(KernelStreaming, "KsGetFilterFromIrp", &KsGetFilterFromIrp),
        Export(KernelStreaming, "KsGetObjectTypeFromIrp", &KsGetObjectTypeFromIrp),
        Export(KernelStreaming, "KsGetParent", &KsGetParent),
        Export(KernelStreaming, "KsGetPinFromIrp", &KsGetPinFromIrp),
        Export(KernelStreaming, "KsInitializeDriver", &KsInitializeDriver),
        Export(KernelStreaming, "KsPinAcquireProcessingMutex", &KsPinAcquireProcessingMutex),
        Export(KernelStreaming, "KsPinAttemptProcessing", &KsPinAttemptProcessing),
        Export(KernelStreaming, "KsPinGetLeadingEdgeStreamPointer",
               &KsPinGetLeadingEdgeStreamPointer),
        Export(KernelStreaming, "KsPinGetNextSiblingPin", &KsPinGetNextSiblingPin),
        Export(KernelStreaming, "KsPinGetParentFilter", &KsPinGetParentFilter),
        Export(KernelStreaming, "KsPinGetReferenceClockInterface",
               &KsPinGetReferenceClockInterface),
        Export(KernelStreaming, "KsPinReleaseProcessingMutex", &KsPinReleaseProcessingMutex),
        Export(KernelStreaming, "KsReleaseControl", &KsReleaseControl),
        Export(KernelStreaming, "KsReleaseDevice", &KsReleaseDevice),
        Export(KernelStreaming, "KsRemoveItemFromObjectBag", &KsRemoveItemFromObjectBag),
        Export(KernelStreaming, "KsStreamPointerSetStatusCode", &KsStreamPointerSetStatusCode),
        Export(KernelStreaming, "KsStreamPointerUnlock", &KsStreamPointerUnlock),
        Export(KernelStreaming, "_KsEdit", &_KsEdit),
    };
}

}  // namespace

const std::vector<KernelExport>& KernelExports() {
    static const std::vector<KernelExport> table = BuildTable();
    return table;
}

bool IsKernelModule(const std::string& module) {
    for (const char* known : {Kernel, Hal, KernelStreaming}) {
        if (strcasecmp(module.c_str(), known) == 0) {
            return true;
        }
    }
    return false;
}

void* FindKernelExport(const std::string& module, const std::string& name) {
    for (const KernelExport& entry : KernelExports()) {
        if (strcasecmp(module.c_str(), entry.module) == 0 && name == entry.name) {
            return entry.address;
        }
    }
    return nullptr;
}

}  // namespace host
