// The CapturePin: the capture pin's context, with the pin's own copy of its
// format, the graph's clock and the stride of the client's rows. Its
// processing lives in capture/pin_processing.cpp; its creation and state
// changes in driver/.
#pragma once

#include "camera/camera_device.h"
#include "capture/capture_pin_operations.h"
#include "capture/delivery_counts.h"
#include "platform/kernel.h"

// The pin's stream headers, declared at pin creation: a video stream
// header, whose KS_FRAME_INFO the pin's processing fills.
constexpr ULONG CaptureStreamHeaderSize = sizeof(KSSTREAM_HEADER) + sizeof(KS_FRAME_INFO);

enum PinStreamingState : LONG {
    PinNoStream = 0,       // no stream resources
    PinStreamPaused = 1,   // engine paused, buffers kept
    PinStreamRunning = 2,  // engine running
};

// Zero-filled from the pool (tag 'wNCK') and owned by the pin's object bag.
// The class driver serialises the pin's create, close, format and state
// changes under the filter's control mutex and runs the processing, only in
// the run state, under the pin's processing mutex, so the two may overlap.
// streamingState and acquired belong to the state changes alone;
// referenceClock is written by them under the processing mutex; videoInfo
// is written at creation and by a format change, accepted only in stop,
// when no stream delivers. destStride may be written by a refused format
// change while the pin runs, so it is accessed relaxed.
class CapturePin final : public CapturePinOperations {
public:
    // Queues the pin's processing; called by the capture thread.
    void RequestProcessing() override;

    KSPIN* pin;
    CameraDevice* device;
    LONG streamingState;                // a PinStreamingState
    IKsReferenceClock* referenceClock;  // held from acquire to stop; null when none
    KS_VIDEOINFOHEADER videoInfo;       // the connection format's header, 88 bytes at most
    bool acquired;                      // the pin holds the device's ImagePipeline
    ULONG destStride;                   // bytes per row in the client's buffer; 0 when not set
    // The device's window as the pin was created with it (the window stays
    // so while the pin exists): what the copy into client buffers plans
    // from, whatever later paths do to the device's fields.
    LONG outputWidth;
    LONG outputHeight;
    LONG windowWidth;
    // What the pin delivered and dropped since the stream started; reset by
    // the state change that starts a stream.
    DeliveryCounts counts;
};

// The pin's processing: converts a filled raw slot and delivers the
// ConvertedFrame, bottom-up, into the leading buffer. Always STATUS_PENDING:
// the next frame or the next buffer starts it again.
NTSTATUS ProcessCapturePin(CapturePin* pin);

// Stop to acquire: holds the graph's clock if the pin has one. With the
// pin's processing mutex held.
void TakeReferenceClock(CapturePin* pin);
// To stop: releases the clock if one is held. With the pin's processing
// mutex held.
void DropReferenceClock(CapturePin* pin);
