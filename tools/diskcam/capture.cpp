#include "tools/diskcam/capture.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <ksmedia.h>

#include "host/client/pin.h"
#include "tools/controls_protocol/command.h"
#include "tools/diskcam/controls.h"
#include "tools/diskcam/formats.h"
#include "tools/diskcam/frame_tally.h"
#include "tools/diskcam/image_files.h"
#include "tools/diskcam/pool_log.h"
#include "tools/diskcam/progress.h"
#include "tools/diskcam/statuses.h"

namespace tool {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int BuffersQueued = 3;
// The statuses the driver ends a stream with.
constexpr NTSTATUS StatusDeviceNotConnected = static_cast<NTSTATUS>(0xC000009D);
constexpr NTSTATUS StatusIoTimeout = static_cast<NTSTATUS>(0xC00000B5);
// How long a stream may go without a buffer before the tool gives up.
constexpr std::chrono::seconds Silence{10};

std::atomic<bool> stopRequested{false};

// Window and subsample options go in through the property set before the
// pin exists; a window means mode 0, subsample 1 or 2 ignores any window, and
// subsample 0 alone keeps the stored window.
void ApplyWindow(Controls& controls, const CaptureOptions& options) {
    int mode = options.subSample.value_or(0);
    if (mode != 0) {
        controls.SetWindow({mode, 0, 0, 0, 0});
    } else if (options.window) {
        controls.SetWindow(*options.window);
    } else if (options.subSample) {
        controls.SetWindow(
            {0, controls.Get(40), controls.Get(41), controls.Get(42), controls.Get(43)});
    }
}

// Where delivered frames go.
class FrameSink {
public:
    FrameSink(const CaptureOptions& options, const KS_BITMAPINFOHEADER& bitmap)
        : directory_(options.outDirectory),
          width_(ULONG(bitmap.biWidth)),
          png_(IsRgbFormat(options.format)),
          // YUV frames are delivered top-down already.
          topDown_(options.topDown && png_) {
        if (!directory_.empty()) {
            std::error_code error;
            std::filesystem::create_directories(directory_, error);
            if (error) {
                throw std::runtime_error("cannot create " + directory_ + ": " + error.message());
            }
        }
        if (options.outputFile == "-") {
            output_ = stdout;
        } else if (!options.outputFile.empty()) {
            output_ = std::fopen(options.outputFile.c_str(), "wb");
            closeOutput_ = true;
            if (output_ == nullptr) {
                throw std::runtime_error("cannot write " + options.outputFile);
            }
        }
    }
    ~FrameSink() {
        if (closeOutput_) {
            std::fclose(output_);
        }
    }
    FrameSink(const FrameSink&) = delete;
    FrameSink& operator=(const FrameSink&) = delete;

    void Take(const client::StreamBuffer& buffer, long number) {
        ULONG used = buffer.header.DataUsed;
        if (output_ != nullptr &&
            !WriteRawFrame(output_, buffer.data.data(), used, width_, topDown_)) {
            throw std::runtime_error("cannot write the output stream");
        }
        if (!directory_.empty() && width_ != 0) {
            char name[32];
            std::snprintf(name, sizeof name, png_ ? "/frame-%06ld.png" : "/frame-%06ld.yuv",
                          number);
            if (png_) {
                WritePng(directory_ + name, buffer.data.data(), width_, used / (width_ * 4));
            } else {
                WriteRaw(directory_ + name, buffer.data.data(), used);
            }
        }
    }

private:
    // A YUV frame goes to its file as delivered.
    static void WriteRaw(const std::string& path, const UCHAR* data, ULONG size) {
        FILE* file = std::fopen(path.c_str(), "wb");
        const bool written = file != nullptr && std::fwrite(data, 1, size, file) == size;
        if (file == nullptr || std::fclose(file) != 0 || !written) {
            throw std::runtime_error("cannot write " + path);
        }
    }

