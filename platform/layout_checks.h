// Sizes and offsets of the platform records the driver builds, reads or hands
// across the kernel boundary, pinned to their Windows x64 values. Compiled in
// both builds: a host header that drifts from the Windows layout fails here.
#pragma once

#include <cstddef>

#include "platform/kernel.h"

static_assert(sizeof(ULONG) == 4 && sizeof(LONG) == 4, "32-bit ULONG and LONG");
static_assert(sizeof(WCHAR) == 2, "UTF-16 code units");
static_assert(sizeof(HANDLE) == 8 && sizeof(SIZE_T) == 8, "64-bit pointers");
static_assert(sizeof(GUID) == 16, "GUID");
static_assert(sizeof(LARGE_INTEGER) == 8, "LARGE_INTEGER");

// Executive records.
static_assert(sizeof(UNICODE_STRING) == 16, "UNICODE_STRING");
static_assert(offsetof(UNICODE_STRING, Buffer) == 8, "UNICODE_STRING.Buffer");
static_assert(sizeof(OBJECT_ATTRIBUTES) == 48, "OBJECT_ATTRIBUTES");
static_assert(offsetof(OBJECT_ATTRIBUTES, ObjectName) == 16, "OBJECT_ATTRIBUTES.ObjectName");
static_assert(offsetof(OBJECT_ATTRIBUTES, Attributes) == 24, "OBJECT_ATTRIBUTES.Attributes");
static_assert(sizeof(IO_STATUS_BLOCK) == 16, "IO_STATUS_BLOCK");
static_assert(offsetof(IO_STATUS_BLOCK, Information) == 8, "IO_STATUS_BLOCK.Information");
static_assert(sizeof(FILE_POSITION_INFORMATION) == 8, "FILE_POSITION_INFORMATION");
static_assert(FilePositionInformation == 14, "FilePositionInformation");
static_assert(sizeof(KEVENT) == 24, "KEVENT");
static_assert(sizeof(XSTATE_SAVE) == 56, "XSTATE_SAVE");
static_assert(offsetof(XSTATE_SAVE, XStateContext) == 24, "XSTATE_SAVE.XStateContext");
static_assert(XSTATE_MASK_AVX == 0x4 && XSTATE_MASK_AVX512 == 0xE0, "XSAVE component masks");

// I/O manager records the class driver hands the driver: the request packet
// and its stack location, the device and driver objects. (The WDK aligns the
// device object to 16 bytes, 336 in all; mingw-w64's header leaves the
// alignment out, so its fields are pinned here, not its size.)
static_assert(sizeof(IRP) == 208, "IRP");
static_assert(offsetof(IRP, IoStatus) == 48, "IRP.IoStatus");
static_assert(offsetof(IRP, RequestorMode) == 64, "IRP.RequestorMode");
static_assert(offsetof(IRP, UserBuffer) == 112, "IRP.UserBuffer");
static_assert(offsetof(IRP, Tail.Overlay.CurrentStackLocation) == 184,
              "IRP.Tail.Overlay.CurrentStackLocation");
static_assert(sizeof(IO_STACK_LOCATION) == 72, "IO_STACK_LOCATION");
static_assert(offsetof(IO_STACK_LOCATION, Parameters.DeviceIoControl.OutputBufferLength) == 8,
              "DeviceIoControl.OutputBufferLength");
static_assert(offsetof(IO_STACK_LOCATION, Parameters.DeviceIoControl.InputBufferLength) == 16,
              "DeviceIoControl.InputBufferLength");
static_assert(offsetof(IO_STACK_LOCATION, Parameters.DeviceIoControl.IoControlCode) == 24,
              "DeviceIoControl.IoControlCode");
static_assert(offsetof(IO_STACK_LOCATION, Parameters.DeviceIoControl.Type3InputBuffer) == 32,
              "DeviceIoControl.Type3InputBuffer");
