// The CaptureEngine: two raw frame slots filled by a capture thread, the
// ConvertedFrame, and the handshake with the pin's processing. The pin's
// state changes drive every operation here; the engine never changes state by
// itself. The slot section lives in raw_slots.h, the thread with its start
// and stop in capture_thread.cpp, the stream's start, pause, resume and
// teardown in stream.cpp, attach and detach in pipeline_attachment.cpp, the
// processing step in processing_step.cpp.
#pragma once

#include "camera/camera_device.h"
#include "platform/event.h"
#include "platform/lock.h"
#include "platform/passive_lock.h"
#include "platform/thread.h"

struct ImagePipeline;

enum StreamState : LONG {
    StreamIdle = 0,     // no buffers
    StreamPaused = 1,   // buffers kept, thread stopped
    StreamRunning = 2,  // thread running
};

enum SlotState : LONG {
    SlotFree = 0,
    SlotFilling = 1,
    SlotFilled = 2,
    SlotProcessing = 3,
};

constexpr int RawSlotCount = 2;

// Zero-filled from the pool (tag 'wNCK'). Three threads touch it: the pin's
// state changes (the class driver's request thread), the capture thread and
// the pin's processing. Each field says who writes it and how it is read.
struct CaptureEngine {
    // The device's pipeline and the three buffers: written by StartStream and
    // TearDownStream only while no thread and no processing step can use them
    // (stopping is set); read by the capture thread and the processing step,
    // which start using them only after StartCaptureThread clears stopping.
    ::ImagePipeline* pipeline;
    UCHAR* convertedFrame;  // WindowWidth x WindowHeight x 4 bytes, rows top-down
    // State changes write it; the capture thread reads it (relaxed).
    LONG streamState;
    // Set by the pin's processing at the end of every run; cleared and waited
    // for by StopCapture.
    Event processingDone;
    // State changes only.
    SystemThread captureThread;
    // 1 from the start of a processing step until the pin's processing ends
    // its run; atomic.
    LONG processingActive;
    // Inside the slot section only.
    LONG slotState[RawSlotCount];
    // What the slot now Filling held before, so that a poll that wrote
    // nothing into it gives it back as it was; inside the slot section only.
    LONG fillPreviousState;
    LONG fillPreviousSequence;
    // Set whenever the processing step gives a slot back, and by StopCapture;
    // the capture thread clears it before it chooses a slot and waits for it
    // when there is none it may fill.
    Event slotChanged;
    // Written with the buffers above; each is written by the capture thread
    // only while its slot is Filling and read by the processing step only
    // while its slot is Processing.
    UCHAR* slotBuffer[RawSlotCount];
    // The Bayer phase the sensor read each slot's frame with, which the
    // conversion uses: a flip change reaches the sensor only after the frame
    // read before it. Accessed like the slot's buffer.
    LONG slotPhase[RawSlotCount];
    // Non-zero while the capture thread is to go on; state changes write it,
    // the thread polls it once per frame (relaxed).
    ULONG running;
    // Raw frames read since the last stream start; the capture thread
    // increments it, anyone reads it (atomic).
    LONG framesCaptured;
    CameraDevice* device;

    // The framesCaptured count of the frame in each slot, so the newest
    // filled slot is known; inside the slot section only.
    LONG slotSequence[RawSlotCount];
    // The slotSequence of the frame now in the ConvertedFrame, 0 before the
    // first conversion of a stream: written by the processing step (and by
    // StartStream while stopping is set), read by the pin's processing.
    LONG convertedSequence;
    // Non-zero from StopCapture to the next StartCaptureThread (and before
    // the first): no processing step takes a slot or lets the pin copy.
    // Inside the slot section only.
    LONG stopping;
    // The slot section: the capture thread (choose, then mark) and the
    // processing step (take, then free) exclude each other. Holds no I/O and
    // no conversion.
    ShortLock slotLock;

    // Zero while the stream may deliver. Set once, by the capture thread or
    // a power-up, to the status with which the pin's processing then
    // completes every queued and later buffer: STATUS_DEVICE_NOT_CONNECTED
    // when the camera's disk has gone, STATUS_IO_TIMEOUT when no frame came
    // within the Timeout setting. Reset by StartStream (atomic).
    LONG endStatus;
    // Non-zero from a power-down to the power-up after it; under streamLock.
    ULONG poweredDown;
    // Serialises the stream's life: the pin's state changes (start, pause,
    // resume, teardown) and the device's power changes, which the class
    // driver does not order with each other. Never held by the capture
    // thread or the processing step.
    PassiveLock streamLock;
};

