// Format negotiation: intersection and set-data-format. Ranges and formats
// come from clients; the class driver guarantees only that FormatSize bytes
// are readable, so every field beyond the KSDATAFORMAT part is read after
// FormatSize says it is there, and sizes are computed in 64 bits.
#include "driver/format_negotiation.h"

#include <cstddef>

#include "capture/capture_pin.h"
#include "capture/output_format.h"
#include "platform/atomics.h"

namespace {

constexpr GUID VideoInfoSpecifier = {STATIC_KSDATAFORMAT_SPECIFIER_VIDEOINFO};
constexpr ULONGLONG Max32 = 0xFFFFFFFF;
constexpr ULONG BitmapHeaderBytes = sizeof(KS_BITMAPINFOHEADER);
// The video-info header without its bitmap header.
constexpr ULONG VideoInfoFixedBytes = offsetof(KS_VIDEOINFOHEADER, bmiHeader);
constexpr ULONG RangeHeaderOffset = offsetof(KS_DATARANGE_VIDEO, VideoInfoHeader);
constexpr ULONG FormatHeaderOffset = offsetof(KS_DATAFORMAT_VIDEOINFOHEADER, VideoInfoHeader);

bool SameGuid(const GUID& a, const GUID& b) {
    return __builtin_memcmp(&a, &b, sizeof(GUID)) == 0;
}

bool SameBytes(const void* a, const void* b, SIZE_T size) {
    return __builtin_memcmp(a, b, size) == 0;
}

bool IsVideoRange(const KSDATARANGE* range) {
    return SameGuid(range->Specifier, VideoInfoSpecifier) &&
           range->FormatSize >= sizeof(KS_DATARANGE_VIDEO);
}

// Rows padded to four bytes; height made positive. False when the image does
// not fit in 32 bits.
bool ImageSize(const KS_BITMAPINFOHEADER& bitmap, ULONG* imageSize) {
    const ULONGLONG width = static_cast<ULONG>(bitmap.biWidth);
    const ULONGLONG rowBytes = (width * bitmap.biBitCount + 31) / 32 * 4;
    const LONGLONG height = bitmap.biHeight;
    const ULONGLONG size = rowBytes * static_cast<ULONGLONG>(height < 0 ? -height : height);
    *imageSize = static_cast<ULONG>(size);
    return size <= Max32;
}

// Media types, flags and capabilities must be the pin's own.
bool RangeMatches(const KS_DATARANGE_VIDEO* range, const KS_DATARANGE_VIDEO* pin) {
    return range->bFixedSizeSamples == pin->bFixedSizeSamples &&
           range->bTemporalCompression == pin->bTemporalCompression &&
           range->StreamDescriptionFlags == pin->StreamDescriptionFlags &&
           range->MemoryAllocationFlags == pin->MemoryAllocationFlags &&
           SameBytes(&range->ConfigCaps, &pin->ConfigCaps, sizeof(range->ConfigCaps));
}

// The proposal: the pin's KSDATAFORMAT part, then the caller's video-info
// header as given, with the image size filled in.
void WriteProposal(const KS_DATARANGE_VIDEO* range, const KSDATARANGE* pinRange, ULONG headerSize,
                   ULONG imageSize, void* buffer) {
    auto* format = static_cast<KS_DATAFORMAT_VIDEOINFOHEADER*>(buffer);
    __builtin_memcpy(&format->DataFormat, pinRange, sizeof(KSDATAFORMAT));
    format->DataFormat.FormatSize = sizeof(KSDATAFORMAT) + headerSize;
    __builtin_memcpy(&format->VideoInfoHeader, &range->VideoInfoHeader, headerSize);
    format->DataFormat.SampleSize = imageSize;
    format->VideoInfoHeader.bmiHeader.biSizeImage = imageSize;
}

// Width at least the range's, the same number of rows, the same compression.
NTSTATUS CheckGeometry(const KS_BITMAPINFOHEADER& format, const KS_BITMAPINFOHEADER& range) {
    if (format.biHeight == LONG(0x80000000)) {
        return STATUS_INVALID_PARAMETER;
    }
    const LONG height = format.biHeight < 0 ? -format.biHeight : format.biHeight;
    const LONG rangeHeight = range.biHeight < 0 ? -range.biHeight : range.biHeight;
    if (format.biWidth < range.biWidth || height != rangeHeight ||
        format.biCompression != range.biCompression) {
        return STATUS_NO_MATCH;
    }
    return STATUS_SUCCESS;
}

// The image must hold width x height pixels of the range's bit count (four
// bytes for RGB32, two for YUY2, one and a half for NV12, whose height the
// range makes even), all in 32 bits.
NTSTATUS CheckImageSize(const KS_BITMAPINFOHEADER& format, WORD bitCount) {
    const ULONGLONG rowBits = ULONGLONG{static_cast<ULONG>(format.biWidth)} * bitCount;
    const LONGLONG height = format.biHeight;
    const ULONGLONG rows = static_cast<ULONGLONG>(height < 0 ? -height : height);
    if (rowBits / 8 > Max32) {
        return STATUS_INVALID_PARAMETER;
    }
    // Whole bytes and the bits left of each row apart, so nothing wraps.
    const ULONGLONG imageBytes = rowBits / 8 * rows + rowBits % 8 * rows / 8;
    if (imageBytes > Max32 || format.biSizeImage < imageBytes) {
        return STATUS_INVALID_PARAMETER;
    }
    return STATUS_SUCCESS;
}

// A format change on an existing pin, in the stop state only.
NTSTATUS StoreFormat(KSPIN* pin, const KS_DATAFORMAT_VIDEOINFOHEADER* format) {
    auto* capturePin = static_cast<CapturePin*>(pin->Context);
    if (capturePin == nullptr) {
        return STATUS_INVALID_DEVICE_STATE;
    }
    if (pin->DeviceState != KSSTATE_STOP) {
        return STATUS_INVALID_DEVICE_STATE;
    }
    KeepConnectionFormat(capturePin, &format->DataFormat);
    return STATUS_SUCCESS;
}

}  // namespace