static_assert(offsetof(IO_STACK_LOCATION, FileObject) == 48, "IO_STACK_LOCATION.FileObject");
static_assert(offsetof(DEVICE_OBJECT, DriverObject) == 8, "DEVICE_OBJECT.DriverObject");
static_assert(offsetof(DEVICE_OBJECT, Flags) == 48, "DEVICE_OBJECT.Flags");
static_assert(offsetof(DEVICE_OBJECT, DeviceExtension) == 64, "DEVICE_OBJECT.DeviceExtension");
static_assert(offsetof(DEVICE_OBJECT, DeviceType) == 72, "DEVICE_OBJECT.DeviceType");
static_assert(offsetof(DEVICE_OBJECT, Queue) == 80, "DEVICE_OBJECT.Queue");
static_assert(offsetof(DEVICE_OBJECT, DeviceQueue) == 160, "DEVICE_OBJECT.DeviceQueue");
static_assert(offsetof(DEVICE_OBJECT, Dpc) == 200, "DEVICE_OBJECT.Dpc");
static_assert(offsetof(DEVICE_OBJECT, DeviceLock) == 280, "DEVICE_OBJECT.DeviceLock");
static_assert(offsetof(DEVICE_OBJECT, Reserved) == 320, "DEVICE_OBJECT.Reserved");
static_assert(sizeof(DRIVER_OBJECT) == 336, "DRIVER_OBJECT");
static_assert(offsetof(DRIVER_OBJECT, DriverExtension) == 48, "DRIVER_OBJECT.DriverExtension");
static_assert(offsetof(DRIVER_OBJECT, DriverName) == 56, "DRIVER_OBJECT.DriverName");
static_assert(offsetof(DRIVER_OBJECT, DriverUnload) == 104, "DRIVER_OBJECT.DriverUnload");
static_assert(offsetof(DRIVER_OBJECT, MajorFunction) == 112, "DRIVER_OBJECT.MajorFunction");
static_assert(sizeof(KSPIN_LOCK) == 8, "KSPIN_LOCK");
static_assert(sizeof(KEY_VALUE_PARTIAL_INFORMATION) == 16, "KEY_VALUE_PARTIAL_INFORMATION");
static_assert(offsetof(KEY_VALUE_PARTIAL_INFORMATION, Type) == 4, "partial information Type");
static_assert(offsetof(KEY_VALUE_PARTIAL_INFORMATION, DataLength) == 8,
              "partial information DataLength");
static_assert(offsetof(KEY_VALUE_PARTIAL_INFORMATION, Data) == 12, "partial information Data");

// Kernel streaming records.
static_assert(sizeof(KSDEVICE_DISPATCH) == 14 * sizeof(void*), "KSDEVICE_DISPATCH");
static_assert(offsetof(KSDEVICE_DISPATCH, QueryPower) == 11 * sizeof(void*),
              "KSDEVICE_DISPATCH.QueryPower");
static_assert(offsetof(KSDEVICE_DISPATCH, SetPower) == 12 * sizeof(void*),
              "KSDEVICE_DISPATCH.SetPower");
static_assert(sizeof(KSDEVICE_DESCRIPTOR) == 32, "KSDEVICE_DESCRIPTOR");
static_assert(offsetof(KSDEVICE_DESCRIPTOR, Version) == 24, "KSDEVICE_DESCRIPTOR.Version");
static_assert(offsetof(KSDEVICE, Bag) == 8, "KSDEVICE.Bag");
static_assert(offsetof(KSDEVICE, Context) == 16, "KSDEVICE.Context");
static_assert(offsetof(KSDEVICE, FunctionalDeviceObject) == 24, "KSDEVICE.FunctionalDeviceObject");
static_assert(offsetof(KSDEVICE, PhysicalDeviceObject) == 32, "KSDEVICE.PhysicalDeviceObject");
static_assert(offsetof(KSDEVICE, Started) == 48, "KSDEVICE.Started");
static_assert(sizeof(KSDATAFORMAT) == 64, "KSDATAFORMAT");
static_assert(offsetof(KSDATAFORMAT, SampleSize) == 8, "KSDATAFORMAT.SampleSize");
static_assert(offsetof(KSDATAFORMAT, MajorFormat) == 16, "KSDATAFORMAT.MajorFormat");
static_assert(offsetof(KSDATAFORMAT, SubFormat) == 32, "KSDATAFORMAT.SubFormat");
static_assert(offsetof(KSDATAFORMAT, Specifier) == 48, "KSDATAFORMAT.Specifier");

