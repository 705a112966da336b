// The test minidriver.
#include "tests/host/ks/test_minidriver.h"

#include <cstring>

#include "host/nt/processes.h"

namespace minidriver {

const GUID TestCategory = {
    0x1d2c3b4a, 0x1111, 0x2222, {0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99, 0xaa}};
const GUID TestPropertySet = {0x5e6f7a8b, 0x1234, 0x5678, {1, 2, 3, 4, 5, 6, 7, 8}};
const KSPROPERTY_STEPPING_LONG RangedStepping = {5, 0, {{-20, 40}}};
const GUID TestMajorFormat = {0x0badf00d, 0x0001, 0x0002, {8, 7, 6, 5, 4, 3, 2, 1}};

namespace {

constexpr ULONG ContextTag = 0x7478436D;  // 'mCxt'
constexpr ULONG CopyTag = 0x7970436D;     // 'mCpy'

const GUID CaptureCategory = {STATIC_KSCATEGORY_CAPTURE};
const GUID SpecifierNone = {STATIC_KSDATAFORMAT_SPECIFIER_NONE};
const GUID FilterName = {STATIC_KSNAME_Filter};

void Note(const std::string& call) {
    std::lock_guard<std::mutex> lock(Recorded().mutex);
    Recorded().calls.push_back(call);
}

// Property handlers: the data buffer holds a ULONG.
NTSTATUS NTAPI GetValue(PIRP irp, PKSIDENTIFIER, PVOID data) {
    Recorded().requestFilter = KsGetFilterFromIrp(irp);
    Recorded().propertyProcess = host::CurrentProcessId();
    std::memcpy(data, &Recorded().propertyValue, sizeof(ULONG));
    irp->IoStatus.Information = Recorded().replyBytes;
    return STATUS_SUCCESS;
}

NTSTATUS NTAPI SetValue(PIRP irp, PKSIDENTIFIER, PVOID data) {
    Recorded().requestFilter = KsGetFilterFromIrp(irp);
    std::memcpy(&Recorded().propertyValue, data, sizeof(ULONG));
    return STATUS_SUCCESS;
}

const KSPROPERTY_MEMBERSLIST RangedMembers[] = {
    {{KSPROPERTY_MEMBER_STEPPEDRANGES, sizeof(KSPROPERTY_STEPPING_LONG), 1, 0}, &RangedStepping},
    {{KSPROPERTY_MEMBER_VALUES, sizeof(LONG), 1, KSPROPERTY_MEMBER_FLAG_DEFAULT}, &RangedDefault},
};

const KSPROPERTY_VALUES RangedValues = {
    {{{{STATIC_KSPROPTYPESETID_General}, VT_I4, 0}}},
    SIZEOF_ARRAY(RangedMembers),
    RangedMembers,
};

const KSPROPERTY_ITEM TestItems[] = {
    DEFINE_KSPROPERTY_ITEM(ValueProperty, GetValue, sizeof(KSPROPERTY), sizeof(ULONG), SetValue,
                           nullptr, 0, nullptr, nullptr, 0),
    DEFINE_KSPROPERTY_ITEM(ReadOnlyProperty, GetValue, sizeof(KSPROPERTY), 8, nullptr, nullptr, 0,
                           nullptr, nullptr, 0),
    DEFINE_KSPROPERTY_ITEM(WriteOnlyProperty, nullptr, sizeof(KSPROPERTY), sizeof(ULONG), SetValue,
                           nullptr, 0, nullptr, nullptr, 0),
    DEFINE_KSPROPERTY_ITEM(LongRequestProperty, GetValue, 32, sizeof(ULONG), nullptr, nullptr, 0,
                           nullptr, nullptr, 0),
    DEFINE_KSPROPERTY_ITEM(RangedProperty, GetValue, sizeof(KSPROPERTY), sizeof(ULONG), SetValue,
                           &RangedValues, 0, nullptr, nullptr, 0),
};

const KSPROPERTY_SET TestSets[] = {
    DEFINE_KSPROPERTY_SET(&TestPropertySet, SIZEOF_ARRAY(TestItems), TestItems, 0, nullptr),
};

const KSAUTOMATION_TABLE FilterAutomation = {
    DEFINE_KSAUTOMATION_PROPERTIES(TestSets),
    DEFINE_KSAUTOMATION_METHODS_NULL,
    DEFINE_KSAUTOMATION_EVENTS_NULL,
};

KSDATARANGE TestRange = {{
    sizeof(KSDATARANGE),  // FormatSize
    0,                    // Flags
    0,                    // SampleSize
    0,                    // Reserved
    TestMajorFormat,      // MajorFormat
    {STATIC_GUID_NULL},   // SubFormat
    SpecifierNone,        // Specifier
}};

const PKSDATARANGE TestRanges[] = {&TestRange};

DECLARE_SIMPLE_FRAMING_EX(TestFraming, STATIC_KSMEMORY_TYPE_KERNEL_NONPAGED,
                          KSALLOCATOR_REQUIREMENTF_SYSTEM_MEMORY, 4, 0, DescriptorFrameSize,
                          DescriptorFrameSize);

// Proposes the pin's range as the format, with a SampleSize of 1000.
NTSTATUS NTAPI Intersect(PVOID context, PIRP, PKSP_PIN, PKSDATARANGE, PKSDATARANGE matching,
                         ULONG bufferSize, PVOID data, PULONG dataSize) {
    Recorded().intersectContext = context;
    if (bufferSize == 0) {
        *dataSize = sizeof(KSDATAFORMAT);
        return STATUS_BUFFER_OVERFLOW;
    }
    if (bufferSize < sizeof(KSDATAFORMAT)) {
        return STATUS_BUFFER_TOO_SMALL;
    }
    KSDATAFORMAT format = *matching;
    format.SampleSize = 1000;
    std::memcpy(data, &format, sizeof(format));
    *dataSize = sizeof(format);
    return STATUS_SUCCESS;
}

NTSTATUS NTAPI PinSetDataFormat(PKSPIN pin, PKSDATAFORMAT oldFormat, PKSMULTIPLE_ITEM,
                                const KSDATARANGE*, const KSATTRIBUTE_LIST*) {
    Note(oldFormat == nullptr ? "format" : "format change");
    return pin->ConnectionFormat->SampleSize == 0 ? STATUS_NO_MATCH : STATUS_SUCCESS;
}

// A context in the bag, and private copies of the descriptor and framing
// whose frame size is the format's SampleSize.
NTSTATUS NTAPI PinCreate(PKSPIN pin, PIRP) {
    Note("pin create");
    NTSTATUS status = _KsEdit(pin->Bag, (PVOID*)&pin->Descriptor, sizeof(KSPIN_DESCRIPTOR_EX),
                              sizeof(KSPIN_DESCRIPTOR_EX), CopyTag);
    if (!NT_SUCCESS(status)) {
        return status;
    }
    auto* descriptor = const_cast<KSPIN_DESCRIPTOR_EX*>(pin->Descriptor);
    status = _KsEdit(pin->Bag, (PVOID*)&descriptor->AllocatorFraming,
                     sizeof(KSALLOCATOR_FRAMING_EX), sizeof(KSALLOCATOR_FRAMING_EX), CopyTag);
    if (!NT_SUCCESS(status)) {
        return status;
    }
    auto* framing = const_cast<KSALLOCATOR_FRAMING_EX*>(descriptor->AllocatorFraming);
    framing->FramingItem[0].Frames = 2;
    framing->FramingItem[0].FramingRange.Range.MinFrameSize = pin->ConnectionFormat->SampleSize;
    framing->FramingItem[0].FramingRange.Range.MaxFrameSize = pin->ConnectionFormat->SampleSize;
    return STATUS_SUCCESS;
}

NTSTATUS NTAPI PinClose(PKSPIN, PIRP) {
    Note("pin close");
    return STATUS_SUCCESS;
}

NTSTATUS NTAPI PinSetState(PKSPIN pin, KSSTATE to, KSSTATE from) {
    Record& record = Recorded();
    record.stateChangeProcess = host::CurrentProcessId();
    if (record.stateChangeTakesProcessingMutex) {
        KsPinAcquireProcessingMutex(pin);
    }
    record.inStateChange = true;
    Note("state " + std::to_string(from) + ">" + std::to_string(to));
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (record.stateChange) {
        record.stateChange(pin);
    }
    record.inStateChange = false;
    if (record.stateChangeTakesProcessingMutex) {
        KsPinReleaseProcessingMutex(pin);
    }
    return to == record.failingState ? record.failingStatus : STATUS_SUCCESS;
}

NTSTATUS NTAPI PinProcess(PKSPIN pin) {
    Record& record = Recorded();
    const int running = ++record.processRunning;
    int most = record.mostProcessRunning;
    while (running > most && !record.mostProcessRunning.compare_exchange_weak(most, running)) {
    }
    record.processDuringStateChange = record.processDuringStateChange || record.inStateChange;
    record.processThread = std::this_thread::get_id();
    record.processProcess = host::CurrentProcessId();
    NTSTATUS status = record.process ? record.process(pin) : STATUS_PENDING;
    --record.processRunning;
    ++record.processCalls;
    return status;
}

const KSPIN_DISPATCH PinDispatch = {
    PinCreate,         // Create
    PinClose,          // Close
    PinProcess,        // Process
    nullptr,           // Reset
    PinSetDataFormat,  // SetDataFormat
    PinSetState,       // SetDeviceState
    nullptr,           // Connect
    nullptr,           // Disconnect
    nullptr,           // Clock
    nullptr,           // Allocator
};

const KSPIN_DESCRIPTOR_EX PinDescriptors[] = {{
    &PinDispatch,  // Dispatch
    nullptr,       // AutomationTable
    {
        0,
        nullptr,
        0,
        nullptr,  // interfaces and mediums: the standard ones
        SIZEOF_ARRAY(TestRanges),
        TestRanges,                // DataRanges
        KSPIN_DATAFLOW_OUT,        // DataFlow
        KSPIN_COMMUNICATION_BOTH,  // Communication
        nullptr,                   // Category
        nullptr,                   // Name
        {0},                       // Reserved
    },
    KSPIN_FLAG_PROCESS_IN_RUN_STATE_ONLY,  // Flags
    1,                                     // InstancesPossible
    1,                                     // InstancesNecessary
    &TestFraming,                          // AllocatorFraming
    Intersect,                             // IntersectHandler
}};

void NTAPI FreeFilterContext(PVOID context) {
    ++Recorded().filterContextsFreed;
    ExFreePoolWithTag(context, ContextTag);
}

NTSTATUS NTAPI FilterCreate(PKSFILTER filter, PIRP) {
    Note("filter create");
    Recorded().filterCreateProcess = host::CurrentProcessId();
    if (Recorded().failFilterCreate) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    PVOID context = ExAllocatePoolWithTag(NonPagedPoolNx, 16, ContextTag);
    NTSTATUS status = KsAddItemToObjectBag(filter->Bag, context, FreeFilterContext);
    if (!NT_SUCCESS(status)) {
        ExFreePoolWithTag(context, ContextTag);
        return status;
    }
    filter->Context = context;
    return STATUS_SUCCESS;
}

NTSTATUS NTAPI FilterClose(PKSFILTER, PIRP) {
    Note("filter close");
    return STATUS_SUCCESS;
}

const KSFILTER_DISPATCH FilterDispatch = {FilterCreate, FilterClose, nullptr, nullptr};

const GUID FilterCategories[] = {TestCategory, CaptureCategory};

const KSFILTER_DESCRIPTOR FilterDescriptor = {
    &FilterDispatch,              // Dispatch
    &FilterAutomation,            // AutomationTable
    KSFILTER_DESCRIPTOR_VERSION,  // Version
    0,                            // Flags
    &FilterName,                  // ReferenceGuid
    DEFINE_KSFILTER_PIN_DESCRIPTORS(PinDescriptors),
    DEFINE_KSFILTER_CATEGORIES(FilterCategories),
    DEFINE_KSFILTER_NODE_DESCRIPTORS_NULL,
    DEFINE_KSFILTER_DEFAULT_CONNECTIONS,
    nullptr,  // ComponentId
};

NTSTATUS NTAPI DeviceStart(PKSDEVICE device, PIRP, PCM_RESOURCE_LIST, PCM_RESOURCE_LIST) {
    static WCHAR reference[] = u"GLOBAL";
    Recorded().deviceStartProcess = host::CurrentProcessId();
    return KsCreateFilterFactory(device->FunctionalDeviceObject, &FilterDescriptor, reference,
                                 nullptr, KSCREATE_ITEM_FREEONSTOP, nullptr, nullptr, nullptr);
}

const KSDEVICE_DISPATCH DeviceDispatch = {
    nullptr, DeviceStart, nullptr, nullptr, nullptr, nullptr, nullptr,
    nullptr, nullptr,     nullptr, nullptr, nullptr, nullptr, nullptr,
};

const KSDEVICE_DESCRIPTOR DeviceDescriptor = {&DeviceDispatch, 0, nullptr, 0};

}  // namespace

Record& Recorded() {
    static Record record;
    return record;
}

void Reset() {
    Record& record = Recorded();
    std::lock_guard<std::mutex> lock(record.mutex);
    record.calls.clear();
    record.failFilterCreate = false;
    record.failingState = KSSTATE_STOP;
    record.failingStatus = STATUS_SUCCESS;
    record.process = nullptr;
    record.processCalls = 0;
    record.mostProcessRunning = 0;
    record.processDuringStateChange = false;
    record.filterContextsFreed = 0;
    record.requestFilter = nullptr;
    record.intersectContext = nullptr;
    record.propertyValue = 0;
    record.replyBytes = sizeof(ULONG);
    record.stateChangeTakesProcessingMutex = false;
    record.stateChange = nullptr;
    record.filterCreateProcess = 0;
    record.propertyProcess = 0;
    record.stateChangeProcess = 0;
    record.processProcess = 0;
    record.deviceStartProcess = 0;
}

std::vector<std::string> Calls() {
    std::lock_guard<std::mutex> lock(Recorded().mutex);
    return Recorded().calls;
}

NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT driverObject, PUNICODE_STRING registryPath) {
    return KsInitializeDriver(driverObject, registryPath, &DeviceDescriptor);
}

KSDATAFORMAT TestFormat(ULONG sampleSize) {
    KSDATAFORMAT format = TestRange;
    format.SampleSize = sampleSize;
    return format;
}

}  // namespace minidriver