ULONG VideoInfoHeaderSize(ULONG biSize) {
    const ULONGLONG size = ULONGLONG{biSize} + VideoInfoFixedBytes;
    if (biSize < BitmapHeaderBytes || size > Max32) {
        return 0;
    }
    return static_cast<ULONG>(size);
}

NTSTATUS NTAPI IntersectCaptureFormat(PVOID, PIRP, PKSP_PIN, PKSDATARANGE range,
                                      PKSDATARANGE pinRange, ULONG bufferSize, PVOID buffer,
                                      PULONG formatSize) {
    if (!IsVideoRange(range) || !IsVideoRange(pinRange)) {
        return STATUS_NO_MATCH;
    }
    const auto* videoRange = reinterpret_cast<const KS_DATARANGE_VIDEO*>(range);
    if (!RangeMatches(videoRange, reinterpret_cast<const KS_DATARANGE_VIDEO*>(pinRange))) {
        return STATUS_NO_MATCH;
    }
    const KS_BITMAPINFOHEADER& bitmap = videoRange->VideoInfoHeader.bmiHeader;
    const ULONG headerSize = VideoInfoHeaderSize(bitmap.biSize);
    ULONG imageSize = 0;
    if (headerSize == 0 || ULONGLONG{RangeHeaderOffset} + headerSize > range->FormatSize ||
        !ImageSize(bitmap, &imageSize)) {
        return STATUS_INVALID_PARAMETER;
    }
    const ULONG proposalSize = sizeof(KSDATAFORMAT) + headerSize;
    if (bufferSize == 0) {
        *formatSize = proposalSize;
        return STATUS_BUFFER_OVERFLOW;
    }
    if (bufferSize < proposalSize) {
        return STATUS_BUFFER_TOO_SMALL;
    }
    *formatSize = proposalSize;
    WriteProposal(videoRange, pinRange, headerSize, imageSize, buffer);
    return STATUS_SUCCESS;
}

NTSTATUS CheckCaptureFormat(const KSDATAFORMAT* format, const KSDATARANGE* pinRange) {
    if (!SameGuid(format->Specifier, VideoInfoSpecifier) ||
        format->FormatSize < sizeof(KS_DATAFORMAT_VIDEOINFOHEADER) || !IsVideoRange(pinRange)) {
        return STATUS_NO_MATCH;
    }
    const auto* video = reinterpret_cast<const KS_DATAFORMAT_VIDEOINFOHEADER*>(format);
    const KS_BITMAPINFOHEADER& bitmap = video->VideoInfoHeader.bmiHeader;
    const ULONG headerSize = VideoInfoHeaderSize(bitmap.biSize);
    if (headerSize == 0 || ULONGLONG{FormatHeaderOffset} + headerSize > format->FormatSize) {
        return STATUS_INVALID_PARAMETER;
    }
    const auto* range = reinterpret_cast<const KS_DATARANGE_VIDEO*>(pinRange);
    NTSTATUS status = CheckGeometry(bitmap, range->VideoInfoHeader.bmiHeader);
    if (!NT_SUCCESS(status)) {
        return status;
    }
    return CheckImageSize(bitmap, range->VideoInfoHeader.bmiHeader.biBitCount);
}

// The format was checked: its header lies inside it and its bitmap header
// has at least 40 bytes. A larger bitmap header is cut to the pin's.
void KeepConnectionFormat(CapturePin* pin, const KSDATAFORMAT* format) {
    const auto* video = reinterpret_cast<const KS_DATAFORMAT_VIDEOINFOHEADER*>(format);
    const ULONG headerSize = VideoInfoHeaderSize(video->VideoInfoHeader.bmiHeader.biSize);
    const ULONG copied =
        headerSize < sizeof(KS_VIDEOINFOHEADER) ? headerSize : sizeof(KS_VIDEOINFOHEADER);
    __builtin_memcpy(&pin->videoInfo, &video->VideoInfoHeader, copied);
    const KS_BITMAPINFOHEADER& bitmap = pin->videoInfo.bmiHeader;
    RelaxedWrite(&pin->destStride, RowStride(OutputFormatOf(bitmap), bitmap.biWidth));
}

// At pin creation (no old format) the pin has no CapturePin yet: the check
// alone decides, and pin create copies the header.
NTSTATUS NTAPI PinSetDataFormat(PKSPIN pin, PKSDATAFORMAT oldFormat, PKSMULTIPLE_ITEM,
                                const KSDATARANGE* pinRange, const KSATTRIBUTE_LIST*) {
    const KSDATAFORMAT* format = pin->ConnectionFormat;
    if (format == nullptr || pinRange == nullptr) {
        return STATUS_NO_MATCH;
    }
    NTSTATUS status = CheckCaptureFormat(format, pinRange);
    if (!NT_SUCCESS(status) || oldFormat == nullptr) {
        return status;
    }
    return StoreFormat(pin, reinterpret_cast<const KS_DATAFORMAT_VIDEOINFOHEADER*>(format));
}