// Video format records.
static_assert(sizeof(KS_BITMAPINFOHEADER) == 40, "KS_BITMAPINFOHEADER");
static_assert(offsetof(KS_BITMAPINFOHEADER, biHeight) == 8, "biHeight");
static_assert(offsetof(KS_BITMAPINFOHEADER, biBitCount) == 14, "biBitCount");
static_assert(offsetof(KS_BITMAPINFOHEADER, biCompression) == 16, "biCompression");
static_assert(offsetof(KS_BITMAPINFOHEADER, biSizeImage) == 20, "biSizeImage");
static_assert(sizeof(KS_VIDEOINFOHEADER) == 88, "KS_VIDEOINFOHEADER");
static_assert(offsetof(KS_VIDEOINFOHEADER, dwBitRate) == 32, "dwBitRate");
static_assert(offsetof(KS_VIDEOINFOHEADER, AvgTimePerFrame) == 40, "AvgTimePerFrame");
static_assert(offsetof(KS_VIDEOINFOHEADER, bmiHeader) == 48, "bmiHeader");
static_assert(sizeof(KS_DATAFORMAT_VIDEOINFOHEADER) == 152, "KS_DATAFORMAT_VIDEOINFOHEADER");
static_assert(offsetof(KS_DATAFORMAT_VIDEOINFOHEADER, VideoInfoHeader) == 64,
              "KS_DATAFORMAT_VIDEOINFOHEADER.VideoInfoHeader");
static_assert(sizeof(KS_VIDEO_STREAM_CONFIG_CAPS) == 128, "KS_VIDEO_STREAM_CONFIG_CAPS");
static_assert(offsetof(KS_VIDEO_STREAM_CONFIG_CAPS, MinFrameInterval) == 104, "MinFrameInterval");
static_assert(offsetof(KS_VIDEO_STREAM_CONFIG_CAPS, MinBitsPerSecond) == 120, "MinBitsPerSecond");
static_assert(sizeof(KS_DATARANGE_VIDEO) == 296, "KS_DATARANGE_VIDEO");
static_assert(offsetof(KS_DATARANGE_VIDEO, bFixedSizeSamples) == 64, "bFixedSizeSamples");
static_assert(offsetof(KS_DATARANGE_VIDEO, ConfigCaps) == 80, "KS_DATARANGE_VIDEO.ConfigCaps");
static_assert(offsetof(KS_DATARANGE_VIDEO, VideoInfoHeader) == 208,
              "KS_DATARANGE_VIDEO.VideoInfoHeader");

// Kernel streaming records the driver registers or exchanges with the class
// driver.
static_assert(sizeof(KSIDENTIFIER) == 24 && sizeof(KSPROPERTY) == 24, "KSPROPERTY");
static_assert(offsetof(KSPROPERTY, Id) == 16 && offsetof(KSPROPERTY, Flags) == 20,
              "KSPROPERTY.Id and Flags");
