// The descriptors of the capture filter and its one pin, as const tables,
// and the copies each device publishes. Pin creation edits the pin's own
// copies of its descriptor and framing.
#include "driver/descriptors.h"

#include "driver/data_range.h"
#include "driver/dropped_frames.h"
#include "driver/filter.h"
#include "driver/format_negotiation.h"
#include "driver/pin.h"
#include "platform/pool.h"
#include "settings/control_property_set.h"
#include "settings/standard_property_sets.h"

namespace {

const KSFILTER_DISPATCH CaptureFilterDispatch = {
    FilterCreate,  // Create
    FilterClose,   // Close
    nullptr,       // Process: processing is pin-centred
    nullptr,       // Reset
};

// The private control set and the standard video processing amplifier and
// camera control sets live on the filter. Each set's items and count are
// constants of its own file, so these tables stay constant aggregates.
const KSPROPERTY_SET CaptureFilterPropertySets[] = {
    {
        &ControlPropertySetId,       // Set
        ControlItemCount,            // PropertiesCount
        ControlPropertyItems.items,  // PropertyItem
        0,                           // FastIoCount
        nullptr,                     // FastIoTable
    },
    {
        &VideoProcAmpSetId,       // Set
        VideoProcAmpItemCount,    // PropertiesCount
        VideoProcAmpItems.items,  // PropertyItem
        0,                        // FastIoCount
        nullptr,                  // FastIoTable
    },
    {
        &CameraControlSetId,       // Set
        CameraControlItemCount,    // PropertiesCount
        CameraControlItems.items,  // PropertyItem
        0,                         // FastIoCount
        nullptr,                   // FastIoTable
    },
};

const KSAUTOMATION_TABLE CaptureFilterAutomation = {
    SIZEOF_ARRAY(CaptureFilterPropertySets),  // PropertySetsCount
    sizeof(KSPROPERTY_ITEM),                  // PropertyItemSize
    CaptureFilterPropertySets,                // PropertySets
    0,                                        // MethodSetsCount
    sizeof(KSMETHOD_ITEM),                    // MethodItemSize
    nullptr,                                  // MethodSets
    0,                                        // EventSetsCount
    sizeof(KSEVENT_ITEM),                     // EventItemSize
    nullptr,                                  // EventSets
};

const GUID DroppedFramesSetId = {STATIC_PROPSETID_VIDCAP_DROPPEDFRAMES};

// The video capture sets a capture pin serves beside the class driver's own,
// one entry each.
const KSPROPERTY_SET CapturePinPropertySets[] = {
    {
        &DroppedFramesSetId,     // Set
        DroppedFramesItemCount,  // PropertiesCount
        DroppedFramesItems,      // PropertyItem
        0,                       // FastIoCount
        nullptr,                 // FastIoTable
    },
    {
        &VideoControlSetId,       // Set
        VideoControlItemCount,    // PropertiesCount
        VideoControlItems.items,  // PropertyItem
        0,                        // FastIoCount
        nullptr,                  // FastIoTable
    },
};

const KSAUTOMATION_TABLE CapturePinAutomation = {
    SIZEOF_ARRAY(CapturePinPropertySets),  // PropertySetsCount
    sizeof(KSPROPERTY_ITEM),               // PropertyItemSize
    CapturePinPropertySets,                // PropertySets
    0,                                     // MethodSetsCount
    sizeof(KSMETHOD_ITEM),                 // MethodItemSize
    nullptr,                               // MethodSets
    0,                                     // EventSetsCount
    sizeof(KSEVENT_ITEM),                  // EventItemSize
    nullptr,                               // EventSets
};

const KSPIN_DISPATCH CapturePinDispatch = {
    PinCreate,          // Create
    PinClose,           // Close
    PinProcess,         // Process
    nullptr,            // Reset
    PinSetDataFormat,   // SetDataFormat
    PinSetDeviceState,  // SetDeviceState
    nullptr,            // Connect
    nullptr,            // Disconnect
    nullptr,            // Clock
    nullptr,            // Allocator
};

// Pin creation replaces the frame count and sizes with two frames of the
// connection format's image size.
const KSALLOCATOR_FRAMING_EX CapturePinFraming = {
    1,          // CountItems
    0,          // PinFlags
    {1, 1, 0},  // OutputCompression: ratio 1 / 1, constant margin 0
    0,          // PinWeight
    {{
        {STATIC_KSMEMORY_TYPE_KERNEL_NONPAGED},  // MemoryType
        {STATIC_GUID_NULL},                      // BusType: any
        0,                                       // MemoryFlags
        0,                                       // BusFlags
        KSALLOCATOR_REQUIREMENTF_SYSTEM_MEMORY |
            KSALLOCATOR_REQUIREMENTF_PREFERENCES_ONLY,  // Flags
        2,                                              // Frames
        0,                                              // FileAlignment
        0,                                              // MemoryTypeWeight
        {0, 0xFFFFFFFF, 1},                             // PhysicalRange
        {{8192, 8192, 1}, 0, 0},                        // FramingRange
    }},
};

// The template's range, replaced by the device's own ranges, one for each
// output format, in each copy.
const PKSDATARANGE CapturePinDataRanges[] = {
    const_cast<PKSDATARANGE>(&CaptureDataRangeTemplate.DataRange),
};

const GUID CapturePinCategory = {STATIC_PINNAME_VIDEO_CAPTURE};

const KSPIN_DESCRIPTOR_EX CapturePinDescriptors[] = {
    {
        &CapturePinDispatch,    // Dispatch
        &CapturePinAutomation,  // AutomationTable
        {
            0,                                   // InterfacesCount: standard streaming
            nullptr,                             // Interfaces
            0,                                   // MediumsCount: standard medium
            nullptr,                             // Mediums
            SIZEOF_ARRAY(CapturePinDataRanges),  // DataRangesCount
            CapturePinDataRanges,                // DataRanges
            KSPIN_DATAFLOW_OUT,                  // DataFlow
            KSPIN_COMMUNICATION_BOTH,            // Communication
            &CapturePinCategory,                 // Category
            &CapturePinCategory,                 // Name: the same GUID
            {0},                                 // Reserved: no constrained ranges
        },
        KSPIN_FLAG_PROCESS_IN_RUN_STATE_ONLY,  // Flags
        1,                                     // InstancesPossible
        1,                                     // InstancesNecessary
        &CapturePinFraming,                    // AllocatorFraming
        IntersectCaptureFormat,                // IntersectHandler
    },
};

const GUID CaptureFilterCategories[] = {
    {STATIC_KSCATEGORY_VIDEO},
    {STATIC_KSCATEGORY_CAPTURE},
    // Applications written for Windows 10 and later enumerate cameras here
    // only; the two above serve DirectShow and older applications.
    {STATIC_KSCATEGORY_VIDEO_CAMERA},
};

const GUID CaptureFilterReference = {STATIC_KSNAME_Filter};

}  // namespace

