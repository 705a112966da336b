// A capture pin for engine tests, standing in until the kernel streaming face
// exists. It makes the pin's state changes on the engine one step at a time
// and runs the pin's processing the way the class driver and the pin will:
// on a worker thread of its own, never two runs at once, serialised with the
// state changes behind one mutex and only in the run state. Each run takes
// the newest converted frame into the pin's buffer bottom-up and records the
// frame's sequence.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "camera/camera_device.h"
#include "capture/capture_engine.h"

namespace capture_test {

class TestPin final : public CapturePinOperations {
public:
    struct Options {
        // The capture thread waits inside each RequestProcessing until the
        // test releases it, and processing runs only on ProcessOnce.
        bool stepCaptureThread = false;
        // False: processing runs at any time, without the state mutex, as
        // from a class driver that gave no guarantee.
        bool serialised = true;
        // Runs on the worker between the processing step and the copy.
        std::function<void(bool copying)> afterProcessingStep;
    };

    TestPin(CameraDevice* camera, Options options);
    ~TestPin();
    TestPin(const TestPin&) = delete;
    TestPin& operator=(const TestPin&) = delete;

    void RequestProcessing() override;

    // State changes.
    NTSTATUS Acquire(KS_VIDEOINFOHEADER* format);
    // StartStream, or ResumeStream after a pause.
    NTSTATUS Run();
    void Pause();
    // Pause to acquire: tears the stream down.
    void Teardown();
    // To stop: tears down if streaming, then detaches.
    void Stop();

    // Step mode: waits until the capture thread has made `count` requests in
    // all; lets it go on from every request up to `count`.
    void WaitForRequests(uint64_t count);
    void ReleaseRequests(uint64_t count);
    uint64_t Requests();

    // Runs processing once on the worker, as if a buffer had arrived, and
    // waits for the run to end.
    void ProcessOnce();
    // Waits until `count` frames have been delivered since construction.
    void WaitForDeliveries(size_t count);

    // Sequences of the frames delivered, in order; the last delivered image
    // (bottom-up, OutputWidth x 4 bytes a row).
    std::vector<LONG> Sequences();
    std::vector<uint8_t> LastImage();
    // Runs that found the engine stopping and copied nothing.
    uint64_t RefusedRuns();

private:
    enum class PinState { Stop, Acquire, Pause, Run };
    enum class Streaming { None, Running, Paused };

    void WorkerLoop();
    void RunProcessing();
    void Deliver(CaptureEngine* engine);
    // Lets a parked capture thread go on for good, so that it can be stopped.
    void OpenSteps();

    CameraDevice* const camera_;
    const Options options_;

    // The class driver's state mutex: state changes and serialised runs.
    std::mutex stateMutex_;
    PinState state_ = PinState::Stop;
    Streaming streaming_ = Streaming::None;

    std::mutex mutex_;  // everything below
    std::condition_variable changed_;
    uint64_t wanted_ = 0;  // processing requests queued
    uint64_t done_ = 0;    // the highest request whose run has ended
    bool quit_ = false;
    uint64_t requests_ = 0;  // RequestProcessing calls
    uint64_t released_ = 0;  // step mode: requests the thread may leave
    std::vector<LONG> sequences_;
    std::vector<uint8_t> image_;
    uint64_t refusedRuns_ = 0;

    std::thread worker_;
};

// A 32-bit uncompressed RGB format of the camera's output size.
KS_VIDEOINFOHEADER Rgb32Format(const CameraDevice* camera);

}  // namespace capture_test
