// The pin's processing and frame delivery: the engine's processing step, then
// the ConvertedFrame copied last row first into the client's buffer (RGB32)
// or converted into it top-down (YUY2, NV12), stamped with the graph's time,
// the frame duration and the frame's place among the pictures of the stream.
#include "capture/capture_engine.h"
#include "capture/capture_pin.h"
#include "capture/output_format.h"
#include "capture/row_copy.h"
#include "pipeline/image_pipeline.h"
#include "pipeline/yuv_kernels.h"
#include "platform/atomics.h"
#include "platform/streaming.h"

namespace {

constexpr ULONG TimeAndDurationValid =
    KSSTREAM_HEADER_OPTIONSF_TIMEVALID | KSSTREAM_HEADER_OPTIONSF_DURATIONVALID;

// The rows the buffer receives: the image's for RGB32 and YUY2; for NV12
// those of the Y plane, then the U V plane's, half as many, at the same step.
RowCopy PlanCopy(const CapturePin* pin, OutputFormat format) {
    RowCopy copy;
    const LONG outputWidth = pin->outputWidth;
    const LONG outputHeight = pin->outputHeight;
    const LONG windowWidth = pin->windowWidth;
    const ULONG rows =
        outputHeight > 0 ? DeliveredRows(format, static_cast<ULONG>(outputHeight)) : 0;
    copy.rowBytes = outputWidth > 0 ? RowStride(format, outputWidth) : 0;
    copy.rows = format == OutputNv12 ? rows + rows / 2 : rows;
    copy.sourcePitch = windowWidth > 0 ? static_cast<ULONG>(windowWidth) * 4 : 0;
    const ULONG stride = RelaxedRead(&pin->destStride);
    copy.step = stride > copy.rowBytes ? stride : copy.rowBytes;
    return copy;
}

void StampHeader(CapturePin* pin, KSSTREAM_HEADER* header, ULONG dataUsed) {
    header->DataUsed = dataUsed;
    header->PresentationTime.Numerator = 1;
    header->PresentationTime.Denominator = 1;
    header->Duration = pin->videoInfo.AvgTimePerFrame;
    if (pin->referenceClock != nullptr) {
        header->PresentationTime.Time = ClockTime(pin->referenceClock);
        header->OptionsFlags = TimeAndDurationValid;
    } else {
        header->PresentationTime.Time = 0;
    }
}

// The class driver gives each header the size the pin declared; one without
// room for the frame information keeps its bytes. No standard flag marks a
// whole frame shown again; the field-repeat flag, which a renderer of
// progressive frames has no field to act on, marks a repeated image.
void StampFrameInfo(KSSTREAM_HEADER* header, const DeliveredFrame& frame) {
    if (header->Size < CaptureStreamHeaderSize) {
        return;
    }
    auto* info = reinterpret_cast<KS_FRAME_INFO*>(header + 1);
    info->ExtendedHeaderSize = sizeof(KS_FRAME_INFO);
    info->dwFrameFlags =
        static_cast<DWORD>(KS_VIDEO_FLAG_FRAME | (frame.repeated ? KS_VIDEO_FLAG_REPEAT_FIELD : 0));
    info->PictureNumber = frame.pictureNumber;
    info->DropCount = frame.dropCount;
}

// A YUV image goes whole or not at all: a buffer too short for it, which
// would hold no whole plane of NV12, receives nothing. Returns the rows
// written.
ULONG ConvertWholeImage(const CaptureEngine* engine, OutputFormat format, const RowCopy& copy,
                        ULONG extent, UCHAR* data) {
    if (RowsThatFit(copy, extent) < copy.rows) {
        return 0;
    }
    // The image's size as the plan has it, so a window the pin cannot
    // deliver (no rows or no columns) converts nothing.
    YuvImage image;
    image.source = engine->convertedFrame;
    image.sourcePitch = copy.sourcePitch;
    image.width = copy.rowBytes / OutputFormats[format].rowBytesPerPixel;
    image.height = format == OutputNv12 ? copy.rows / 3 * 2 : copy.rows;
    image.target = data;
    image.targetPitch = static_cast<ULONG>(copy.step);
    ConvertToYuv(engine->pipeline->simdLevel,
                 format == OutputNv12 ? YuvLayout::Nv12 : YuvLayout::Yuy2, &image);
    return copy.rows;
}

// The locked buffer's data and length are the class driver's mapping of the
// client's buffer, as the stream pointer gives them. A buffer too short for
// one row carries no image and is no picture.
void Deliver(CapturePin* pin, const CaptureEngine* engine, KSSTREAM_POINTER* leading) {
    const OutputFormat format = OutputFormatOf(pin->videoInfo.bmiHeader);
    const RowCopy copy = PlanCopy(pin, format);
    const ULONG extent = leading->OffsetOut.Remaining;
    UCHAR* data = leading->OffsetOut.Data;
    ULONG rows = 0;
    if (format == OutputRgb32) {
        rows = RowsThatFit(copy, extent);
        CopyBottomUp(copy, rows, engine->convertedFrame, data);
    } else {
        rows = ConvertWholeImage(engine, format, copy, extent, data);
    }
    const ULONG used = BytesUsed(copy, rows, pin->videoInfo.bmiHeader.biSizeImage, extent);
    StampHeader(pin, leading->StreamHeader, used);
    if (used != 0) {
        StampFrameInfo(leading->StreamHeader,
                       CountDelivery(&pin->counts, engine->convertedSequence, used));
    }
}

// Every queued buffer comes back empty with the stream's end status; a
// buffer that arrives later starts processing again and meets the same end.
void FailQueuedBuffers(CapturePin* pin, NTSTATUS status) {
    for (KSSTREAM_POINTER* leading = LockLeadingEdge(pin->pin); leading != nullptr;
         leading = LockLeadingEdge(pin->pin)) {
        leading->StreamHeader->DataUsed = 0;
        FailStreamPointer(leading, status);
    }
}

}  // namespace

void CapturePin::RequestProcessing() {
    AttemptPinProcessing(pin);
}

NTSTATUS ProcessCapturePin(CapturePin* pin) {
    CaptureEngine* engine = pin->device->CaptureEngine;
    if (engine != nullptr) {
        const NTSTATUS end = AtomicRead(&engine->endStatus);
        if (end != 0) {
            FailQueuedBuffers(pin, end);
            return STATUS_PENDING;
        }
    }
    // Before the first raw frame of a stream there is nothing to deliver:
    // buffers stay queued.
    if (engine == nullptr || AtomicRead(&engine->framesCaptured) <= 0) {
        return STATUS_PENDING;
    }
    KSSTREAM_POINTER* leading = LockLeadingEdge(pin->pin);
    // The step runs with or without a buffer, so the raw slot is freed.
    const bool deliverable = ProcessFilledSlot(engine);
    if (leading != nullptr) {
        if (deliverable) {
            Deliver(pin, engine, leading);
            CompleteStreamPointer(leading);
        } else {
            UnlockStreamPointer(leading);
        }
    }
    EndProcessing(engine);
    return STATUS_PENDING;
}

void TakeReferenceClock(CapturePin* pin) {
    pin->referenceClock = GetPinClock(pin->pin);
}

void DropReferenceClock(CapturePin* pin) {
    if (pin->referenceClock != nullptr) {
        ReleaseClock(pin->referenceClock);
        pin->referenceClock = nullptr;
    }
}
