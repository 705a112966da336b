// The pin's processing and frame delivery: the engine's processing step, then
// the ConvertedFrame copied last row first into the client's buffer, stamped
// with the graph's time and the frame duration.
#include "capture/capture_engine.h"
#include "capture/capture_pin.h"
#include "platform/atomics.h"
#include "platform/streaming.h"

namespace {

constexpr ULONG TimeAndDurationValid =
    KSSTREAM_HEADER_OPTIONSF_TIMEVALID | KSSTREAM_HEADER_OPTIONSF_DURATIONVALID;

// The copy of one image: rows of rowBytes, sourcePitch apart in the
// ConvertedFrame and step apart in the client's buffer.
struct RowCopy {
    ULONG rowBytes;
    ULONG rows;
    ULONG sourcePitch;
    ULONGLONG step;
};

RowCopy PlanCopy(const CapturePin* pin) {
    RowCopy copy;
    const LONG outputWidth = pin->outputWidth;
    const LONG outputHeight = pin->outputHeight;
    const LONG windowWidth = pin->windowWidth;
    copy.rowBytes = outputWidth > 0 ? static_cast<ULONG>(outputWidth) * 4 : 0;
    copy.rows = outputHeight > 0 ? static_cast<ULONG>(outputHeight) : 0;
    copy.sourcePitch = windowWidth > 0 ? static_cast<ULONG>(windowWidth) * 4 : 0;
    const ULONG stride = RelaxedRead(&pin->destStride);
    copy.step = stride > copy.rowBytes ? stride : copy.rowBytes;
    return copy;
}

// Whole rows only: a buffer shorter than the image receives the rows that
// fit in it.
ULONG RowsThatFit(const RowCopy& copy, ULONGLONG extent) {
    if (copy.rowBytes == 0 || extent < copy.rowBytes) {
        return 0;
    }
    const ULONGLONG fit = (extent - copy.rowBytes) / copy.step + 1;
    return fit < copy.rows ? static_cast<ULONG>(fit) : copy.rows;
}

// The converted rows are top-down; the buffer is a bottom-up image, so its
// first row is the last converted row.
void CopyBottomUp(const RowCopy& copy, ULONG rows, const UCHAR* converted, UCHAR* destination) {
    if (rows == 0) {
        return;
    }
    const UCHAR* source = converted + SIZE_T{copy.sourcePitch} * (copy.rows - 1);
    for (ULONG row = 0; row < rows; ++row) {
        __builtin_memcpy(destination, source, copy.rowBytes);
        source -= copy.sourcePitch;
        destination += copy.step;
    }
}

// The format's image size when every row fit, else the bytes up to the end
// of the last row written; never more than the buffer holds.
ULONG BytesUsed(const RowCopy& copy, ULONG rowsCopied, ULONG imageSize, ULONG extent) {
    if (rowsCopied == copy.rows) {
        return imageSize < extent ? imageSize : extent;
    }
    if (rowsCopied == 0) {
        return 0;
    }
    return static_cast<ULONG>((rowsCopied - 1) * copy.step + copy.rowBytes);
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

// The locked buffer's data and length are the class driver's mapping of the
// client's buffer, as the stream pointer gives them.
void Deliver(CapturePin* pin, const CaptureEngine* engine, KSSTREAM_POINTER* leading) {
    const RowCopy copy = PlanCopy(pin);
    const ULONG extent = leading->OffsetOut.Remaining;
    const ULONG rows = RowsThatFit(copy, extent);
    CopyBottomUp(copy, rows, engine->convertedFrame, leading->OffsetOut.Data);
    const ULONG used = BytesUsed(copy, rows, pin->videoInfo.bmiHeader.biSizeImage, extent);
    StampHeader(pin, leading->StreamHeader, used);
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
