// The standard camera properties through the client API, with the requests
// a control application's library encodes: each property's range, step and
// default as the class driver describes it, the mappings onto the private
// items both ways, the refusals, persistence, and video control on the pin.
// They use nothing inside the driver, so they run on diskcam.sys too.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "host/ks/refusals.h"
#include "host/nt/registry_store.h"
#include "tests/support/capture_fixture.h"
#include "tools/controls_protocol/client.h"
#include "tools/controls_protocol/requests.h"

namespace {

using controls::PropertyRequest;
using controls::Target;
namespace Refusal = host::ks::Refusal;

class StandardProperties : public driver_test::CaptureTest, public controls::Transport {
protected:
    void SetUp() override {
        CaptureTest::SetUp();
        ASSERT_NE(StartCamera(), nullptr);
        filter_ = OpenFilter();
        ASSERT_NE(filter_, nullptr);
    }

    controls::Reply Send(Target target, PropertyRequest& request) override {
        client::Filter& filter = *filter_;
        client::RequestResult result =
            target == Target::Pin
                ? pin_->Property(request.property.data(), ULONG(request.property.size()),
                                 request.data.data(), ULONG(request.data.size()))
                : filter.Property(request.property.data(), ULONG(request.property.size()),
                                  request.data.empty() ? nullptr : request.data.data(),
                                  ULONG(request.data.size()));
        return {result.status, result.bytesReturned};
    }

    static const diskcam::StandardControl& Named(const char* name) {
        const diskcam::StandardControl* control = controls::FindStandard(name);
        EXPECT_NE(control, nullptr) << name;
        return *control;
    }

    int32_t Standard(const char* name) { return client_.Read(Named(name)).value.value; }
    NTSTATUS SetStandard(const char* name, int32_t value, bool automatic = false) {
        PropertyRequest request = controls::StandardSet(Named(name), value, automatic);
        return Send(Target::Filter, request).status;
    }
    int32_t Private(uint32_t id) { return client_.Get(id); }

