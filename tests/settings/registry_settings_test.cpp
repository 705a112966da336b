// Registry persistence of the camera's settings: defaults of an empty key,
// the clamps of every value as stored (signed and unsigned), what a load
// hands on, values of other types and sizes, the save in table order, and a
// device whose key cannot be opened.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "camera/camera_device.h"
#include "host/ks/device.h"
#include "host/nt/devices.h"
#include "host/nt/reg_file.h"
#include "host/nt/registry_store.h"
#include "pipeline/image_pipeline.h"
#include "settings/registry_settings.h"
#include "tests/support/capture_fixture.h"

namespace {

using testing_support::DriverTest;

// The table order of the stored values.
const std::vector<std::string> ValueNames = {
    "Timeout",    "Exposure",    "GlobalGain",   "FlipH",
    "FlipV",      "ColorEnable", "WhiteBalance", "ColorCorrection",
    "Brightness", "Contrast",    "Saturation",   "Hue",
    "RedGain",    "GreenGain",   "BlueGain",     "AGC",
    "AEC",        "SubSample",   "RoiX",         "RoiY",
    "RoiW",       "RoiH",        "Red",          "Green1",
    "Green2",     "Blue",        "HalfClock",    "CameraNo",
};

class RegistrySettings : public DriverTest {
protected:
    void SetUp() override {
        DriverTest::SetUp();
        camera = AddDevice();
        ASSERT_NE(camera, nullptr);
        driverKey = host::DriverKeyPath(LastDevice().PhysicalDeviceObject());
        settingsKey = driverKey + "\\Settings";
    }

    void Store(const char* name, uint32_t value) {
        host::RegistrySetDword(settingsKey, name, value);
    }

    // Stores each value in turn, loads, and compares the field.
    template <typename T>
    void ExpectLoads(const char* name, T CameraDevice::*field,
                     std::vector<std::pair<uint32_t, T>> cases) {
        for (const auto& [stored, expected] : cases) {
            SCOPED_TRACE(std::string(name) + " stored as " + std::to_string(stored));
            Store(name, stored);
            ASSERT_TRUE(LoadSettings(camera));
            EXPECT_EQ(camera->*field, expected);
        }
    }

