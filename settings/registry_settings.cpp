// The table of stored settings and the one loader and one saver that read it.
#include "settings/registry_settings.h"

#include "camera/sensor.h"
#include "pipeline/image_pipeline.h"
#include "platform/atomics.h"
#include "platform/registry.h"

namespace {

// How a stored value is brought into range when it is loaded. Signed bounds
// compare the 32-bit pattern as LONG, unsigned ones as ULONG, so a negative
// stored value counts as very large there.
enum class Clamp {
    None,
    NotApplied,      // the field keeps its value
    TakenInRange,    // stored only within low..high; otherwise the field keeps its value
    Signed,          // to low..high
    Unsigned,        // to low..high
    UnsignedOrZero,  // above high becomes 0
    NonZeroIsOne,
};

// What a loaded value does besides being stored in its field.
enum class Effect {
    None,
    Pipeline,      // handed to the attached pipeline's setter
    WhiteBalance,  // SetWhiteBalance, which stores the field itself
    ChannelGains,  // also stored in the four channel gains
    WindowX,       // an argument of SetReadoutWindow, which stores the window
    WindowY,
    WindowWidth,
    WindowHeight,
    WindowMode,
};

struct StoredSetting {
    PCWSTR name;
    ULONG* (*field)(CameraDevice* camera);
    ULONG defaultValue;
    Clamp clamp;
    LONG low;
    LONG high;
    Effect effect;
    ULONG pending;  // PendingChanges bits set by a load
    void (*pipelineSetter)(ImagePipeline* pipeline, LONG value);
};

// Every setting is a 32-bit word; signed ones are handled through their
// unsigned view, which may alias them.
template <auto Field>
ULONG* SettingWord(CameraDevice* camera) {
    static_assert(sizeof(camera->*Field) == sizeof(ULONG), "settings are 32-bit words");
    return reinterpret_cast<ULONG*>(&(camera->*Field));
}

// A value carries the name of its field.
#define STORED(field) KERNEL_TEXT(#field), SettingWord<&CameraDevice::field>

// In the order in which values are read, applied and written.
constexpr StoredSetting StoredSettings[] = {
    {STORED(Timeout), 3000, Clamp::TakenInRange, 501, 9999, Effect::None, 0, nullptr},
    {STORED(Exposure), 8, Clamp::Unsigned, 1, 8191, Effect::None, PendingExposure, nullptr},
    {STORED(GlobalGain), 14, Clamp::Unsigned, 0, 127, Effect::ChannelGains, PendingGains, nullptr},
    {STORED(FlipH), 0, Clamp::NotApplied, 0, 0, Effect::None, 0, nullptr},
    {STORED(FlipV), 0, Clamp::NonZeroIsOne, 0, 1, Effect::None, PendingFlip, nullptr},
    {STORED(ColorEnable), 1, Clamp::None, 0, 0, Effect::Pipeline, 0, SetColourEnabled},
    {STORED(WhiteBalance), 0, Clamp::None, 0, 0, Effect::WhiteBalance, 0, nullptr},
    {STORED(ColorCorrection), 1, Clamp::None, 0, 0, Effect::Pipeline, 0, SetColourCorrection},
    {STORED(Brightness), 255, Clamp::Signed, 0, 510, Effect::Pipeline, 0, SetBrightness},
    {STORED(Contrast), 10, Clamp::Signed, 0, 20, Effect::Pipeline, 0, SetContrast},
    {STORED(Saturation), 10, Clamp::Signed, 0, 20, Effect::Pipeline, 0, SetSaturation},
    {STORED(Hue), 0, Clamp::Signed, 0, 359, Effect::Pipeline, 0, SetHue},
    {STORED(RedGain), 128, Clamp::Signed, 0, 300, Effect::Pipeline, 0, SetRedGain},
    {STORED(GreenGain), 128, Clamp::Signed, 0, 300, Effect::Pipeline, 0, SetGreenGain},
    {STORED(BlueGain), 128, Clamp::Signed, 0, 300, Effect::Pipeline, 0, SetBlueGain},
    {STORED(AGC), 0, Clamp::NotApplied, 0, 0, Effect::None, 0, nullptr},
    {STORED(AEC), 0, Clamp::NotApplied, 0, 0, Effect::None, 0, nullptr},
    {STORED(SubSample), 0, Clamp::UnsignedOrZero, 0, 2, Effect::WindowMode, 0, nullptr},
    {STORED(RoiX), 0, Clamp::UnsignedOrZero, 0, SensorWidth - 1, Effect::WindowX, 0, nullptr},
    {STORED(RoiY), 0, Clamp::UnsignedOrZero, 0, SensorHeight - 1, Effect::WindowY, 0, nullptr},
    {STORED(RoiW), 4384, Clamp::Unsigned, 0, SensorWidth, Effect::WindowWidth, 0, nullptr},
    {STORED(RoiH), 3288, Clamp::Unsigned, 0, SensorHeight, Effect::WindowHeight, 0, nullptr},
    {STORED(Red), 80, Clamp::None, 0, 0, Effect::None, PendingRed, nullptr},
    {STORED(Green1), 80, Clamp::None, 0, 0, Effect::None, PendingGreen1, nullptr},
    {STORED(Green2), 80, Clamp::None, 0, 0, Effect::None, PendingGreen2, nullptr},
    {STORED(Blue), 80, Clamp::None, 0, 0, Effect::None, PendingBlue, nullptr},
    {STORED(HalfClock), 0, Clamp::NotApplied, 0, 0, Effect::None, 0, nullptr},
    {STORED(CameraNo), 0, Clamp::Signed, 0, 31, Effect::None, 0, nullptr},
};

#undef STORED

constexpr SIZE_T StoredSettingCount = sizeof(StoredSettings) / sizeof(StoredSettings[0]);
static_assert(StoredSettingCount == 28, "the registry keeps 28 values");

constexpr WCHAR SettingsKeyPath[] = KERNEL_TEXT("Settings");

// KEY_VALUE_PARTIAL_INFORMATION's header and room for eight data bytes.
constexpr ULONG PartialHeaderBytes = 12;
constexpr ULONG QueryBufferBytes = PartialHeaderBytes + 8;

struct ReadoutWindow {
    LONG x;
    LONG y;
    LONG width;
    LONG height;
    LONG mode;
};

// Opens the device's driver key and its Settings subkey. False, with
// nothing open, when either cannot be opened. A record whose physical
// device object was never set (a failed device add) has no key.
bool OpenKeys(CameraDevice* camera, HANDLE* deviceKey, HANDLE* settingsKey) {
    if (camera->PhysicalDeviceObject == nullptr) {
        return false;
    }
    NTSTATUS status = OpenDriverRegistryKey(camera->PhysicalDeviceObject, deviceKey);
    if (!NT_SUCCESS(status) || *deviceKey == nullptr) {
        return false;
    }
    status = OpenSettingsKey(*deviceKey, SettingsKeyPath, settingsKey);
    if (!NT_SUCCESS(status)) {
        CloseRegistryKey(*deviceKey);
        return false;
    }
    return true;
}

void CloseKeys(HANDLE deviceKey, HANDLE settingsKey) {
    CloseRegistryKey(settingsKey);
    CloseRegistryKey(deviceKey);
}

// The loaded value after its clamp; false when the field keeps its value.
bool ClampLoaded(const StoredSetting& setting, ULONG stored, ULONG* value) {
    ULONG low = static_cast<ULONG>(setting.low);
    ULONG high = static_cast<ULONG>(setting.high);
    LONG signedValue = static_cast<LONG>(stored);
    switch (setting.clamp) {
        case Clamp::None:
            *value = stored;
            return true;
        case Clamp::NotApplied:
            return false;
        case Clamp::TakenInRange:
            *value = stored;
            return stored >= low && stored <= high;
        case Clamp::Signed:
            signedValue = signedValue < setting.low    ? setting.low
                          : signedValue > setting.high ? setting.high
                                                       : signedValue;
            *value = static_cast<ULONG>(signedValue);
            return true;
        case Clamp::Unsigned:
            *value = stored < low ? low : stored > high ? high : stored;
            return true;
        case Clamp::UnsignedOrZero:
            *value = stored > high ? 0 : stored;
            return true;
        case Clamp::NonZeroIsOne:
            *value = stored != 0 ? 1 : 0;
            return true;
    }
    return false;
}

void CallPipelineSetter(CameraDevice* camera, const StoredSetting& setting, LONG value) {
    AcquirePassiveLock(&camera->PipelineLock);
    if (camera->ImagePipeline != nullptr) {
        setting.pipelineSetter(camera->ImagePipeline, value);
    }
    ReleasePassiveLock(&camera->PipelineLock);
}

void ApplyLoaded(CameraDevice* camera, const StoredSetting& setting, ULONG stored,
                 ReadoutWindow* window) {
    ULONG value;
    if (!ClampLoaded(setting, stored, &value)) {
        return;
    }
    LONG signedValue = static_cast<LONG>(value);
    switch (setting.effect) {
        case Effect::None:
            AtomicExchange(setting.field(camera), value);
            break;
        case Effect::Pipeline:
            AtomicExchange(setting.field(camera), value);
            CallPipelineSetter(camera, setting, signedValue);
            break;
        case Effect::WhiteBalance:
            SetWhiteBalance(camera, signedValue);
            break;
        case Effect::ChannelGains:
            AtomicExchange(setting.field(camera), value);
            AtomicExchange(&camera->Red, signedValue);
            AtomicExchange(&camera->Green1, signedValue);
            AtomicExchange(&camera->Green2, signedValue);
            AtomicExchange(&camera->Blue, signedValue);
            break;
        case Effect::WindowX:
            window->x = signedValue;
            break;
        case Effect::WindowY:
            window->y = signedValue;
            break;
        case Effect::WindowWidth:
            window->width = signedValue;
            break;
        case Effect::WindowHeight:
            window->height = signedValue;
            break;
        case Effect::WindowMode:
            window->mode = signedValue;
            break;
    }
    if (setting.pending != 0) {
        AtomicOr(&camera->PendingChanges, setting.pending);
    }
}

}  // namespace

