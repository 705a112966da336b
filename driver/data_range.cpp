// The advertised data ranges and their updates.
#include "driver/data_range.h"

#include "camera/camera_device.h"

namespace {

constexpr REFERENCE_TIME FrameInterval30 = 333333;  // 30 frames per second, in 100 ns

constexpr ULONGLONG FramesPerSecond = 30;

constexpr LONG LargestLong = 0x7FFFFFFF;
constexpr ULONG LargestDword = 0xFFFFFFFF;

// The stream's bits per second, computed in 64 bits and saturated at `limit`:
// a full-sensor RGB32 stream (some 13.8 Gbit/s) fits neither record field.
ULONGLONG BitsPerSecond(ULONG pixels, WORD bitCount, ULONGLONG limit) {
    const ULONGLONG bits = ULONGLONG{pixels} * bitCount * FramesPerSecond;
    return bits < limit ? bits : limit;
}

void UpdateOneRange(KS_DATARANGE_VIDEO* range, WORD bitCount, ULONG width, ULONG height) {
    const ULONG pixels = width * height;
    const ULONG imageSize = static_cast<ULONG>(ULONGLONG{pixels} * bitCount / 8);
    const LONG bitsPerSecond = static_cast<LONG>(BitsPerSecond(pixels, bitCount, LargestLong));
    const LONG signedWidth = static_cast<LONG>(width);
    const LONG signedHeight = static_cast<LONG>(height);
    KS_VIDEO_STREAM_CONFIG_CAPS& caps = range->ConfigCaps;
    KS_VIDEOINFOHEADER& info = range->VideoInfoHeader;

    range->DataRange.SampleSize = imageSize;
    caps.InputSize = {signedWidth, signedHeight};
    caps.MinCroppingSize = caps.MaxCroppingSize = {signedWidth, signedHeight};
    caps.MinOutputSize = caps.MaxOutputSize = {signedWidth, signedHeight};
    caps.MinFrameInterval = caps.MaxFrameInterval = FrameInterval30;
    caps.MinBitsPerSecond = caps.MaxBitsPerSecond = bitsPerSecond;
    info.rcSource.right = signedWidth;
    info.rcSource.bottom = signedHeight;
    info.dwBitRate = static_cast<DWORD>(BitsPerSecond(pixels, bitCount, LargestDword));
    info.AvgTimePerFrame = FrameInterval30;
    info.bmiHeader.biWidth = signedWidth;
    info.bmiHeader.biHeight = signedHeight;
    info.bmiHeader.biSizeImage = imageSize;
}

}  // namespace

// Full-sensor values until the device sets its window; both bit rates are
// saturated, as UpdateDataRange computes them.
const KS_DATARANGE_VIDEO CaptureDataRangeTemplate = {
    // DataRange
    {{
        sizeof(KS_DATARANGE_VIDEO),  // FormatSize
        0,                           // Flags
        57658368,                    // SampleSize
        0,                           // Reserved
        // MajorFormat: video
        {0x73646976, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}},
        // SubFormat: RGB32
        {0xE436EB7E, 0x524F, 0x11CE, {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}},
        // Specifier: VideoInfo
        {0x05589F80, 0xC356, 0x11CE, {0xBF, 0x01, 0x00, 0xAA, 0x00, 0x55, 0x59, 0x5A}},
    }},
    1,  // bFixedSizeSamples
    0,  // bTemporalCompression: every frame stands alone
    0,  // StreamDescriptionFlags
    0,  // MemoryAllocationFlags
    // ConfigCaps
    {
        {0x05589F80, 0xC356, 0x11CE, {0xBF, 0x01, 0x00, 0xAA, 0x00, 0x55, 0x59, 0x5A}},  // guid
        0,             // VideoStandard
        {4384, 3288},  // InputSize
        {4384, 3288},  // MinCroppingSize
        {4384, 3288},  // MaxCroppingSize
        8,             // CropGranularityX
        1,             // CropGranularityY
        8,             // CropAlignX
        1,             // CropAlignY
        {4384, 3288},  // MinOutputSize
        {4384, 3288},  // MaxOutputSize
        8,             // OutputGranularityX
        1,             // OutputGranularityY
        0,             // StretchTapsX
        0,             // StretchTapsY
        0,             // ShrinkTapsX
        0,             // ShrinkTapsY
        333667,        // MinFrameInterval
        640000000,     // MaxFrameInterval
        2147483647,    // MinBitsPerSecond
        2147483647,    // MaxBitsPerSecond
    },
    // VideoInfoHeader
    {
        {0, 0, 4384, 3288},  // rcSource
        {0, 0, 0, 0},        // rcTarget
        4294967295,          // dwBitRate
        0,                   // dwBitErrorRate
        333667,              // AvgTimePerFrame
        // bmiHeader
        {
            40,        // biSize
            4384,      // biWidth
            3288,      // biHeight: positive, bottom-up rows
            1,         // biPlanes
            32,        // biBitCount
            0,         // biCompression: BI_RGB
            57658368,  // biSizeImage
            0,         // biXPelsPerMeter
            0,         // biYPelsPerMeter
            0,         // biClrUsed
            0,         // biClrImportant
        },
    },
};

void InitDataRanges(KS_DATARANGE_VIDEO ranges[OutputFormatCount]) {
    ranges[OutputRgb32] = CaptureDataRangeTemplate;
    for (ULONG format = OutputYuy2; format < OutputFormatCount; ++format) {
        const OutputFormatTraits& traits = OutputFormats[format];
        KS_DATARANGE_VIDEO& range = ranges[format];
        range = CaptureDataRangeTemplate;
        range.DataRange.SubFormat = traits.subFormat;
        range.VideoInfoHeader.bmiHeader.biBitCount = traits.bitCount;
        range.VideoInfoHeader.bmiHeader.biCompression = traits.compression;
        UpdateOneRange(&range, traits.bitCount, SensorWidth, SensorHeight);
    }
}

void UpdateDataRange(KS_DATARANGE_VIDEO* ranges, ULONG width, ULONG height) {
    for (ULONG format = 0; format < OutputFormatCount; ++format) {
        const auto outputFormat = static_cast<OutputFormat>(format);
        UpdateOneRange(&ranges[format], OutputFormats[format].bitCount, width,
                       DeliveredRows(outputFormat, height));
    }
}