static_assert(sizeof(KSP_PIN) == 32, "KSP_PIN");
static_assert(sizeof(KSTIME) == 16, "KSTIME");
static_assert(sizeof(KSSTREAM_HEADER) == 56, "KSSTREAM_HEADER");
static_assert(offsetof(KSSTREAM_HEADER, PresentationTime) == 8, "PresentationTime");
static_assert(offsetof(KSSTREAM_HEADER, Duration) == 24, "Duration");
static_assert(offsetof(KSSTREAM_HEADER, FrameExtent) == 32, "FrameExtent");
static_assert(offsetof(KSSTREAM_HEADER, DataUsed) == 36, "DataUsed");
static_assert(offsetof(KSSTREAM_HEADER, Data) == 40, "KSSTREAM_HEADER.Data");
static_assert(offsetof(KSSTREAM_HEADER, OptionsFlags) == 48, "OptionsFlags");
static_assert(sizeof(KSPROPERTY_ITEM) == 72, "KSPROPERTY_ITEM");
static_assert(offsetof(KSPROPERTY_ITEM, MinProperty) == 16, "KSPROPERTY_ITEM.MinProperty");
static_assert(offsetof(KSPROPERTY_ITEM, SetPropertyHandler) == 24,
              "KSPROPERTY_ITEM.SetPropertyHandler");
static_assert(offsetof(KSPROPERTY_ITEM, SupportHandler) == 56, "KSPROPERTY_ITEM.SupportHandler");
static_assert(sizeof(KSPROPERTY_SET) == 40, "KSPROPERTY_SET");
static_assert(offsetof(KSPROPERTY_SET, PropertyItem) == 16, "KSPROPERTY_SET.PropertyItem");
static_assert(sizeof(KSMETHOD_ITEM) == 40 && sizeof(KSEVENT_ITEM) == 40, "method and event items");
static_assert(sizeof(KSAUTOMATION_TABLE) == 48, "KSAUTOMATION_TABLE");
static_assert(offsetof(KSAUTOMATION_TABLE, PropertySets) == 8, "PropertySets");
static_assert(offsetof(KSAUTOMATION_TABLE, EventSets) == 40, "EventSets");
static_assert(sizeof(KSPIN_DESCRIPTOR) == 88, "KSPIN_DESCRIPTOR");
static_assert(offsetof(KSPIN_DESCRIPTOR, DataRanges) == 40, "KSPIN_DESCRIPTOR.DataRanges");
static_assert(offsetof(KSPIN_DESCRIPTOR, DataFlow) == 48, "KSPIN_DESCRIPTOR.DataFlow");
static_assert(offsetof(KSPIN_DESCRIPTOR, Category) == 56, "KSPIN_DESCRIPTOR.Category");
static_assert(sizeof(KSPIN_DESCRIPTOR_EX) == 136, "KSPIN_DESCRIPTOR_EX");
static_assert(offsetof(KSPIN_DESCRIPTOR_EX, PinDescriptor) == 16, "PinDescriptor");
static_assert(offsetof(KSPIN_DESCRIPTOR_EX, Flags) == 104, "KSPIN_DESCRIPTOR_EX.Flags");
static_assert(offsetof(KSPIN_DESCRIPTOR_EX, InstancesPossible) == 108, "InstancesPossible");
static_assert(offsetof(KSPIN_DESCRIPTOR_EX, AllocatorFraming) == 120, "AllocatorFraming");
static_assert(offsetof(KSPIN_DESCRIPTOR_EX, IntersectHandler) == 128, "IntersectHandler");
static_assert(sizeof(KSFILTER_DESCRIPTOR) == 104, "KSFILTER_DESCRIPTOR");
static_assert(offsetof(KSFILTER_DESCRIPTOR, ReferenceGuid) == 24, "ReferenceGuid");
static_assert(offsetof(KSFILTER_DESCRIPTOR, PinDescriptors) == 40, "PinDescriptors");
static_assert(offsetof(KSFILTER_DESCRIPTOR, Categories) == 56, "Categories");
static_assert(offsetof(KSFILTER_DESCRIPTOR, ComponentId) == 96, "ComponentId");
static_assert(sizeof(KSFILTER_DISPATCH) == 32, "KSFILTER_DISPATCH");
static_assert(sizeof(KSPIN_DISPATCH) == 80, "KSPIN_DISPATCH");
static_assert(offsetof(KSPIN_DISPATCH, SetDataFormat) == 32, "KSPIN_DISPATCH.SetDataFormat");
static_assert(offsetof(KSPIN_DISPATCH, SetDeviceState) == 40, "KSPIN_DISPATCH.SetDeviceState");
static_assert(sizeof(KSNODE_DESCRIPTOR) == 24, "KSNODE_DESCRIPTOR");
static_assert(sizeof(KS_FRAMING_ITEM) == 88, "KS_FRAMING_ITEM");
static_assert(offsetof(KS_FRAMING_ITEM, Frames) == 44, "KS_FRAMING_ITEM.Frames");
static_assert(offsetof(KS_FRAMING_ITEM, PhysicalRange) == 56, "PhysicalRange");
static_assert(offsetof(KS_FRAMING_ITEM, FramingRange) == 68, "FramingRange");
static_assert(sizeof(KSALLOCATOR_FRAMING_EX) == 112, "KSALLOCATOR_FRAMING_EX");
static_assert(offsetof(KSALLOCATOR_FRAMING_EX, FramingItem) == 24, "FramingItem");
static_assert(sizeof(KSSTREAM_POINTER_OFFSET) == 16, "KSSTREAM_POINTER_OFFSET");
static_assert(offsetof(KSSTREAM_POINTER_OFFSET, Remaining) == 12, "StreamPointerOffset.Remaining");
static_assert(sizeof(KSSTREAM_POINTER) == 64, "KSSTREAM_POINTER");
static_assert(offsetof(KSSTREAM_POINTER, StreamHeader) == 16, "StreamPointer.StreamHeader");
static_assert(offsetof(KSSTREAM_POINTER, OffsetOut) == 48, "StreamPointer.OffsetOut");
static_assert(sizeof(KSFILTER) == 24 && sizeof(KSFILTERFACTORY) == 24, "KSFILTER");
static_assert(offsetof(KSFILTER, Bag) == 8, "KSFILTER.Bag");
static_assert(offsetof(KSFILTER, Context) == 16, "KSFILTER.Context");
static_assert(sizeof(KSPIN) == 136, "KSPIN");
static_assert(offsetof(KSPIN, Bag) == 8, "KSPIN.Bag");
static_assert(offsetof(KSPIN, Context) == 16, "KSPIN.Context");
static_assert(offsetof(KSPIN, ConnectionFormat) == 96, "KSPIN.ConnectionFormat");
static_assert(offsetof(KSPIN, StreamHeaderSize) == 112, "KSPIN.StreamHeaderSize");
static_assert(offsetof(KSPIN, DeviceState) == 120, "KSPIN.DeviceState");