// Allocates and initialises the engine, then loads the device's stored
// settings. Null when the pool is exhausted. Device start stores it in the
// device's CaptureEngine field and puts it in the device's object bag with
// FreeEngine.
CaptureEngine* CreateEngine(CameraDevice* camera);
// The object bag's release routine: frees the record only; the stream must
// have been torn down before.
void NTAPI FreeEngine(void* engine);

// Stop to acquire: gives the pin the device's only ImagePipeline, built from
// the current settings. STATUS_SHARING_VIOLATION while another pin holds it,
// STATUS_INVALID_PARAMETER unless the format is one the pin delivers (32-bit
// uncompressed RGB, 16-bit YUY2 or 12-bit NV12: capture/output_format.h),
// STATUS_INSUFFICIENT_RESOURCES without pool memory; on failure nothing stays
// attached.
NTSTATUS AttachPipeline(CameraDevice* camera, CapturePinOperations* pin,
                        KS_VIDEOINFOHEADER* format);
// Acquire to stop, after any teardown: frees the pipeline and forgets the pin.
void DetachPipeline(CameraDevice* camera);

// First change to run: configures the sensor, allocates the raw slots, the
// ConvertedFrame (zero-filled) and the WorkingFrame, and starts the
// pipeline's conversion workers (as many as start) and the capture thread.
// STATUS_INVALID_DEVICE_STATE without an engine, an attached pipeline, an idle engine, a camera or
// a frame size; STATUS_INSUFFICIENT_RESOURCES when memory or the thread cannot be had. A failed
// start leaves the engine idle with nothing allocated.
NTSTATUS StartStream(CameraDevice* camera);
// Run to pause: stops the capture thread and keeps the buffers.
void PauseStream(CaptureEngine* engine);
// Pause to run: frees both slots and starts a new capture thread. When the
// thread cannot be created the engine stays paused, buffers kept, and the
// result is STATUS_INSUFFICIENT_RESOURCES. Nothing happens unless paused.
NTSTATUS ResumeStream(CaptureEngine* engine);
// Pause to acquire, or stop while streaming: stops capture, ends the
// conversion workers, frees the buffers, closes the link and saves the
// settings. Nothing happens unless a
// stream was started.
void TearDownStream(CameraDevice* camera);

// The device leaves D0: a running capture thread stops at a frame boundary
// and the link closes; the stream keeps its buffers and its state. While the
// device is powered down a stream cannot start, and a resume waits for the
// power-up.
void PowerDownStream(CameraDevice* camera);
// The device is back in D0. The camera lost its registers with its power, so
// a stream that was started is configured again as at its start (the whole
// configuration, then the staged settings over the next frames), and a
// running one goes on with a new capture thread. A camera that cannot be
// configured ends the stream with STATUS_DEVICE_NOT_CONNECTED.
void PowerUpStream(CameraDevice* camera);
// Ends the stream with `status` unless it has ended already, and asks the
// pin's processing to complete the queued buffers with it.
void EndStreamWithStatus(CaptureEngine* engine, NTSTATUS status);

// Frees both slots and starts the capture thread; false when the thread
// cannot be created, with running and stopping back as they were.
bool StartCaptureThread(CaptureEngine* engine);
// Stops the capture thread and waits for it; marks the engine stopping and
// waits for a processing step that is past the mark. When it returns, nothing
// touches the slots or the ConvertedFrame until the next StartCaptureThread.
void StopCapture(CaptureEngine* engine);

// The processing step, run by the pin's processing once per run: marks
// processing active and, while the engine streams, converts the newest filled
// raw slot (dropping an older filled one) into the ConvertedFrame. True when
// the pin may copy the ConvertedFrame, which holds a frame of this stream;
// false before the stream's first conversion and once the engine is
// stopping, having touched no buffer. Either way the pin ends its run with
// EndProcessing.
bool ProcessFilledSlot(CaptureEngine* engine);
// The end of the pin's run: clears processingActive, then sets
// processingDone, so that a StopCapture that saw the flag set is woken.
void EndProcessing(CaptureEngine* engine);