    CameraDevice* camera = nullptr;
    std::string driverKey;
    std::string settingsKey;
};

using RegistrySettingsLoad = RegistrySettings;
using RegistrySettingsSave = RegistrySettings;
using RegistrySettingsWithoutKey = RegistrySettings;
using RegistrySettingsFile = DriverTest;

// The defaults themselves are what every control item's get answers on a
// started device (the control property set's test).
TEST_F(RegistrySettingsLoad, EmptyKeyGivesTheDefaultsAndMarksEverySensorGroup) {
    ASSERT_FALSE(host::RegistryKeyExists(settingsKey));
    camera->PendingChanges = 0x4;
    ASSERT_TRUE(LoadSettings(camera));
    EXPECT_EQ(camera->CameraNo, 0);
    EXPECT_EQ(camera->WindowWidth, 4384);
    EXPECT_EQ(camera->WindowHeight, 3288);
    EXPECT_EQ(camera->PendingChanges, 0xF0Fu) << "added to the bits already set";
    // The key is created, but nothing is written to it until a save.
    EXPECT_TRUE(host::RegistryKeyExists(settingsKey));
    EXPECT_TRUE(host::RegistryValueNames(settingsKey).empty());
}

// The channel gains are loaded after GlobalGain, which copies itself into them.
TEST_F(RegistrySettingsLoad, StoredChannelGainsReplaceTheCopiesOfGlobalGain) {
    Store("GlobalGain", 40);
    Store("Red", 11);
    Store("Blue", 44);
    ASSERT_TRUE(LoadSettings(camera));
    EXPECT_EQ(camera->GlobalGain, 40);
    EXPECT_EQ(camera->Red, 11);
    EXPECT_EQ(camera->Blue, 44);
}

TEST_F(RegistrySettingsLoad, FlipHAgcAecAndHalfClockAreNotApplied) {
    camera->FlipH = 1;
    Store("FlipH", 0);
    Store("AGC", 1);
    Store("AEC", 1);
    Store("HalfClock", 1);
    ASSERT_TRUE(LoadSettings(camera));
    EXPECT_EQ(camera->FlipH, 1u);
    EXPECT_EQ(camera->AGC, 0u);
    EXPECT_EQ(camera->AEC, 0u);
    EXPECT_EQ(camera->HalfClock, 0u);
}

TEST_F(RegistrySettingsLoad, TimeoutIsTakenOnlyFrom501To9999) {
    for (uint32_t stored : {500u, 10000u, 0u, 0xFFFFFFFFu}) {
        SCOPED_TRACE(stored);
        camera->Timeout = 1234;
        Store("Timeout", stored);
        ASSERT_TRUE(LoadSettings(camera));
        EXPECT_EQ(camera->Timeout, 1234u);
    }
    ExpectLoads<ULONG>("Timeout", &CameraDevice::Timeout, {{501, 501}, {9999, 9999}});
}

// A negative stored value counts as very large.
TEST_F(RegistrySettingsLoad, UnsignedClampsCompareTheStoredPattern) {
    ExpectLoads<LONG>("Exposure", &CameraDevice::Exposure,
                      {{0, 1}, {1, 1}, {8191, 8191}, {8192, 8191}, {0xFFFFFFFF, 8191}});
    ExpectLoads<LONG>("GlobalGain", &CameraDevice::GlobalGain,
                      {{0, 0}, {127, 127}, {128, 127}, {0x80000000, 127}});
    ExpectLoads<LONG>("SubSample", &CameraDevice::SubSample,
                      {{2, 2}, {3, 0}, {1, 1}, {0xFFFFFFFF, 0}});
}

TEST_F(RegistrySettingsLoad, SignedClampsKeepNegativeValuesLow) {
    ExpectLoads<LONG>("Brightness", &CameraDevice::Brightness,
                      {{0xFFFFFFFF, 0}, {0, 0}, {510, 510}, {511, 510}, {0x80000000, 0}});
    ExpectLoads<LONG>("Contrast", &CameraDevice::Contrast, {{0xFFFFFFFF, 0}, {20, 20}, {21, 20}});
    ExpectLoads<LONG>("Saturation", &CameraDevice::Saturation,
                      {{0xFFFFFFFF, 0}, {20, 20}, {21, 20}});
    ExpectLoads<LONG>("Hue", &CameraDevice::Hue, {{0xFFFFFFFF, 0}, {359, 359}, {360, 359}});
    ExpectLoads<LONG>("RedGain", &CameraDevice::RedGain, {{0xFFFFFFFF, 0}, {300, 300}, {301, 300}});
    ExpectLoads<LONG>("GreenGain", &CameraDevice::GreenGain,
                      {{0xFFFFFFFF, 0}, {300, 300}, {301, 300}});
    ExpectLoads<LONG>("BlueGain", &CameraDevice::BlueGain,
                      {{0xFFFFFFFF, 0}, {300, 300}, {301, 300}});
    ExpectLoads<LONG>("CameraNo", &CameraDevice::CameraNo,
                      {{0xFFFFFFFF, 0}, {0, 0}, {31, 31}, {32, 31}, {40, 31}, {0x7FFFFFFF, 31}});
}

TEST_F(RegistrySettingsLoad, FlipVBecomesOneAndUnclampedValuesAreTakenAsStored) {
    ExpectLoads<ULONG>("FlipV", &CameraDevice::FlipV, {{2, 1}, {0xFFFFFFFF, 1}, {0, 0}});
    ExpectLoads<ULONG>("ColorEnable", &CameraDevice::ColorEnable, {{7, 7}});
    ExpectLoads<ULONG>("ColorCorrection", &CameraDevice::ColorCorrection,
                       {{0xFFFFFFFF, 0xFFFFFFFF}});
    ExpectLoads<ULONG>("WhiteBalance", &CameraDevice::WhiteBalance, {{2, 2}});
    ExpectLoads<LONG>("Red", &CameraDevice::Red, {{0xFFFFFFFF, -1}, {500, 500}});
    ExpectLoads<LONG>("Green1", &CameraDevice::Green1, {{128, 128}});
    ExpectLoads<LONG>("Green2", &CameraDevice::Green2, {{0, 0}});
    ExpectLoads<LONG>("Blue", &CameraDevice::Blue, {{0x80000000, LONG(0x80000000)}});
}

TEST_F(RegistrySettingsLoad, WindowIsPreClampedAsUnsignedThenSetOnce) {
    Store("RoiX", 100);
    Store("RoiW", 5000);
    ASSERT_TRUE(LoadSettings(camera));
    EXPECT_EQ(camera->RoiX, 100);
    EXPECT_EQ(camera->RoiW, 4284);
    EXPECT_EQ(camera->WindowWidth, 4284);
    EXPECT_EQ(camera->OutputWidth, 4280);

    // As signed values these would be -1 and become the smallest window.
    Store("RoiX", 0xFFFFFFFF);
    Store("RoiY", 3288);
    Store("RoiW", 0xFFFFFFFF);
    Store("RoiH", 0xFFFFFFFF);
    ASSERT_TRUE(LoadSettings(camera));
    EXPECT_EQ(camera->RoiX, 0);
    EXPECT_EQ(camera->RoiY, 0);
    EXPECT_EQ(camera->RoiW, 4384);
    EXPECT_EQ(camera->RoiH, 3288);

    Store("SubSample", 1);
    ASSERT_TRUE(LoadSettings(camera));
    EXPECT_EQ(camera->SubSample, 1);
    EXPECT_EQ(camera->WindowWidth, 2192);
    EXPECT_EQ(camera->WindowHeight, 1644);
}

// The format lock as the driver takes it: a capture pin exists.
using RegistrySettingsWithAPin = driver_test::CaptureTest;

TEST_F(RegistrySettingsWithAPin, WindowStaysWhileAPinHoldsTheFormat) {
    ASSERT_NE(StartDevice(4384, 3288), nullptr);
    ASSERT_EQ(CreatePin(), STATUS_SUCCESS);
    host::RegistrySetDword(SettingsKey(), "RoiW", 1000);
    ASSERT_TRUE(LoadSettings(camera_));
    EXPECT_EQ(camera_->RoiW, 4384);
    EXPECT_EQ(camera_->WindowWidth, 4384);
}

TEST_F(RegistrySettingsLoad, AttachedPipelineReceivesTheClampedValues) {
    ImagePipeline* pipeline = CreateImagePipeline();
    ASSERT_NE(pipeline, nullptr);
    camera->ImagePipeline = pipeline;
    Store("ColorEnable", 0);
    Store("WhiteBalance", 1);
    Store("ColorCorrection", 0);
    Store("Brightness", 600);
    Store("Contrast", 0xFFFFFFFF);
    Store("Saturation", 15);
    Store("Hue", 45);
    Store("RedGain", 301);
    Store("GreenGain", 100);
    Store("BlueGain", 90);
    ASSERT_TRUE(LoadSettings(camera));
    EXPECT_EQ(pipeline->colourEnabled, 0);
    EXPECT_EQ(pipeline->whiteBalanceEnabled, 1);
    EXPECT_EQ(pipeline->colourCorrection, 0);
    EXPECT_EQ(pipeline->brightness, 510);
    EXPECT_EQ(pipeline->contrast, 0);
    EXPECT_EQ(pipeline->saturation, 15);
    EXPECT_EQ(pipeline->hue, 45);
    EXPECT_EQ(pipeline->redGainSetting, 300);
    EXPECT_EQ(pipeline->greenGainSetting, 100);
    EXPECT_EQ(pipeline->blueGainSetting, 90);
    camera->ImagePipeline = nullptr;
    FreeImagePipeline(pipeline);
}

// White balance switched off with a pipeline attached copies the pipeline's
// gains back; the stored gains, applied after it, win.
TEST_F(RegistrySettingsLoad, StoredGainsWinOverThoseWhiteBalanceCopiesBack) {
    ImagePipeline* pipeline = CreateImagePipeline();
    ASSERT_NE(pipeline, nullptr);
    SetRedGain(pipeline, 7);
    camera->ImagePipeline = pipeline;
    Store("WhiteBalance", 0);
    Store("RedGain", 250);
    ASSERT_TRUE(LoadSettings(camera));
    EXPECT_EQ(camera->RedGain, 250);
    EXPECT_EQ(pipeline->redGainSetting, 250);
    camera->ImagePipeline = nullptr;
    FreeImagePipeline(pipeline);
}

TEST_F(RegistrySettingsLoad, WaitsForThePipelineLock) {
    ImagePipeline* pipeline = CreateImagePipeline();
    ASSERT_NE(pipeline, nullptr);
    camera->ImagePipeline = pipeline;
    Store("Brightness", 100);
    AcquirePassiveLock(&camera->PipelineLock);
    std::atomic<bool> loaded{false};
    std::thread loader([&] { loaded = LoadSettings(camera); });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(loaded);
    EXPECT_EQ(pipeline->colourEnabled, 1);
    ReleasePassiveLock(&camera->PipelineLock);
    loader.join();
    EXPECT_TRUE(loaded);
    EXPECT_EQ(pipeline->brightness, 100);
    camera->ImagePipeline = nullptr;
    FreeImagePipeline(pipeline);
}

TEST_F(RegistrySettingsLoad, AnyTypeWithFourToEightBytesSuppliesItsFirstFourBytes) {
    // "ab" with its terminator: 61 00 62 00 00 00.
    host::RegistrySetString(settingsKey, "Red", "ab");
    host::RegistrySetValue(settingsKey, "Green1", REG_BINARY, {1, 2, 3, 4, 5, 6, 7, 8});
    host::RegistrySetValue(settingsKey, "Green2", REG_DWORD_BIG_ENDIAN, {0, 0, 0, 9});
    host::RegistrySetValue(settingsKey, "Blue", REG_QWORD, {0x2A, 0, 0, 0, 1, 0, 0, 0});
    ASSERT_TRUE(LoadSettings(camera));
    EXPECT_EQ(camera->Red, 0x00620061);
    EXPECT_EQ(camera->Green1, 0x04030201);
    EXPECT_EQ(camera->Green2, 0x09000000);
    EXPECT_EQ(camera->Blue, 42);
}

TEST_F(RegistrySettingsLoad, ValuesTooLongOrTooShortKeepTheDefault) {
    host::RegistrySetValue(settingsKey, "Red", REG_BINARY, {1, 2, 3, 4, 5, 6, 7, 8, 9});
    host::RegistrySetValue(settingsKey, "Green1", REG_DWORD, {1, 2, 3});
    host::RegistrySetString(settingsKey, "Green2", "");
    host::RegistrySetString(settingsKey, "Blue", "four");
    ASSERT_TRUE(LoadSettings(camera));
    EXPECT_EQ(camera->Red, 80);
    EXPECT_EQ(camera->Green1, 80);
    EXPECT_EQ(camera->Green2, 80);
    EXPECT_EQ(camera->Blue, 80);
}

TEST_F(RegistrySettingsLoad, QueryDwordValueReportsTheQueryStatus) {
    host::RegistrySetValue(settingsKey, "Long", REG_BINARY, std::vector<uint8_t>(9, 1));
    host::RegistrySetValue(settingsKey, "Short", REG_BINARY, {1, 2});
    HANDLE deviceKey;
    ASSERT_EQ(IoOpenDeviceRegistryKey(camera->PhysicalDeviceObject, PLUGPLAY_REGKEY_DRIVER,
                                      READ_CONTROL, &deviceKey),
              STATUS_SUCCESS);
    HANDLE key;
    ASSERT_EQ(OpenSettingsKey(deviceKey, u"Settings", &key), STATUS_SUCCESS);
    ULONG value = 77;
    EXPECT_EQ(QueryDwordValue(key, u"Missing", &value), STATUS_OBJECT_NAME_NOT_FOUND);
    EXPECT_EQ(QueryDwordValue(key, u"Long", &value), STATUS_BUFFER_OVERFLOW);
    EXPECT_EQ(QueryDwordValue(key, u"Short", &value), STATUS_SUCCESS);
    EXPECT_EQ(value, 77u);
    ZwClose(key);
    ZwClose(deviceKey);
}

TEST_F(RegistrySettingsLoad, OpenSettingsKeyCreatesEachMissingParent) {
    HANDLE deviceKey;
    ASSERT_EQ(IoOpenDeviceRegistryKey(camera->PhysicalDeviceObject, PLUGPLAY_REGKEY_DRIVER,
                                      READ_CONTROL, &deviceKey),
              STATUS_SUCCESS);
    HANDLE key;
    ASSERT_EQ(OpenSettingsKey(deviceKey, u"A\\B\\C", &key), STATUS_SUCCESS);
    SetDwordValue(key, u"Value", 3);
    EXPECT_EQ(host::RegistryGetDword(driverKey + "\\A\\B\\C", "Value"), 3u);
    ZwClose(key);
    ASSERT_EQ(OpenSettingsKey(deviceKey, u"A\\\\D", &key), STATUS_OBJECT_NAME_INVALID);
    EXPECT_EQ(key, nullptr);
    ZwClose(deviceKey);
}

TEST_F(RegistrySettingsSave, WritesEveryFieldInTableOrderAsItIs) {
    // Values a load would clamp are saved unclamped.
    camera->Timeout = 10;
    camera->Exposure = 9000;
    camera->GlobalGain = 14;
    camera->FlipH = 1;
    camera->FlipV = 1;
    camera->ColorEnable = 0;
    camera->WhiteBalance = 1;
    camera->ColorCorrection = 0;
    camera->Brightness = -5;
    camera->Contrast = 19;
    camera->Saturation = 18;
    camera->Hue = 17;
    camera->RedGain = 301;
    camera->GreenGain = 129;
    camera->BlueGain = 127;
    camera->AGC = 1;
    camera->AEC = 2;
    camera->SubSample = 2;
    camera->RoiX = 8;
    camera->RoiY = 6;
    camera->RoiW = 640;
    camera->RoiH = 480;
    camera->Red = 1;
    camera->Green1 = 2;
    camera->Green2 = 3;
    camera->Blue = 4;
    camera->HalfClock = 1;
    camera->CameraNo = 40;
    ASSERT_TRUE(SaveSettings(camera));

    EXPECT_EQ(host::RegistryValueNames(settingsKey), ValueNames);
    const std::vector<uint32_t> expected = {10,  9000, 14,  1,   1,   0, 1, 0, 0xFFFFFFFB, 19,
                                            18,  17,   301, 129, 127, 1, 2, 2, 8,          6,
                                            640, 480,  1,   2,   3,   4, 1, 40};
    for (size_t i = 0; i < ValueNames.size(); ++i) {
        SCOPED_TRACE(ValueNames[i]);
        auto value = host::RegistryGetValue(settingsKey, ValueNames[i]);
        ASSERT_TRUE(value.has_value());
        EXPECT_EQ(value->type, ULONG(REG_DWORD));
        EXPECT_EQ(host::RegistryGetDword(settingsKey, ValueNames[i]), expected[i]);
    }
}

TEST_F(RegistrySettingsSave, RewritesExistingValuesInTheirPlaceAndKeepsOthers) {
    host::RegistrySetString(settingsKey, "Comment", "kept");
    Store("exposure", 1);
    camera->Exposure = 321;
    ASSERT_TRUE(SaveSettings(camera));
    std::vector<std::string> names = host::RegistryValueNames(settingsKey);
    ASSERT_EQ(names.size(), 29u);
    EXPECT_EQ(names[0], "Comment");
    EXPECT_EQ(names[1], "exposure");
    EXPECT_EQ(host::RegistryGetDword(settingsKey, "Exposure"), 321u);
}

// Clamped on load, saved as loaded: a second load and save changes nothing.
TEST_F(RegistrySettingsSave, WhatIsSavedLoadsBackUnchanged) {
    Store("Exposure", 0);
    Store("Hue", 200);
    Store("RoiX", 64);
    Store("RoiY", 32);
    Store("RoiW", 5000);
    Store("RoiH", 768);
    Store("Green2", 99);
    ASSERT_TRUE(LoadSettings(camera));
    ASSERT_TRUE(SaveSettings(camera));
    std::vector<std::optional<uint32_t>> saved;
    for (const std::string& name : ValueNames) {
        saved.push_back(host::RegistryGetDword(settingsKey, name));
    }
    EXPECT_EQ(saved[1], 1u);
    EXPECT_EQ(saved[20], 4320u);

    ASSERT_TRUE(LoadSettings(camera));
    ASSERT_TRUE(SaveSettings(camera));
    for (size_t i = 0; i < ValueNames.size(); ++i) {
        EXPECT_EQ(host::RegistryGetDword(settingsKey, ValueNames[i]), saved[i]) << ValueNames[i];
    }
}

TEST_F(RegistrySettingsSave, DeviceRemovalSavesTheSettings) {
    camera->Exposure = 1234;
    camera->CameraNo = 3;
    LastDevice().Remove();
    EXPECT_EQ(host::RegistryValueNames(settingsKey), ValueNames);
    EXPECT_EQ(host::RegistryGetDword(settingsKey, "Exposure"), 1234u);
    EXPECT_EQ(host::RegistryGetDword(settingsKey, "CameraNo"), 3u);
}

TEST_F(RegistrySettingsWithoutKey, NothingIsWrittenAndRemovalFreesWithoutWriting) {
    camera->PhysicalDeviceObject = nullptr;
    EXPECT_FALSE(SaveSettings(camera));
    EXPECT_FALSE(camera->SaveSettings());
    EXPECT_FALSE(host::RegistryKeyExists(settingsKey));
    LastDevice().Remove();
    EXPECT_FALSE(host::RegistryKeyExists(settingsKey));
}

TEST_F(RegistrySettingsWithoutKey, ADeviceObjectWithoutKeysLoadsAndSavesNothing) {
    camera->PhysicalDeviceObject = LastDevice().Ks()->FunctionalDeviceObject;
    Store("Exposure", 100);
    EXPECT_FALSE(LoadSettings(camera));
    EXPECT_EQ(camera->Exposure, 0);
    EXPECT_EQ(camera->Red, 63);
    EXPECT_EQ(camera->PendingChanges, 0u);
    EXPECT_FALSE(SaveSettings(camera));
    EXPECT_EQ(host::RegistryValueNames(settingsKey), std::vector<std::string>{"Exposure"});
    camera->PhysicalDeviceObject = nullptr;
}

// The tool's round: the file is loaded before device add, the device loads
// and saves its settings, and the driver key goes back to the file.
TEST_F(RegistrySettingsFile, SettingsGoFromARegFileToTheDeviceAndBack) {
    std::string file = testing::TempDir() + "settings-XXXXXX";
    int descriptor = mkstemp(file.data());
    ASSERT_GE(descriptor, 0);
    close(descriptor);
    const std::string settingsKey =
        "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Class\\"
        "{ca3e7ab9-b4c3-4ae6-8251-579ef933890f}\\0000\\Settings";
    std::ofstream(file, std::ios::binary) << "Windows Registry Editor Version 5.00\r\n\r\n"
                                          << "[" << settingsKey << "]\r\n"
                                          << "\"Exposure\"=dword:64\r\n"
                                          << "\"RoiW\"=dword:ffffffff\r\n";
    ASSERT_TRUE(host::LoadRegFile(file));
    CameraDevice* camera = AddDevice();
    ASSERT_NE(camera, nullptr);
    ASSERT_TRUE(LoadSettings(camera));
    EXPECT_EQ(camera->Exposure, 100);
    EXPECT_EQ(camera->RoiW, 4384);

    camera->Hue = 30;
    ASSERT_TRUE(SaveSettings(camera));
    host::SaveRegFile(file, host::DriverKeyPath(LastDevice().PhysicalDeviceObject()));
    std::ifstream stream(file, std::ios::binary);
    std::string text(std::istreambuf_iterator<char>(stream), {});
    std::remove(file.c_str());
    std::string expected = "[" + settingsKey + "]\n\"Exposure\"=dword:00000064\n" +
                           "\"RoiW\"=dword:00001120\n\"Timeout\"=dword:00000bb8\n";
    EXPECT_NE(text.find(expected), std::string::npos) << text;
    EXPECT_NE(text.find("\n\"Hue\"=dword:0000001e\n"), std::string::npos) << text;
}

}  // namespace
