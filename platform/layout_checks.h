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
static_assert(sizeof(KSPIN_LOCK) == 8, "KSPIN_LOCK");
static_assert(sizeof(KEY_VALUE_PARTIAL_INFORMATION) == 16, "KEY_VALUE_PARTIAL_INFORMATION");
static_assert(offsetof(KEY_VALUE_PARTIAL_INFORMATION, Type) == 4, "partial information Type");
static_assert(offsetof(KEY_VALUE_PARTIAL_INFORMATION, DataLength) == 8,
              "partial information DataLength");
static_assert(offsetof(KEY_VALUE_PARTIAL_INFORMATION, Data) == 12, "partial information Data");

// Kernel streaming records.
static_assert(sizeof(KSDEVICE_DISPATCH) == 14 * sizeof(void*), "KSDEVICE_DISPATCH");
static_assert(sizeof(KSDEVICE_DESCRIPTOR) == 32, "KSDEVICE_DESCRIPTOR");
static_assert(offsetof(KSDEVICE_DESCRIPTOR, Version) == 24, "KSDEVICE_DESCRIPTOR.Version");
static_assert(offsetof(KSDEVICE, Bag) == 8, "KSDEVICE.Bag");
static_assert(offsetof(KSDEVICE, Context) == 16, "KSDEVICE.Context");
static_assert(offsetof(KSDEVICE, PhysicalDeviceObject) == 32, "KSDEVICE.PhysicalDeviceObject");
static_assert(offsetof(KSDEVICE, Started) == 48, "KSDEVICE.Started");
static_assert(sizeof(KSDATAFORMAT) == 64, "KSDATAFORMAT");
static_assert(offsetof(KSDATAFORMAT, SampleSize) == 8, "KSDATAFORMAT.SampleSize");
static_assert(offsetof(KSDATAFORMAT, MajorFormat) == 16, "KSDATAFORMAT.MajorFormat");
static_assert(offsetof(KSDATAFORMAT, SubFormat) == 32, "KSDATAFORMAT.SubFormat");
static_assert(offsetof(KSDATAFORMAT, Specifier) == 48, "KSDATAFORMAT.Specifier");

// Video format records.
static_assert(sizeof(KS_BITMAPINFOHEADER) == 40, "KS_BITMAPINFOHEADER");
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