    std::string directory_;
    ULONG width_;
    bool png_;
    bool topDown_;
    FILE* output_ = nullptr;
    bool closeOutput_ = false;
};

void QueueBuffer(client::Pin& pin, std::unique_ptr<client::StreamBuffer> buffer) {
    NTSTATUS status = pin.Queue(std::move(buffer));
    if (status != STATUS_PENDING && !NT_SUCCESS(status)) {
        throw std::runtime_error("a stream buffer was refused with " + StatusText(status));
    }
}

bool Finished(const CaptureOptions& options, long frames, Clock::time_point start) {
    if (stopRequested.load()) {
        return true;
    }
    if (options.seconds) {
        return Clock::now() - start >= std::chrono::duration<double>(*options.seconds);
    }
    return frames >= options.frames;
}

// How a stream went: the frames delivered and, when the driver ended the
// stream, the status its buffers came back with.
struct StreamResult {
    long frames = 0;
    FrameTally tally;
    NTSTATUS endStatus = STATUS_SUCCESS;
};

StreamResult Stream(client::Pin& pin, FrameSink& sink, const CaptureOptions& options,
                    Clock::time_point start, const std::function<void()>& unplug) {
    ProgressLine progress(start);
    StreamResult result;
    long& frames = result.frames;
    Clock::time_point lastFrame = Clock::now();
    while (!Finished(options, frames, start)) {
        std::unique_ptr<client::StreamBuffer> buffer =
            pin.WaitForCompleted(std::chrono::milliseconds(100));
        if (buffer == nullptr) {
            if (Clock::now() - lastFrame > Silence) {
                throw std::runtime_error("no frame from the camera for 10 s");
            }
            continue;
        }
        lastFrame = Clock::now();
        if (!NT_SUCCESS(buffer->status)) {
            result.endStatus = buffer->status;
            break;
        }
        if (buffer->header.DataUsed != 0) {
            sink.Take(*buffer, ++frames);
            result.tally.Count(*buffer);
            progress.Update(frames);
            if (options.simUnplugAfter && frames == *options.simUnplugAfter) {
                unplug();
            }
        }
        buffer->Reset();
        QueueBuffer(pin, std::move(buffer));
    }
    return result;
}

std::string EndReason(NTSTATUS status) {
    if (status == StatusDeviceNotConnected) {
        return "the camera is gone";
    }
    if (status == StatusIoTimeout) {
        return "no camera frame within the Timeout setting";
    }
    return "the stream ended";
}

// Empty when the stream did what was asked; an interrupt is not a failure.
std::string Shortfall(const CaptureOptions& options, const StreamResult& result) {
    const std::string got = options.seconds ? std::to_string(result.frames) + " frames"
                                            : std::to_string(result.frames) + " of " +
                                                  std::to_string(options.frames) + " frames";
    if (result.endStatus != STATUS_SUCCESS) {
        return EndReason(result.endStatus) + " (" + StatusText(result.endStatus) + ") after " + got;
    }
    if (stopRequested.load()) {
        return "";
    }
    if (options.seconds && result.frames == 0) {
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%g", *options.seconds);
        return std::string("no camera frame in ") + seconds + " s";
    }
    return "";
}

}  // namespace

std::vector<UCHAR> NegotiateFormat(client::Filter& filter, const std::string& name) {
    std::vector<std::vector<UCHAR>> ranges = filter.DataRanges(CapturePinId);
    if (ranges.empty()) {
        throw std::runtime_error("the capture pin offers no format");
    }
    const std::vector<UCHAR>& range = ranges[RangeOfFormat(ranges, name)];
    std::vector<UCHAR> format;
    client::RequestResult size =
        filter.Intersect(CapturePinId, range.data(), ULONG(range.size()), 0, &format);
    if (size.status != STATUS_BUFFER_OVERFLOW) {
        throw std::runtime_error("format negotiation refused with " + StatusText(size.status));
    }
    client::RequestResult result = filter.Intersect(CapturePinId, range.data(), ULONG(range.size()),
                                                    size.bytesReturned, &format);
    if (!NT_SUCCESS(result.status) || format.size() < sizeof(KS_DATAFORMAT_VIDEOINFOHEADER)) {
        throw std::runtime_error("format negotiation refused with " + StatusText(result.status));
    }
    return format;
}

void RequestStop() {
    stopRequested.store(true);
}

std::string RunCapture(client::Filter& filter, const CaptureOptions& options,
                       const std::function<void()>& unplug) {
    Controls controls(filter);
    ApplyWindow(controls, options);
    for (const std::string& assignment : options.assignments) {
        controls::ApplyAssignment(controls, assignment);
    }
    std::vector<UCHAR> format = NegotiateFormat(filter, options.format);
    KS_DATAFORMAT_VIDEOINFOHEADER video;
    std::memcpy(&video, format.data(), sizeof video);
    const KS_BITMAPINFOHEADER& bitmap = video.VideoInfoHeader.bmiHeader;

    std::unique_ptr<client::Pin> pin;
    NTSTATUS status = filter.CreatePin(CapturePinId, format.data(), ULONG(format.size()), &pin);
    if (!NT_SUCCESS(status)) {
        throw std::runtime_error("the capture pin was refused with " + StatusText(status));
    }
    client::MasterClock clock;
    pin->SetMasterClock(&clock);
    FrameSink sink(options, bitmap);

    Clock::time_point start = Clock::now();
    status = pin->SetState(KSSTATE_RUN);
    if (!NT_SUCCESS(status)) {
        throw std::runtime_error(StreamStartRefusal(status));
    }
    std::fprintf(stderr, "format: %s %dx%d, %u bytes/frame\n", options.format.c_str(),
                 bitmap.biWidth, bitmap.biHeight, bitmap.biSizeImage);
    for (int index = 0; index < BuffersQueued; ++index) {
        QueueBuffer(*pin, pin->NewBuffer());
    }
    StreamResult result;
    {
        std::unique_ptr<PoolLog> poolLog;
        if (!options.poolLogFile.empty()) {
            poolLog = std::make_unique<PoolLog>(
                options.poolLogFile,
                std::chrono::milliseconds(static_cast<long>(options.poolLogSeconds * 1000)));
        }
        result = Stream(*pin, sink, options, start, unplug);
    }
    double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    pin->SetState(KSSTATE_STOP);
    pin.reset();
    std::fprintf(stderr, "frames %ld, %.2f s, %.1f fps %s\n", result.frames, seconds,
                 seconds > 0 ? result.frames / seconds : 0.0, result.tally.Text().c_str());
    return Shortfall(options, result);
}

}  // namespace tool
