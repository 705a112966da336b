#include "tests/capture/test_pin.h"

#include <cstring>
#include <limits>

#include "platform/atomics.h"

namespace capture_test {

TestPin::TestPin(CameraDevice* camera, Options options)
    : camera_(camera), options_(std::move(options)) {
    released_ = std::numeric_limits<uint64_t>::max();
    worker_ = std::thread([this] { WorkerLoop(); });
}

TestPin::~TestPin() {
    Stop();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        quit_ = true;
    }
    changed_.notify_all();
    worker_.join();
}

void TestPin::RequestProcessing() {
    std::unique_lock<std::mutex> lock(mutex_);
    uint64_t number = ++requests_;
    if (!options_.stepCaptureThread) {
        ++wanted_;
    }
    changed_.notify_all();
    changed_.wait(lock, [&] { return released_ >= number; });
}

NTSTATUS TestPin::Acquire(KS_VIDEOINFOHEADER* format) {
    std::lock_guard<std::mutex> state(stateMutex_);
    NTSTATUS status = AttachPipeline(camera_, this, format);
    if (NT_SUCCESS(status)) {
        state_ = PinState::Acquire;
    }
    return status;
}

NTSTATUS TestPin::Run() {
    std::lock_guard<std::mutex> state(stateMutex_);
    if (options_.stepCaptureThread) {
        std::lock_guard<std::mutex> lock(mutex_);
        released_ = requests_;
    }
    NTSTATUS status;
    if (streaming_ == Streaming::Paused) {
        RelaxedWrite(&camera_->FrameCount, 0);
        status = ResumeStream(camera_->CaptureEngine);
    } else {
        status = StartStream(camera_);
    }
    if (NT_SUCCESS(status)) {
        streaming_ = Streaming::Running;
        state_ = PinState::Run;
    }
    return status;
}

void TestPin::Pause() {
    std::lock_guard<std::mutex> state(stateMutex_);
    OpenSteps();
    RelaxedWrite(&camera_->FrameCount, 0);
    if (streaming_ == Streaming::Running) {
        PauseStream(camera_->CaptureEngine);
        streaming_ = Streaming::Paused;
    }
    state_ = PinState::Pause;
}

void TestPin::Teardown() {
    std::lock_guard<std::mutex> state(stateMutex_);
    OpenSteps();
    if (streaming_ != Streaming::None) {
        TearDownStream(camera_);
        streaming_ = Streaming::None;
    }
    if (state_ != PinState::Stop) {
        state_ = PinState::Acquire;
    }
}

void TestPin::Stop() {
    Teardown();
    std::lock_guard<std::mutex> state(stateMutex_);
    if (state_ != PinState::Stop) {
        DetachPipeline(camera_);
        state_ = PinState::Stop;
    }
}

void TestPin::OpenSteps() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        released_ = std::numeric_limits<uint64_t>::max();
    }
    changed_.notify_all();
}

void TestPin::WaitForRequests(uint64_t count) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return requests_ >= count; });
}

void TestPin::ReleaseRequests(uint64_t count) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (released_ < count) {
            released_ = count;
        }
    }
    changed_.notify_all();
}

uint64_t TestPin::Requests() {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

void TestPin::ProcessOnce() {
    std::unique_lock<std::mutex> lock(mutex_);
    uint64_t ticket = ++wanted_;
    changed_.notify_all();
    changed_.wait(lock, [&] { return done_ >= ticket; });
}

void TestPin::WaitForDeliveries(size_t count) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return sequences_.size() >= count; });
}

std::vector<LONG> TestPin::Sequences() {
    std::lock_guard<std::mutex> lock(mutex_);
    return sequences_;
}

std::vector<uint8_t> TestPin::LastImage() {
    std::lock_guard<std::mutex> lock(mutex_);
    return image_;
}

uint64_t TestPin::RefusedRuns() {
    std::lock_guard<std::mutex> lock(mutex_);
    return refusedRuns_;
}

void TestPin::WorkerLoop() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [&] { return quit_ || wanted_ > done_; });
        if (quit_) {
            return;
        }
        uint64_t target = wanted_;
        lock.unlock();
        if (options_.serialised) {
            std::lock_guard<std::mutex> state(stateMutex_);
            if (state_ == PinState::Run) {
                RunProcessing();
            }
        } else {
            RunProcessing();
        }
        lock.lock();
        done_ = target;
        changed_.notify_all();
    }
}

// The pin's processing: nothing before the first raw frame of a stream; then
// the processing step whether or not there is a buffer, the copy if the
// engine allows it, and the end of the run in every case.
void TestPin::RunProcessing() {
    CaptureEngine* engine = camera_->CaptureEngine;
    if (engine == nullptr || AtomicRead(&engine->framesCaptured) <= 0) {
        return;
    }
    bool copying = ProcessFilledSlot(engine);
    if (options_.afterProcessingStep) {
        options_.afterProcessingStep(copying);
    }
    if (copying) {
        Deliver(engine);
    } else {
        std::lock_guard<std::mutex> lock(mutex_);
        ++refusedRuns_;
    }
    EndProcessing(engine);
}

// Last converted row first; of each row only OutputWidth pixels.
void TestPin::Deliver(CaptureEngine* engine) {
    const size_t rows = static_cast<size_t>(RelaxedRead(&camera_->OutputHeight));
    const size_t rowBytes = static_cast<size_t>(RelaxedRead(&camera_->OutputWidth)) * 4;
    const size_t sourcePitch = static_cast<size_t>(RelaxedRead(&camera_->WindowWidth)) * 4;
    std::vector<uint8_t> image(rows * rowBytes);
    for (size_t row = 0; row < rows; ++row) {
        std::memcpy(image.data() + row * rowBytes,
                    engine->convertedFrame + (rows - 1 - row) * sourcePitch, rowBytes);
    }
    std::lock_guard<std::mutex> lock(mutex_);
    sequences_.push_back(engine->convertedSequence);
    image_.swap(image);
    changed_.notify_all();
}

KS_VIDEOINFOHEADER Rgb32Format(const CameraDevice* camera) {
    KS_VIDEOINFOHEADER format{};
    format.AvgTimePerFrame = 333333;
    format.bmiHeader.biSize = sizeof(KS_BITMAPINFOHEADER);
    format.bmiHeader.biWidth = camera->OutputWidth;
    format.bmiHeader.biHeight = camera->OutputHeight;
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 32;
    format.bmiHeader.biCompression = KS_BI_RGB;
    format.bmiHeader.biSizeImage =
        static_cast<DWORD>(camera->OutputWidth) * static_cast<DWORD>(camera->OutputHeight) * 4;
    return format;
}

}  // namespace capture_test