const KSFILTER_DESCRIPTOR CaptureFilterDescriptor = {
    &CaptureFilterDispatch,                 // Dispatch
    &CaptureFilterAutomation,               // AutomationTable
    KSFILTER_DESCRIPTOR_VERSION,            // Version
    0,                                      // Flags
    &CaptureFilterReference,                // ReferenceGuid
    SIZEOF_ARRAY(CapturePinDescriptors),    // PinDescriptorsCount
    sizeof(KSPIN_DESCRIPTOR_EX),            // PinDescriptorSize
    CapturePinDescriptors,                  // PinDescriptors
    SIZEOF_ARRAY(CaptureFilterCategories),  // CategoriesCount
    CaptureFilterCategories,                // Categories
    0,                                      // NodeDescriptorsCount
    sizeof(KSNODE_DESCRIPTOR),              // NodeDescriptorSize
    nullptr,                                // NodeDescriptors
    0,                                      // ConnectionsCount
    nullptr,                                // Connections
    nullptr,                                // ComponentId
};

PublishedDescriptors* CreatePublishedDescriptors() {
    auto* published = static_cast<PublishedDescriptors*>(
        PoolAllocate(sizeof(PublishedDescriptors), PoolTagContext));
    if (published == nullptr) {
        return nullptr;
    }
    InitDataRanges(published->dataRange);
    for (ULONG format = 0; format < OutputFormatCount; ++format) {
        published->dataRanges[format] = &published->dataRange[format].DataRange;
    }
    published->pin = CapturePinDescriptors[0];
    published->pin.PinDescriptor.DataRangesCount = OutputFormatCount;
    published->pin.PinDescriptor.DataRanges = published->dataRanges;
    published->filter = CaptureFilterDescriptor;
    published->filter.PinDescriptors = &published->pin;
    return published;
}

void NTAPI FreePublishedDescriptors(void* descriptors) {
    PoolFree(descriptors, PoolTagContext);
}
