// What gets and sets of the control items do to the CameraDevice and its
// attached ImagePipeline. Requests run on the requesting thread alongside the
// capture thread and the pin's processing: fields the capture side shares are
// touched only through platform/atomics.h, the pipeline only under
// PipelineLock, and sensor changes reach the sensor through PendingChanges.
#include "settings/control_items.h"

#include "camera/sensor.h"
#include "platform/atomics.h"

namespace {

LONG ReadField(CameraDevice* camera, const ControlField& field) {
    ULONG* word = field.word(camera);
    return static_cast<LONG>(field.interlocked ? AtomicRead(word) : RelaxedRead(word));
}

void WriteField(CameraDevice* camera, const ControlField& field, LONG value) {
    ULONG* word = field.word(camera);
    if (field.interlocked) {
        AtomicExchange(word, static_cast<ULONG>(value));
    } else {
        RelaxedWrite(word, static_cast<ULONG>(value));
    }
}

// While automatic white balance runs, the pipeline's gains are its estimate:
// a get reports them and keeps them as the device's settings.
LONG ReadPipelineBacked(CameraDevice* camera, const ControlItem& item) {
    AcquirePassiveLock(&camera->PipelineLock);
    LONG value;
    if (camera->ImagePipeline != nullptr) {
        value = AtomicRead(item.pipeline.setting(camera->ImagePipeline));
        WriteField(camera, item.field, value);
    } else {
        value = ReadField(camera, item.field);
    }
    ReleasePassiveLock(&camera->PipelineLock);
    return value;
}

// A read never undoes a write: while a flip change waits for the capture
// thread, FlipV is what was asked for. With nothing pending FlipV takes the
// flip last written to the sensor, but only while no pipeline is attached:
// with one, a capture thread may have taken the pending word and not yet read
// FlipV, so the sensor's state is reported and FlipV left alone. PipelineLock
// also orders this against a set of FlipV on another filter.
LONG ReadFlipV(CameraDevice* camera) {
    AcquirePassiveLock(&camera->PipelineLock);
    LONG value;
    if ((AtomicRead(&camera->PendingChanges) & PendingFlip) != 0) {
        value = static_cast<LONG>(RelaxedRead(&camera->FlipV));
    } else {
        value = (RelaxedRead(&camera->ReadModeShadow) & ReadModeFlip) != 0 ? 1 : 0;
        if (camera->ImagePipeline == nullptr) {
            RelaxedWrite(&camera->FlipV, static_cast<ULONG>(value));
        }
    }
    ReleasePassiveLock(&camera->PipelineLock);
    return value;
}

void WriteFlipV(CameraDevice* camera, LONG value) {
    AcquirePassiveLock(&camera->PipelineLock);
    RelaxedWrite(&camera->FlipV, value != 0 ? 1u : 0u);
    AtomicOr(&camera->PendingChanges, PendingFlip);
    ReleasePassiveLock(&camera->PipelineLock);
}

LONG ClampSigned(LONG value, LONG low, LONG high) {
    return value < low ? low : value > high ? high : value;
}

// A negative value counts as very large.
LONG ClampUnsigned(LONG value, LONG low, LONG high) {
    ULONG word = static_cast<ULONG>(value);
    ULONG lowWord = static_cast<ULONG>(low);
    ULONG highWord = static_cast<ULONG>(high);
    return static_cast<LONG>(word < lowWord ? lowWord : word > highWord ? highWord : word);
}

// The value to store for a clamped or plain setting; false when the item
// keeps its value.
bool ValueToStore(const ControlItem& item, LONG requested, LONG* value) {
    switch (item.set) {
        case ControlSet::TakenAbove:
            *value = requested;
            return static_cast<ULONG>(requested) > static_cast<ULONG>(item.low);
        case ControlSet::Unsigned:
        case ControlSet::GlobalGain:
            *value = ClampUnsigned(requested, item.low, item.high);
            return true;
        case ControlSet::Signed:
            *value = ClampSigned(requested, item.low, item.high);
            return true;
        case ControlSet::Unclamped:
            *value = requested;
            return true;
        default:
            return false;
    }
}

void StoreChannelGains(CameraDevice* camera, LONG value) {
    AtomicExchange(&camera->Red, value);
    AtomicExchange(&camera->Green1, value);
    AtomicExchange(&camera->Green2, value);
    AtomicExchange(&camera->Blue, value);
}

void CallPipelineSetter(CameraDevice* camera, const ControlItem& item, LONG value) {
    AcquirePassiveLock(&camera->PipelineLock);
    if (camera->ImagePipeline != nullptr) {
        item.pipeline.setter(camera->ImagePipeline, value);
    }
    ReleasePassiveLock(&camera->PipelineLock);
}

// Stores the setting; sensor items leave their register group pending for the
// capture thread, pipeline items go to the attached pipeline at once.
void StoreSetting(CameraDevice* camera, const ControlItem& item, LONG requested) {
    LONG value;
    if (!ValueToStore(item, requested, &value)) {
        return;
    }
    WriteField(camera, item.field, value);
    if (item.set == ControlSet::GlobalGain) {
        StoreChannelGains(camera, value);
    }
    if (item.field.pending != 0) {
        AtomicOr(&camera->PendingChanges, item.field.pending);
    }
    if (item.pipeline.setter != nullptr) {
        CallPipelineSetter(camera, item, value);
    }
}

}  // namespace

LONG ReadControl(CameraDevice* camera, const ControlItem& item) {
    switch (item.get) {
        case ControlGet::Constant:
            return item.constant;
        case ControlGet::Field:
            return ReadField(camera, item.field);
        case ControlGet::Pipeline:
            return ReadPipelineBacked(camera, item);
        case ControlGet::FlipV:
            return ReadFlipV(camera);
        case ControlGet::Cleared:
            WriteField(camera, item.field, 0);
            return 0;
        case ControlGet::NotOffered:
            break;
    }
    return 0;
}

void WriteControl(CameraDevice* camera, const ControlItem& item, LONG value) {
    switch (item.set) {
        case ControlSet::NotOffered:
        case ControlSet::Ignored:
        case ControlSet::ReadoutWindow:
            return;
        case ControlSet::FlipV:
            WriteFlipV(camera, value);
            return;
        case ControlSet::WhiteBalance:
            SetWhiteBalance(camera, value);
            return;
        case ControlSet::ResetReadMode:
            RelaxedWrite(&camera->ReadModeShadow, ReadModeFull);
            return;
        default:
            StoreSetting(camera, item, value);
            return;
    }
}

bool WriteReadoutWindow(CameraDevice* camera, const WindowRequest& request) {
    return SetReadoutWindow(camera, request.X, request.Y, request.Width, request.Height,
                            request.Mode);
}