NTSTATUS OpenSettingsKey(HANDLE parent, PCWSTR path, HANDLE* key) {
    *key = nullptr;
    USHORT length = 0;
    while (path[length] != 0) {
        if (length == 0x7FFF) {
            return STATUS_INVALID_PARAMETER;
        }
        ++length;
    }
    // ZwCreateKey creates only the last component: make each parent first.
    for (USHORT end = 1; end < length; ++end) {
        if (path[end] != KERNEL_TEXT('\\')) {
            continue;
        }
        HANDLE prefix;
        NTSTATUS status = CreateRegistryKey(parent, path, end, &prefix);
        if (!NT_SUCCESS(status)) {
            return status;
        }
        CloseRegistryKey(prefix);
    }
    return CreateRegistryKey(parent, path, length, key);
}

NTSTATUS QueryDwordValue(HANDLE key, PCWSTR name, ULONG* value) {
    union {
        KEY_VALUE_PARTIAL_INFORMATION information;
        UCHAR bytes[QueryBufferBytes];
    } buffer;
    static_assert(sizeof(buffer) == QueryBufferBytes, "a 20-byte query buffer");
    NTSTATUS status = QueryRegistryValue(key, name, &buffer.information, QueryBufferBytes);
    if (NT_SUCCESS(status) && buffer.information.DataLength >= sizeof(ULONG)) {
        __builtin_memcpy(value, buffer.information.Data, sizeof(ULONG));
    }
    return status;
}

