// The settings key at load: every stored value of any registry type, length
// and content (or missing), read when the device starts. The loaded settings
// must lie within their clamps, a stream must start and deliver a frame with
// them, and the save at filter close must write each value back as a
// REG_DWORD of four bytes.
#include <fuzzer/FuzzedDataProvider.h>

#include <chrono>

#include "fuzz/fuzz_stack.h"
#include "host/nt/registry_store.h"

namespace {

const char* const StoredNames[] = {
    "Timeout",    "Exposure",    "GlobalGain",   "FlipH",
    "FlipV",      "ColorEnable", "WhiteBalance", "ColorCorrection",
    "Brightness", "Contrast",    "Saturation",   "Hue",
    "RedGain",    "GreenGain",   "BlueGain",     "AGC",
    "AEC",        "SubSample",   "RoiX",         "RoiY",
    "RoiW",       "RoiH",        "Red",          "Green1",
    "Green2",     "Blue",        "HalfClock",    "CameraNo",
};

constexpr size_t MaxValueBytes = 24;

// Mostly small windows, so that a stream moves little; the rest as stored.
void StoreValue(FuzzedDataProvider& input, const std::string& key, const char* name) {
    const UCHAR shape = input.ConsumeIntegral<UCHAR>();
    if ((shape & 3) == 0) {
        return;
    }
    ULONG type = REG_DWORD;
    if ((shape & 4) != 0) {
        type = input.ConsumeIntegralInRange<ULONG>(0, 11);
    }
    size_t length = 4;
    if ((shape & 8) != 0) {
        length = input.ConsumeIntegralInRange<size_t>(0, MaxValueBytes);
    }
    std::vector<uint8_t> data = input.ConsumeBytes<uint8_t>(length);
    data.resize(length);
    host::RegistrySetValue(key, name, type, std::move(data));
}

void StreamOneFrame(fuzz::Stack& stack, sim::SimCamera& camera) {
    client::Pin* pin = stack.CreatePin();
    FUZZ_CHECK(pin != nullptr, "pin creation refused for the pin's own proposal");
    FUZZ_CHECK(pin->SetState(KSSTATE_RUN) == STATUS_SUCCESS, "stream start refused");
    FUZZ_CHECK(pin->Queue(pin->NewBuffer()) == STATUS_PENDING, "a buffer refused while running");
    FUZZ_CHECK(camera.ReleaseFrame(), "no frame after configuration");
    std::unique_ptr<client::StreamBuffer> done = pin->WaitForCompleted(std::chrono::seconds(10));
    FUZZ_CHECK(done != nullptr, "no frame delivered");
    FUZZ_CHECK(done->header.DataUsed <= done->header.FrameExtent, "DataUsed beyond the extent");
    stack.ClosePin();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    FuzzedDataProvider input(bytes, size);
    std::shared_ptr<sim::SimCamera> camera = fuzz::SteppedCamera();
    fuzz::Stack stack({camera});
    FUZZ_CHECK(stack.Camera() != nullptr, "device add failed");
    const std::string key = stack.SettingsKey();
    stack.StoreWindow(0, 0, fuzz::MaxWindow, fuzz::MaxWindow);
    for (const char* name : StoredNames) {
        StoreValue(input, key, name);
    }
    FUZZ_CHECK(stack.Start() == STATUS_SUCCESS, "device start failed");
    fuzz::CheckDeviceInvariants(*stack.Camera());
    FUZZ_CHECK(stack.OpenFilter() != nullptr, "filter open failed");
    if (fuzz::SmallWindow(*stack.Camera()) && input.ConsumeBool()) {
        StreamOneFrame(stack, *camera);
    }
    stack.CloseFilter();
    for (const char* name : StoredNames) {
        std::optional<host::RegistryValue> saved = host::RegistryGetValue(key, name);
        FUZZ_CHECK(saved && saved->type == REG_DWORD && saved->data.size() == 4,
                   std::string("not saved as a REG_DWORD: ") + name);
    }
    return 0;
}