    controls::ControlClient client_{*this};
};

struct RangeRow {
    const char* name;
    controls::StandardRange range;
};

constexpr RangeRow Ranges[] = {
    {"Brightness", {0, 510, 1, 255}},
    {"Contrast", {0, 20, 1, 10}},
    {"Hue", {0, 359, 1, 0}},
    {"Saturation", {0, 20, 1, 10}},
    {"Gain", {0, 127, 1, 14}},
    {"ColorEnable", {0, 1, 1, 1}},
    {"WhiteBalance", {4000, 10000, 250, 6500}},
    {"Exposure", {-13, 0, 1, -10}},
};

TEST_F(StandardProperties, EachDescribesItsRangeStepAndDefaultAndStartsThere) {
    for (const RangeRow& row : Ranges) {
        controls::StandardReading reading = client_.Read(Named(row.name));
        EXPECT_EQ(reading.range.minimum, row.range.minimum) << row.name;
        EXPECT_EQ(reading.range.maximum, row.range.maximum) << row.name;
        EXPECT_EQ(reading.range.step, row.range.step) << row.name;
        EXPECT_EQ(reading.range.defaultValue, row.range.defaultValue) << row.name;
        EXPECT_EQ(reading.value.value, row.range.defaultValue) << row.name;
        EXPECT_EQ(reading.value.canAuto, std::string(row.name) == "WhiteBalance") << row.name;
        EXPECT_FALSE(reading.value.automatic) << row.name;
    }
}

TEST_F(StandardProperties, DefaultValuesRequestListsTheDefault) {
    PropertyRequest request =
        controls::StandardSupport(Named("Gain"), KSPROPERTY_TYPE_DEFAULTVALUES, 64);
    controls::Reply reply = Send(Target::Filter, request);
    ASSERT_EQ(reply.status, STATUS_SUCCESS);
    EXPECT_EQ(controls::DecodeDefault(request, reply.bytes), 14);
}

// The encoder's records are the sets' own, and a get of one is answered in
// the whole record.
TEST_F(StandardProperties, RequestsHaveTheRecordsSizes) {
    PropertyRequest get = controls::StandardGet(Named("Brightness"));
    EXPECT_EQ(get.property.size(), sizeof(KSPROPERTY_VIDEOPROCAMP_S));
    EXPECT_EQ(get.data.size(), sizeof(KSPROPERTY_VIDEOPROCAMP_S));
    EXPECT_EQ(Send(Target::Filter, get).bytes, sizeof(KSPROPERTY_VIDEOPROCAMP_S));
    EXPECT_EQ(controls::StandardGet(Named("Exposure")).data.size(),
              sizeof(KSPROPERTY_CAMERACONTROL_S));
    EXPECT_EQ(controls::StandardGet(Named("FlipVertical")).data.size(),
              sizeof(KSPROPERTY_VIDEOCONTROL_MODE_S));
    EXPECT_EQ(controls::VideoControlCaps().data.size(), sizeof(KSPROPERTY_VIDEOCONTROL_CAPS_S));
    PropertyRequest set = controls::StandardSet(Named("WhiteBalance"), 5000, false);
    KSPROPERTY_VIDEOPROCAMP_S record;
    ASSERT_EQ(set.data.size(), sizeof(record));
    std::memcpy(&record, set.data.data(), sizeof(record));
    const GUID procAmp = {STATIC_PROPSETID_VIDCAP_VIDEOPROCAMP};
    EXPECT_TRUE(IsEqualGUID(record.Property.Set, procAmp));
    EXPECT_EQ(record.Property.Id, ULONG{KSPROPERTY_VIDEOPROCAMP_WHITEBALANCE});
    EXPECT_EQ(record.Property.Flags, ULONG{KSPROPERTY_TYPE_SET});
    EXPECT_EQ(record.Value, 5000);
    EXPECT_EQ(record.Flags, ULONG{KSPROPERTY_VIDEOPROCAMP_FLAGS_MANUAL});
    EXPECT_EQ(std::memcmp(set.property.data(), set.data.data(), sizeof(KSPROPERTY)), 0);
    EXPECT_EQ(controls::PrivateGet(2).data.size(), 32u);
    EXPECT_EQ(controls::PrivateWindowSet({0, 0, 0, 64, 64}).property.size(), 48u);
}

// Identity mappings: the private item's value and its clamps.
TEST_F(StandardProperties, IdentityMappingsAreThePrivateItems) {
    ASSERT_EQ(SetStandard("Brightness", 300), STATUS_SUCCESS);
    EXPECT_EQ(Private(20), 300);
    client_.Set(24, 17);
    EXPECT_EQ(Standard("Contrast"), 17);
    ASSERT_EQ(SetStandard("Hue", 400), STATUS_SUCCESS);
    EXPECT_EQ(Private(32), 359);
    ASSERT_EQ(SetStandard("Saturation", -3), STATUS_SUCCESS);
    EXPECT_EQ(Standard("Saturation"), 0);
    ASSERT_EQ(SetStandard("Gain", -1), STATUS_SUCCESS);
    EXPECT_EQ(Private(6), 127) << "GlobalGain clamps unsigned";
    EXPECT_EQ(Private(60), 127) << "and reaches the channel gains";
    ASSERT_EQ(SetStandard("ColorEnable", 0), STATUS_SUCCESS);
    EXPECT_EQ(Private(12), 0);
}

TEST_F(StandardProperties, ExposureIsLog2SecondsOfExposureUnitsOf2ToTheMinus13) {
    ASSERT_EQ(SetStandard("Exposure", -5), STATUS_SUCCESS);
    EXPECT_EQ(Private(2), 256);
    EXPECT_EQ(Standard("Exposure"), -5);
    ASSERT_EQ(SetStandard("Exposure", 3), STATUS_SUCCESS);
    EXPECT_EQ(Private(2), 8191);
    EXPECT_EQ(Standard("Exposure"), 0);
    ASSERT_EQ(SetStandard("Exposure", -40), STATUS_SUCCESS);
    EXPECT_EQ(Private(2), 1);
    EXPECT_EQ(Standard("Exposure"), -13);
    client_.Set(2, 100);  // log2 100 = 6.64
    EXPECT_EQ(Standard("Exposure"), -6);
    client_.Set(2, 90);  // log2 90 = 6.49
    EXPECT_EQ(Standard("Exposure"), -7);
    for (int32_t log2Seconds = -13; log2Seconds <= 0; ++log2Seconds) {
        ASSERT_EQ(SetStandard("Exposure", log2Seconds), STATUS_SUCCESS);
        EXPECT_EQ(Standard("Exposure"), log2Seconds);
    }
}

TEST_F(StandardProperties, WhiteBalanceIsAColourTemperatureOfTheRedAndBlueGains) {
    ASSERT_EQ(SetStandard("WhiteBalance", 5000), STATUS_SUCCESS);
    EXPECT_EQ(Private(14), 108);
    EXPECT_EQ(Private(16), 170);
    EXPECT_EQ(Private(15), 128) << "green stays";
    ASSERT_EQ(SetStandard("WhiteBalance", 5100), STATUS_SUCCESS);
    EXPECT_EQ(Standard("WhiteBalance"), 5000) << "to the nearest step";
    ASSERT_EQ(SetStandard("WhiteBalance", 2000), STATUS_SUCCESS);
    EXPECT_EQ(Private(14), 89);
    EXPECT_EQ(Private(16), 233);
    EXPECT_EQ(Standard("WhiteBalance"), 4000);
    ASSERT_EQ(SetStandard("WhiteBalance", 99999), STATUS_SUCCESS);
    EXPECT_EQ(Standard("WhiteBalance"), 10000);
    for (int32_t kelvin = 4000; kelvin <= 10000; kelvin += 250) {
        ASSERT_EQ(SetStandard("WhiteBalance", kelvin), STATUS_SUCCESS);
        EXPECT_EQ(Standard("WhiteBalance"), kelvin);
    }
    client_.Set(14, 300);
    client_.Set(16, 0);
    EXPECT_EQ(Standard("WhiteBalance"), 10000) << "the nearest step to any gains";
}

TEST_F(StandardProperties, WhiteBalancesAutoFlagIsAutomaticWhiteBalance) {
    ASSERT_EQ(SetStandard("WhiteBalance", 0, true), STATUS_SUCCESS);
    EXPECT_EQ(Private(13), 1);
    EXPECT_TRUE(client_.Read(Named("WhiteBalance")).value.automatic);
    ASSERT_EQ(SetStandard("WhiteBalance", 7000), STATUS_SUCCESS);
    EXPECT_EQ(Private(13), 0) << "a value is manual";
    EXPECT_FALSE(client_.Read(Named("WhiteBalance")).value.automatic);
    client_.Set(13, 1);
    EXPECT_TRUE(client_.Read(Named("WhiteBalance")).value.automatic);
}

TEST_F(StandardProperties, AutoWithoutAnAutoFlagAndOtherFlagsAreRefused) {
    EXPECT_EQ(SetStandard("Brightness", 100, true), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(Private(20), 255) << "nothing changed";
    PropertyRequest relative = controls::StandardSet(Named("Exposure"), -3, false);
    KSPROPERTY_CAMERACONTROL_S record;
    std::memcpy(&record, relative.data.data(), sizeof(record));
    record.Flags = KSPROPERTY_CAMERACONTROL_FLAGS_RELATIVE;
    std::memcpy(relative.data.data(), &record, sizeof(record));
    EXPECT_EQ(Send(Target::Filter, relative).status, STATUS_INVALID_PARAMETER);
    EXPECT_EQ(Private(2), 8);
}

// A set through either set is the private field, which the filter's close
// saves as the private set's sets are saved.
TEST_F(StandardProperties, SetsPersistAsThePrivateItems) {
    ASSERT_EQ(SetStandard("Brightness", 321), STATUS_SUCCESS);
    ASSERT_EQ(SetStandard("WhiteBalance", 9000), STATUS_SUCCESS);
    ASSERT_EQ(SetStandard("Exposure", -4), STATUS_SUCCESS);
    filter_.reset();
    const std::string key = SettingsKey();
    EXPECT_EQ(host::RegistryGetDword(key, "Brightness"), 321u);
    EXPECT_EQ(host::RegistryGetDword(key, "RedGain"), 149u);
    EXPECT_EQ(host::RegistryGetDword(key, "BlueGain"), 100u);
    EXPECT_EQ(host::RegistryGetDword(key, "WhiteBalance"), 0u);
    EXPECT_EQ(host::RegistryGetDword(key, "Exposure"), 512u);
}

TEST_F(StandardProperties, VideoControlOnThePinFlipsVerticallyOnly) {
    ASSERT_EQ(CreatePin(), STATUS_SUCCESS);
    controls::StandardReading flip = client_.Read(Named("FlipVertical"));
    EXPECT_EQ(flip.value.value, 0);
    EXPECT_EQ(flip.range.maximum, 1) << "the capabilities have the vertical flip";
    PropertyRequest caps = controls::VideoControlCaps();
    ASSERT_EQ(Send(Target::Pin, caps).status, STATUS_SUCCESS);
    EXPECT_EQ(controls::DecodeVideoControlCaps(caps), ULONG{KS_VideoControlFlag_FlipVertical});

    client_.Set(Named("FlipVertical"), 1, false);
    EXPECT_EQ(Private(11), 1);
    EXPECT_EQ(client_.Read(Named("FlipVertical")).value.value, 1);
    PropertyRequest mirror = controls::VideoControlModeSet(KS_VideoControlFlag_FlipHorizontal);
    EXPECT_EQ(Send(Target::Pin, mirror).status, STATUS_INVALID_PARAMETER) << "no mirror";
    EXPECT_EQ(Private(11), 1) << "a refused mode changes nothing";
    client_.Set(11, 0);
    EXPECT_EQ(client_.Read(Named("FlipVertical")).value.value, 0);

    PropertyRequest otherStream = controls::VideoControlModeSet(0);
    KSPROPERTY_VIDEOCONTROL_MODE_S request;
    std::memcpy(&request, otherStream.property.data(), sizeof(request));
    request.StreamIndex = 1;
    std::memcpy(otherStream.property.data(), &request, sizeof(request));
    EXPECT_EQ(Send(Target::Pin, otherStream).status, STATUS_INVALID_PARAMETER);
    PropertyRequest onTheFilter = controls::VideoControlCaps();
    EXPECT_EQ(Send(Target::Filter, onTheFilter).status, Refusal::UnknownPropertySet);
}

}  // namespace