// The frame information after a video stream header, and the dropped-frames
// property's record.
static_assert(sizeof(KS_FRAME_INFO) == 72, "KS_FRAME_INFO");
static_assert(offsetof(KS_FRAME_INFO, dwFrameFlags) == 4, "KS_FRAME_INFO.dwFrameFlags");
static_assert(offsetof(KS_FRAME_INFO, PictureNumber) == 8, "KS_FRAME_INFO.PictureNumber");
static_assert(offsetof(KS_FRAME_INFO, DropCount) == 16, "KS_FRAME_INFO.DropCount");
static_assert(offsetof(KS_FRAME_INFO, DirectDrawRect) == 40, "KS_FRAME_INFO.DirectDrawRect");
static_assert(offsetof(KS_FRAME_INFO, Reserved4) == 68, "KS_FRAME_INFO.Reserved4");
static_assert(KS_VIDEO_FLAG_FRAME == 0 && KS_VIDEO_FLAG_REPEAT_FIELD == 0x40, "video frame flags");
static_assert(sizeof(KSPROPERTY_DROPPEDFRAMES_CURRENT_S) == 48,
              "KSPROPERTY_DROPPEDFRAMES_CURRENT_S");
static_assert(offsetof(KSPROPERTY_DROPPEDFRAMES_CURRENT_S, PictureNumber) == 24,
              "DROPPEDFRAMES.PictureNumber");
static_assert(offsetof(KSPROPERTY_DROPPEDFRAMES_CURRENT_S, DropCount) == 32,
              "DROPPEDFRAMES.DropCount");