void SetDwordValue(HANDLE key, PCWSTR name, ULONG value) {
    WriteRegistryDword(key, name, value);
}

bool LoadSettings(CameraDevice* camera) {
    HANDLE deviceKey;
    HANDLE settingsKey;
    if (!OpenKeys(camera, &deviceKey, &settingsKey)) {
        return false;
    }
    ULONG stored[StoredSettingCount];
    for (SIZE_T i = 0; i < StoredSettingCount; ++i) {
        stored[i] = StoredSettings[i].defaultValue;
        QueryDwordValue(settingsKey, StoredSettings[i].name, &stored[i]);
    }
    ReadoutWindow window = {};
    for (SIZE_T i = 0; i < StoredSettingCount; ++i) {
        ApplyLoaded(camera, StoredSettings[i], stored[i], &window);
    }
    SetReadoutWindow(camera, window.x, window.y, window.width, window.height, window.mode);
    ULONG simdLevel = 0;
    QueryDwordValue(settingsKey, KERNEL_TEXT("SimdLevel"), &simdLevel);
    AtomicExchange(&camera->SimdLevel, simdLevel);
    ULONG conversionThreads = 0;
    QueryDwordValue(settingsKey, KERNEL_TEXT("ConversionThreads"), &conversionThreads);
    AtomicExchange(&camera->ConversionThreads, conversionThreads);
    CloseKeys(deviceKey, settingsKey);
    return true;
}

bool SaveSettings(CameraDevice* camera) {
    HANDLE deviceKey;
    HANDLE settingsKey;
    if (!OpenKeys(camera, &deviceKey, &settingsKey)) {
        return false;
    }
    for (const StoredSetting& setting : StoredSettings) {
        SetDwordValue(settingsKey, setting.name, RelaxedRead(setting.field(camera)));
    }
    CloseKeys(deviceKey, settingsKey);
    return true;
}
