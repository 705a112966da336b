// The camera as a hostile or broken disk: every identification and status
// sector, every frame and the outcome of every transfer come from the input,
// behind the real transport of the host kernel. One to three such disks are
// attached; the camera device discovers among them, configures the sensor
// and reads frames, single-threaded, as the capture thread would. Transfers
// must stay inside their buffers, a frame counts only when it arrived whole,
// and a poll that wrote nothing leaves the buffer as it was.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstring>

#include "camera/sensor.h"
#include "fuzz/fuzz_stack.h"

namespace {

constexpr uint64_t StatusOffset = 0x20000;
constexpr size_t SectorSize = 512;

// Replies as the input says: a failure, a well-formed camera sector or raw
// bytes. An input that has run out answers with zeros: a disk that is no
// camera and never has a frame.
class ScriptedDisk : public host::Disk {
public:
    explicit ScriptedDisk(FuzzedDataProvider& script) : script_(script) {}

    uint64_t Size() const override { return 64 << 20; }

protected:
    bool ReadAt(uint64_t offset, void* buffer, size_t length) override {
        const UCHAR shape = script_.ConsumeIntegral<UCHAR>();
        if ((shape & 1) != 0) {
            return false;
        }
        auto* bytes = static_cast<UCHAR*>(buffer);
        std::memset(bytes, 0, length);
        if (offset == StatusOffset && length == SectorSize && (shape & 6) != 0) {
            std::memcpy(bytes, "QUELMA", 6);
            bytes[26] = 0x2D;
            bytes[27] = 0x0A;
            bytes[256] = (shape & 8) != 0 ? 1 : script_.ConsumeIntegral<UCHAR>();
            return true;
        }
        std::vector<UCHAR> content = script_.ConsumeBytes<UCHAR>(length);
        if (!content.empty()) {
            std::memcpy(bytes, content.data(), content.size());
        }
        return true;
    }

    bool WriteAt(uint64_t, const void*, size_t) override {
        return (script_.ConsumeIntegral<UCHAR>() & 0x0F) != 0;
    }

private:
    FuzzedDataProvider& script_;
};

constexpr int MaxReads = 8;
constexpr UCHAR Untouched = 0x5A;

void ReadFrames(FuzzedDataProvider& input, CameraDevice* camera) {
    const ULONG frameBytes = camera->FrameBytes;
    const ULONG pixels = static_cast<ULONG>(camera->WindowWidth * camera->WindowHeight);
    FUZZ_CHECK(
        frameBytes % SectorSize == 0 && frameBytes >= pixels && frameBytes < pixels + SectorSize,
        "FrameBytes is not the window rounded up to a sector");
    for (int i = 0; i < MaxReads && input.remaining_bytes() != 0; ++i) {
        const LONG counted = camera->FrameCount;
        std::vector<UCHAR> buffer(frameBytes, Untouched);
        bool ok = false;
        const bool written = camera->ReadFrame(buffer.data(), &ok);
        FUZZ_CHECK(!ok || written, "a whole frame that wrote nothing");
        FUZZ_CHECK(camera->FrameCount == counted + (ok ? 1 : 0), "FrameCount counts other reads");
        if (!written) {
            FUZZ_CHECK(buffer == std::vector<UCHAR>(frameBytes, Untouched),
                       "a poll that wrote nothing changed the buffer");
        }
        FUZZ_CHECK(camera->BayerPhase <= 3, "BayerPhase beyond two bits");
        camera->PendingChanges |= input.ConsumeIntegral<USHORT>() & 0xF0B;
        camera->ApplyPendingChanges(input.ConsumeBool());
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    FuzzedDataProvider input(bytes, size);
    std::vector<std::shared_ptr<host::Disk>> disks;
    for (int count = input.ConsumeIntegralInRange(1, 3); count > 0; --count) {
        disks.push_back(std::make_shared<ScriptedDisk>(input));
    }
    fuzz::Stack stack(std::move(disks));
    CameraDevice* camera = stack.Camera();
    FUZZ_CHECK(camera != nullptr, "device add failed");
    const LONG x = input.ConsumeIntegralInRange<LONG>(0, 7);
    const LONG y = input.ConsumeIntegralInRange<LONG>(0, 7);
    const LONG width = input.ConsumeIntegralInRange<LONG>(32, fuzz::MaxWindow);
    const LONG height = input.ConsumeIntegralInRange<LONG>(32, fuzz::MaxWindow);
    SetReadoutWindow(camera, x, y, width, height, 0);
    camera->CameraNo = input.ConsumeIntegralInRange<LONG>(0, 3);
    camera->FlipV = input.ConsumeBool() ? 1 : 0;
    const bool configured = camera->ConfigureSensor();
    FUZZ_CHECK(!configured || camera->LinkHandle != nullptr, "configured without a link");
    if (camera->LinkHandle != nullptr) {
        ReadFrames(input, camera);
    }
    camera->CloseLink();
    return 0;
}