static_assert(offsetof(KSPROPERTY_DROPPEDFRAMES_CURRENT_S, AverageFrameSize) == 40,
              "DROPPEDFRAMES.AverageFrameSize");
static_assert(KSPROPERTY_DROPPEDFRAMES_CURRENT == 0, "KSPROPERTY_DROPPEDFRAMES_CURRENT");

// Property descriptions, which the class driver builds from an item's values
// in reply to basic-support and default-values requests.
static_assert(sizeof(KSPROPERTY_DESCRIPTION) == 40, "KSPROPERTY_DESCRIPTION");
static_assert(offsetof(KSPROPERTY_DESCRIPTION, PropTypeSet) == 8, "Description.PropTypeSet");
static_assert(offsetof(KSPROPERTY_DESCRIPTION, MembersListCount) == 32,
              "Description.MembersListCount");
static_assert(sizeof(KSPROPERTY_MEMBERSHEADER) == 16, "KSPROPERTY_MEMBERSHEADER");
static_assert(offsetof(KSPROPERTY_MEMBERSHEADER, Flags) == 12, "MembersHeader.Flags");
static_assert(sizeof(KSPROPERTY_STEPPING_LONG) == 16, "KSPROPERTY_STEPPING_LONG");
static_assert(offsetof(KSPROPERTY_STEPPING_LONG, Bounds) == 8, "Stepping.Bounds");
static_assert(sizeof(KSPROPERTY_MEMBERSLIST) == 24, "KSPROPERTY_MEMBERSLIST");
static_assert(offsetof(KSPROPERTY_MEMBERSLIST, Members) == 16, "MembersList.Members");
static_assert(sizeof(KSPROPERTY_VALUES) == 40, "KSPROPERTY_VALUES");
static_assert(offsetof(KSPROPERTY_VALUES, MembersListCount) == 24, "Values.MembersListCount");
static_assert(offsetof(KSPROPERTY_VALUES, MembersList) == 32, "Values.MembersList");
static_assert(offsetof(KSPROPERTY_ITEM, Values) == 32, "KSPROPERTY_ITEM.Values");

// The standard camera property sets' records.
static_assert(sizeof(KSPROPERTY_VIDEOPROCAMP_S) == 40, "KSPROPERTY_VIDEOPROCAMP_S");
static_assert(offsetof(KSPROPERTY_VIDEOPROCAMP_S, Value) == 24, "VideoProcAmp.Value");
static_assert(offsetof(KSPROPERTY_VIDEOPROCAMP_S, Flags) == 28, "VideoProcAmp.Flags");
static_assert(offsetof(KSPROPERTY_VIDEOPROCAMP_S, Capabilities) == 32, "VideoProcAmp.Capabilities");
static_assert(sizeof(KSPROPERTY_CAMERACONTROL_S) == 40, "KSPROPERTY_CAMERACONTROL_S");
static_assert(offsetof(KSPROPERTY_CAMERACONTROL_S, Value) == 24, "CameraControl.Value");
static_assert(offsetof(KSPROPERTY_CAMERACONTROL_S, Capabilities) == 32,
              "CameraControl.Capabilities");
static_assert(sizeof(KSPROPERTY_VIDEOCONTROL_CAPS_S) == 32, "KSPROPERTY_VIDEOCONTROL_CAPS_S");
static_assert(offsetof(KSPROPERTY_VIDEOCONTROL_CAPS_S, VideoControlCaps) == 28,
              "VideoControl.VideoControlCaps");
static_assert(sizeof(KSPROPERTY_VIDEOCONTROL_MODE_S) == 32, "KSPROPERTY_VIDEOCONTROL_MODE_S");
static_assert(offsetof(KSPROPERTY_VIDEOCONTROL_MODE_S, StreamIndex) == 24,
              "VideoControl.StreamIndex");
static_assert(offsetof(KSPROPERTY_VIDEOCONTROL_MODE_S, Mode) == 28, "VideoControl.Mode");
