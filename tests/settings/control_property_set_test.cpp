// The control property set through the client API, on the capture filter of
// a started device: every item's get and set, the clamps at their edges,
// sets accepted without effect, the class driver's refusals, requests that
// find no device, the readout window while a pin exists, pipeline settings
// with and without an attached pipeline, and requests alongside streaming.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "camera/sensor.h"
#include "capture/capture_engine.h"
#include "host/client/filter.h"
#include "host/client/pin.h"
#include "host/ks/refusals.h"
#include "host/ks/request.h"
#include "pipeline/image_pipeline.h"
#include "platform/atomics.h"
#include "settings/control_property_set.h"
#include "tests/support/driver_fixture.h"

namespace {

namespace Refusal = host::ks::Refusal;

// {caa3f35d-d36c-48bc-9fe6-fcbdb1472c9c}, as a control application knows it.
const GUID ControlSet = {
    0xcaa3f35d, 0xd36c, 0x48bc, {0x9f, 0xe6, 0xfc, 0xbd, 0xb1, 0x47, 0x2c, 0x9c}};

constexpr ULONG Get = KSPROPERTY_TYPE_GET;
constexpr ULONG Set = KSPROPERTY_TYPE_SET;
constexpr LONG Untouched = 0x5A5A5A5A;

struct Reply {
    NTSTATUS status;
    ULONG bytes;
    LONG value;
};

// A request or reply built byte by byte: GUID, id, flags, value, then 0xA5.
std::vector<UCHAR> ControlRecord(ULONG id, ULONG flags, LONG value, ULONG length = 32) {
    std::vector<UCHAR> record(std::max<ULONG>(length, 28), 0xA5);
    std::memcpy(record.data(), &ControlSet, sizeof(ControlSet));
    std::memcpy(record.data() + 16, &id, 4);
    std::memcpy(record.data() + 20, &flags, 4);
    std::memcpy(record.data() + 24, &value, 4);
    return record;
}

Reply Send(client::Filter& filter, ULONG id, ULONG flags, LONG value, ULONG length = 32) {
    std::vector<UCHAR> property = ControlRecord(id, flags, value, length);
    std::vector<UCHAR> data = ControlRecord(id, flags, value, length);
    client::RequestResult result = filter.Property(property.data(), length, data.data(), length);
    LONG reply;
    std::memcpy(&reply, data.data() + 24, 4);
    return {result.status, result.bytesReturned, reply};
}

class ControlPropertySetTest : public testing_support::DriverTest {
protected:
    void SetUp() override {
        DriverTest::SetUp();
        camera_ = AddDevice();
        ASSERT_NE(camera_, nullptr);
        ASSERT_EQ(LastDevice().Start(), STATUS_SUCCESS);
        filter_ = OpenFilter();
        ASSERT_NE(filter_, nullptr);
    }

    void TearDown() override {
        pin_.reset();
        filter_.reset();
        DriverTest::TearDown();
    }

    static std::unique_ptr<client::Filter> OpenFilter() {
        const GUID capture = {STATIC_KSCATEGORY_CAPTURE};
        std::vector<std::string> paths = client::FindFilters(capture);
        std::unique_ptr<client::Filter> filter;
        if (paths.size() != 1 || client::Filter::Open(paths[0], &filter) != STATUS_SUCCESS) {
            return nullptr;
        }
        return filter;
    }

    LONG Value(ULONG id) {
        Reply reply = Send(*filter_, id, Get, Untouched);
        EXPECT_EQ(reply.status, STATUS_SUCCESS) << "get of " << id;
        return reply.value;
    }
    NTSTATUS SetItem(ULONG id, LONG value) { return Send(*filter_, id, Set, value).status; }

    NTSTATUS SetWindow(LONG mode, LONG x, LONG y, LONG width, LONG height) {
        std::vector<UCHAR> request = ControlRecord(44, Set, mode, 48);
        const LONG fields[] = {x, y, width, height};
        std::memcpy(request.data() + 28, fields, sizeof(fields));
        return filter_->Property(request.data(), 48, request.data(), 48).status;
    }

    // A capture pin in the format its intersect handler proposes.
    void CreatePin() {
        std::vector<std::vector<UCHAR>> ranges = filter_->DataRanges(0);
        ASSERT_EQ(ranges.size(), 3u);
        std::vector<UCHAR> format;
        ASSERT_EQ(filter_
                      ->Intersect(0, ranges[0].data(), static_cast<ULONG>(ranges[0].size()), 4096,
                                  &format)
                      .status,
                  STATUS_SUCCESS);
        ASSERT_EQ(filter_->CreatePin(0, format.data(), static_cast<ULONG>(format.size()), &pin_),
                  STATUS_SUCCESS);
    }

    void AttachPipeline() {
        CreatePin();
        ASSERT_EQ(pin_->SetState(KSSTATE_ACQUIRE), STATUS_SUCCESS);
        ASSERT_NE(camera_->ImagePipeline, nullptr);
    }

    CameraDevice* camera_ = nullptr;
    std::unique_ptr<client::Filter> filter_;
    std::unique_ptr<client::Pin> pin_;
};

// --- Every item ---------------------------------------------------------------

// What a get of each item answers on a device started with an empty Settings
// key: a constant (even without a device), a setting, or a refusal.
enum class Answer { Const, Field, None };
constexpr Answer Const = Answer::Const;
constexpr Answer Field = Answer::Field;
constexpr Answer None = Answer::None;

struct ItemRow {
    ULONG id;
    Answer get;
    LONG value;
    bool sets;
};

// clang-format off
constexpr ItemRow Items[] = {
    {0, Const, 0, true},      {1, Field, 3000, true},   {2, Field, 8, true},      {3, Const, 1, false},
    {4, Const, 8191, false},  {5, Const, 8, false},     {6, Field, 14, true},     {7, Const, 0, false},
    {8, Const, 127, false},   {9, Const, 14, false},    {10, Field, 0, true},     {11, Field, 0, true},
    {12, Field, 1, true},     {13, Field, 0, true},     {14, Field, 128, true},   {15, Field, 128, true},
    {16, Field, 128, true},   {17, Const, 1, false},    {18, Const, 255, false},  {19, Const, 128, false},
    {20, Field, 255, true},   {21, Const, 0, false},    {22, Const, 510, false},  {23, Const, 255, false},
    {24, Field, 10, true},    {25, Const, 0, false},    {26, Const, 20, false},   {27, Const, 10, false},
    {28, Field, 10, true},    {29, Const, 0, false},    {30, Const, 20, false},   {31, Const, 10, false},
    {32, Field, 0, true},     {33, Const, 0, false},    {34, Const, 359, false},  {35, Const, 0, false},
    {36, Const, 2, false},    {37, Field, 0, false},    {38, Const, 4384, false}, {39, Const, 3288, false},
    {40, Field, 0, false},    {41, Field, 0, false},    {42, Field, 4384, false}, {43, Field, 3288, false},
    {44, None, 0, true},      {45, Field, 0, false},    {46, Const, 0, false},    {47, None, 0, true},
    {48, Field, 1, true},     {49, Field, 0, true},     {50, Const, 0, false},    {51, Const, 0, false},
    {52, Const, 1, false},    {53, Const, 0, false},    {54, Const, 0, false},    {55, Field, 0, true},
    {56, Field, 0, true},     {57, Field, 0, true},     {58, Const, 0, false},    {59, Const, 127, false},
    {60, Field, 80, true},    {61, Field, 80, true},    {62, Field, 80, true},    {63, Field, 80, true},
    {64, None, 0, true},      {65, Const, 1, false},
};
// clang-format on
static_assert(sizeof(Items) / sizeof(Items[0]) == 66, "every item");

// Item 44 carries a 48-byte WindowRequest; every other item 32 bytes.
ULONG LengthOf(ULONG id) {
    return id == 44 ? 48 : 32;
}

TEST_F(ControlPropertySetTest, EveryItemGetsAndSetsAsItsRowSays) {
    for (const ItemRow& row : Items) {
        Reply got = Send(*filter_, row.id, Get, Untouched, LengthOf(row.id));
        if (row.get == None) {
            EXPECT_EQ(got.status, Refusal::OperationNotSupported) << "get of " << row.id;
        } else {
            EXPECT_EQ(got.status, STATUS_SUCCESS) << "get of " << row.id;
            EXPECT_EQ(got.bytes, 32u) << "get of " << row.id;
            EXPECT_EQ(got.value, row.value) << "get of " << row.id;
        }
        std::vector<UCHAR> query =
            ControlRecord(row.id, KSPROPERTY_TYPE_BASICSUPPORT, 0, LengthOf(row.id));
        ULONG access = 0xA5A5A5A5;
        ASSERT_EQ(filter_->Property(query.data(), LengthOf(row.id), &access, 4).status,
                  STATUS_SUCCESS);
        EXPECT_EQ(access, (row.get != None ? Get : 0) | (row.sets ? Set : 0)) << row.id;
    }
    for (const ItemRow& row : Items) {
        EXPECT_EQ(Send(*filter_, row.id, Set, row.value, LengthOf(row.id)).status,
                  row.sets ? STATUS_SUCCESS : Refusal::OperationNotSupported)
            << "set of " << row.id;
    }
}

TEST_F(ControlPropertySetTest, GetRepliesInBytes24To27AndLeavesTheRestAlone) {
    std::vector<UCHAR> property = ControlRecord(2, Get, 0);
    std::vector<UCHAR> data(40, 0xA5);
    client::RequestResult result = filter_->Property(property.data(), 32, data.data(), 40);
    ASSERT_EQ(result.status, STATUS_SUCCESS);
    EXPECT_EQ(result.bytesReturned, 32u);
    std::vector<UCHAR> expected(40, 0xA5);
    expected[24] = 8;
    expected[25] = expected[26] = expected[27] = 0;
    EXPECT_EQ(data, expected);
}

// --- Clamps at their edges ----------------------------------------------------

struct ClampRow {
    ULONG id;
    LONG sent;
    LONG stored;  // what a get returns afterwards
};

// In order: Timeout keeps its last value below 501.
constexpr ClampRow Clamps[] = {
    {1, 501, 501},
    {1, 500, 501},
    {1, 0, 501},
    {1, -1, -1},
    {2, 0, 1},
    {2, 1, 1},
    {2, 8191, 8191},
    {2, 8192, 8191},
    {2, -1, 8191},
    {6, 0, 0},
    {6, 127, 127},
    {6, 128, 127},
    {6, -1, 127},
    {14, -4, 0},
    {14, 300, 300},
    {14, 301, 300},
    {15, -1, 0},
    {15, 301, 300},
    {16, -1, 0},
    {16, 301, 300},
    {20, -1, 0},
    {20, 510, 510},
    {20, 511, 510},
    {24, -1, 0},
    {24, 21, 20},
    {28, -1, 0},
    {28, 21, 20},
    {32, -1, 0},
    {32, 359, 359},
    {32, 360, 359},
    {57, -1, 0},
    {57, 31, 31},
    {57, 32, 31},
    {57, 99, 31},
    {60, 300, 300},
    {61, -5, -5},
    {62, INT_MAX, INT_MAX},
    {63, INT_MIN, INT_MIN},
    {12, -3, -3},
    {48, 7, 7},
    {13, 5, 5},
    {11, 5, 1},
    {11, 0, 0},
};

TEST_F(ControlPropertySetTest, ValuesOutOfRangeAreClampedNeverRefused) {
    for (const ClampRow& row : Clamps) {
        ASSERT_EQ(SetItem(row.id, row.sent), STATUS_SUCCESS) << row.id << " = " << row.sent;
        EXPECT_EQ(Value(row.id), row.stored) << row.id << " = " << row.sent;
    }
}

// --- Sensor items -------------------------------------------------------------

TEST_F(ControlPropertySetTest, SensorSetsOnlyMarkTheirRegisterGroupPending) {
    auto sim = AttachCamera();
    AtomicExchange(&camera_->PendingChanges, 0u);
    const std::pair<ULONG, ULONG> rows[] = {
        {2, PendingExposure}, {6, PendingGains},   {11, PendingFlip}, {60, PendingRed},
        {61, PendingGreen1},  {62, PendingGreen2}, {63, PendingBlue}, {64, 0}};
    for (const auto& [id, pending] : rows) {
        ASSERT_EQ(SetItem(id, 1), STATUS_SUCCESS);
        EXPECT_EQ(AtomicExchange(&camera_->PendingChanges, 0u), pending) << "item " << id;
    }
    EXPECT_EQ(camera_->ReadModeShadow, ReadModeFull);
    EXPECT_TRUE(sim->Log().empty());
}

TEST_F(ControlPropertySetTest, GainsReachTheSensorClampedAtTheNextApply) {
    auto sim = AttachCamera();
    AtomicExchange(&camera_->PendingChanges, 0u);
    ASSERT_EQ(SetItem(6, 200), STATUS_SUCCESS);
    ASSERT_EQ(SetItem(60, 300), STATUS_SUCCESS);
    ASSERT_NE(camera_->OpenLink(), nullptr);
    camera_->ApplyPendingChanges(false);
    camera_->CloseLink();
    EXPECT_EQ(sim->Log(), (std::vector<std::string>{"W 305A 107F", "W 3056 107F", "W 305C 107F",
                                                    "W 3058 107F", "W 305E 107F", "W 305A 107F"}));
}

// --- FlipV: a read never undoes a write --------------------------------------

TEST_F(ControlPropertySetTest, FlipVReadWhileItsChangeIsPendingKeepsTheChange) {
    ASSERT_EQ(SetItem(11, 1), STATUS_SUCCESS);
    EXPECT_EQ(Value(11), 1);
    EXPECT_EQ(camera_->FlipV, 1u);
    EXPECT_EQ(AtomicRead(&camera_->PendingChanges) & PendingFlip, PendingFlip);
}

TEST_F(ControlPropertySetTest, FlipVReadWithNothingPendingTakesTheSensorsFlip) {
    AtomicExchange(&camera_->PendingChanges, 0u);
    RelaxedWrite(&camera_->ReadModeShadow, ReadModeFull | ReadModeFlip);
    EXPECT_EQ(Value(11), 1);
    EXPECT_EQ(camera_->FlipV, 1u);
    ASSERT_EQ(SetItem(64, 0), STATUS_SUCCESS);
    EXPECT_EQ(Value(11), 0);
    EXPECT_EQ(camera_->FlipV, 0u);
}

// With a pipeline attached a capture thread may be applying the flip.
TEST_F(ControlPropertySetTest, FlipVReadWhileStreamingReportsTheSensorAndKeepsFlipV) {
    AttachPipeline();
    RelaxedWrite(&camera_->FlipV, 1u);
    AtomicExchange(&camera_->PendingChanges, 0u);
    EXPECT_EQ(Value(11), 0);
    EXPECT_EQ(camera_->FlipV, 1u);
}

// --- Sets accepted without effect, gets that clear ---------------------------

// The settings block, the pending word and the read-mode shadow.
std::vector<ULONG> SettingsOf(const CameraDevice* camera) {
    std::vector<ULONG> words(&camera->Timeout, reinterpret_cast<const ULONG*>(&camera->Blue + 1));
    words.insert(words.end(), {camera->PendingChanges, camera->ReadModeShadow,
                               static_cast<ULONG>(camera->CameraNo)});
    return words;
}

TEST_F(ControlPropertySetTest, IgnoredSetsSucceedAndChangeNothing) {
    camera_->FlipH = 1;
    camera_->HalfClock = 5;
    camera_->AGC = 6;
    camera_->AEC = 7;
    std::vector<ULONG> before = SettingsOf(camera_);
    for (ULONG id : {0u, 10u, 47u, 49u, 55u, 56u}) {
        EXPECT_EQ(SetItem(id, 0), STATUS_SUCCESS) << "item " << id;
    }
    EXPECT_EQ(SettingsOf(camera_), before);
}

TEST_F(ControlPropertySetTest, GetsOfHalfClockAgcAndAecClearTheirFields) {
    camera_->HalfClock = 5;
    camera_->AGC = 6;
    camera_->AEC = 7;
    EXPECT_EQ(Value(49), 0);
    EXPECT_EQ(Value(55), 0);
    EXPECT_EQ(Value(56), 0);
    EXPECT_EQ(camera_->HalfClock + camera_->AGC + camera_->AEC, 0u);
}

// --- The readout window --------------------------------------------------------

TEST_F(ControlPropertySetTest, WindowSetWithoutAPinChangesTheWindow) {
    ASSERT_EQ(SetWindow(0, 100, 51, 640, 480), STATUS_SUCCESS);
    EXPECT_EQ(std::vector<LONG>({Value(37), Value(40), Value(41), Value(42), Value(43)}),
              std::vector<LONG>({0, 100, 51, 640, 480}));
    ASSERT_EQ(SetWindow(2, 100, 51, 640, 480), STATUS_SUCCESS);
    EXPECT_EQ(std::vector<LONG>({Value(37), Value(40), Value(41), Value(42), Value(43)}),
              std::vector<LONG>({2, 0, 0, 4384, 3288}));
    ASSERT_EQ(SetWindow(INT_MIN, INT_MAX, INT_MIN, INT_MAX, INT_MIN), STATUS_SUCCESS);
    EXPECT_EQ(std::vector<LONG>({Value(37), Value(40), Value(41), Value(42), Value(43)}),
              std::vector<LONG>({0, 0, 0, 4384, 32}));
}

TEST_F(ControlPropertySetTest, WindowSetWhileAPinExistsIsRefusedAndChangesNothing) {
    CreatePin();
    EXPECT_EQ(Value(45), 1);
    ASSERT_EQ(SetWindow(1, 0, 0, 0, 0), STATUS_INVALID_DEVICE_STATE);
    EXPECT_EQ(Value(37), 0);
    EXPECT_EQ(camera_->OutputWidth, 4384);
    pin_.reset();
    EXPECT_EQ(Value(45), 0);
    ASSERT_EQ(SetWindow(1, 0, 0, 0, 0), STATUS_SUCCESS);
    EXPECT_EQ(Value(37), 1);
}

// --- Pipeline items ---------------------------------------------------------------

TEST_F(ControlPropertySetTest, PipelineSetsWithoutAPipelineOnlyStoreTheField) {
    ASSERT_EQ(SetItem(20, 300), STATUS_SUCCESS);
    ASSERT_EQ(SetItem(14, 90), STATUS_SUCCESS);
    EXPECT_EQ(camera_->Brightness, 300);
    EXPECT_EQ(camera_->RedGain, 90);
    AttachPipeline();  // the new pipeline takes them
    EXPECT_EQ(camera_->ImagePipeline->brightness, 300);
    EXPECT_EQ(camera_->ImagePipeline->redGainSetting, 90);
}

TEST_F(ControlPropertySetTest, PipelineSetsReachTheAttachedPipeline) {
    AttachPipeline();
    ImagePipeline* pipeline = camera_->ImagePipeline;
    const std::pair<ULONG, LONG*> rows[] = {{12, &pipeline->colourEnabled},
                                            {13, &pipeline->whiteBalanceEnabled},
                                            {14, &pipeline->redGainSetting},
                                            {15, &pipeline->greenGainSetting},
                                            {16, &pipeline->blueGainSetting},
                                            {20, &pipeline->brightness},
                                            {24, &pipeline->contrast},
                                            {28, &pipeline->saturation},
                                            {32, &pipeline->hue},
                                            {48, &pipeline->colourCorrection}};
    for (const auto& [id, setting] : rows) {
        ASSERT_EQ(SetItem(id, 17), STATUS_SUCCESS);
        EXPECT_EQ(AtomicRead(setting), 17) << "item " << id;
    }
}

// Automatic white balance writes its estimate into the pipeline's gains.
TEST_F(ControlPropertySetTest, PipelineGetsReportThePipelinesValueAndKeepIt) {
    AttachPipeline();
    SetRedGain(camera_->ImagePipeline, 150);
    SetWhiteBalanceEnabled(camera_->ImagePipeline, 1);
    SetBrightness(camera_->ImagePipeline, 111);
    EXPECT_EQ(Value(14), 150);
    EXPECT_EQ(Value(13), 1);
    EXPECT_EQ(Value(20), 111);
    EXPECT_EQ(camera_->RedGain, 150);
    EXPECT_EQ(camera_->WhiteBalance, 1u);
    EXPECT_EQ(camera_->Brightness, 111);
}

// --- Refusals -------------------------------------------------------------------

TEST_F(ControlPropertySetTest, ClassDriverRefusesMalformedRequests) {
    std::vector<UCHAR> get = ControlRecord(2, Get, 0, 48);
    UCHAR* data = get.data();
    EXPECT_EQ(filter_->Property(get.data(), 23, data, 32).status, Refusal::RequestTooShort);
    EXPECT_EQ(filter_->Property(get.data(), 31, data, 32).status, Refusal::RequestTooShort);
    client::RequestResult sizeQuery = filter_->Property(get.data(), 32, nullptr, 0);
    EXPECT_EQ(sizeQuery.status, Refusal::DataSizeQuery);
    EXPECT_EQ(sizeQuery.bytesReturned, 32u);
    EXPECT_EQ(filter_->Property(get.data(), 32, data, 31).status, Refusal::DataTooShort);
    EXPECT_EQ(Send(*filter_, 66, Get, 0).status, Refusal::UnknownPropertyId);
    for (ULONG flags : {0u, 3u, 4u}) {
        EXPECT_EQ(Send(*filter_, 2, flags, 0).status, Refusal::OperationNotSupported) << flags;
    }
    std::vector<UCHAR> window = ControlRecord(44, Set, 2, 48);
    EXPECT_EQ(filter_->Property(window.data(), 32, window.data(), 48).status,
              Refusal::RequestTooShort);
    EXPECT_EQ(filter_->Property(window.data(), 48, window.data(), 47).status,
              Refusal::DataTooShort);
    get[15] ^= 1;
    EXPECT_EQ(filter_->Property(get.data(), 32, data, 32).status, Refusal::UnknownPropertySet);
    EXPECT_EQ(Value(37), 0);
}

TEST_F(ControlPropertySetTest, WithoutADeviceContextOnlyConstantsAnswer) {
    LastDevice().Ks()->Context = nullptr;
    for (const ItemRow& row : Items) {
        if (row.get != None) {
            Reply got = Send(*filter_, row.id, Get, Untouched);
            EXPECT_EQ(got.status, row.get == Const ? STATUS_SUCCESS : STATUS_UNSUCCESSFUL)
                << "get of " << row.id;
            EXPECT_EQ(got.value, row.get == Const ? row.value : Untouched) << "get of " << row.id;
        }
        if (row.sets) {
            EXPECT_EQ(Send(*filter_, row.id, Set, 2, LengthOf(row.id)).status, STATUS_UNSUCCESSFUL)
                << "set of " << row.id;
        }
    }
    LastDevice().Ks()->Context = camera_;
    EXPECT_EQ(Value(2), 8);
    EXPECT_EQ(Value(37), 0);
}

// Requests that did not pass the class driver's checks.
TEST_F(ControlPropertySetTest, HandlersRefuseMissingRequestsAndBuffers) {
    const KSPROPERTY_ITEM* items = ControlPropertyItems.items;
    ControlValue value{};
    value.Property.Set = ControlSet;
    value.Property.Id = 2;
    host::ks::Request request(KsObjectTypeFilter, filter_->Kernel(), IRP_MJ_DEVICE_CONTROL);
    PIRP irp = request.Irp();
    EXPECT_EQ(items[2].GetPropertyHandler(nullptr, &value.Property, &value), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(items[2].SetPropertyHandler(nullptr, &value.Property, &value), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(items[2].GetPropertyHandler(irp, nullptr, &value), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(items[2].GetPropertyHandler(irp, &value.Property, nullptr), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(items[2].SetPropertyHandler(irp, &value.Property, nullptr), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(items[44].SetPropertyHandler(irp, &value.Property, nullptr), STATUS_UNSUCCESSFUL);
    value.Property.Id = 1000;
    EXPECT_EQ(items[2].GetPropertyHandler(irp, &value.Property, &value), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(items[2].SetPropertyHandler(irp, &value.Property, &value), STATUS_UNSUCCESSFUL);
    value.Property.Id = 4;
    EXPECT_EQ(items[4].GetPropertyHandler(nullptr, &value.Property, &value), STATUS_SUCCESS);
    EXPECT_EQ(value.Value, 8191);
}

// --- Requests alongside streaming -------------------------------------------

// A control application on its own filter while a capture application's pin
// attaches, streams, stops and frees the pipeline: every request succeeds,
// and ThreadSanitizer sees no race with the capture thread or the pin.
TEST_F(ControlPropertySetTest, TrafficOnASecondFilterWhileThePinCyclesBetweenStopAndRun) {
    auto sim = AttachCamera();
    ASSERT_EQ(SetWindow(0, 0, 0, 64, 32), STATUS_SUCCESS);
    CreatePin();
    std::unique_ptr<client::Filter> control = OpenFilter();
    ASSERT_NE(control, nullptr);
    std::atomic<bool> done{false};
    std::thread traffic([&] {
        const ULONG sets[] = {2, 6, 11, 12, 13, 14, 20, 24, 28, 32, 48, 60, 64};
        const ULONG gets[] = {2, 11, 12, 13, 14, 20, 32, 45, 48, 60};
        for (LONG round = 0; !done; ++round) {
            for (ULONG id : sets) {
                ASSERT_EQ(Send(*control, id, Set, round % 300).status, STATUS_SUCCESS) << id;
            }
            for (ULONG id : gets) {
                ASSERT_EQ(Send(*control, id, Get, 0).status, STATUS_SUCCESS) << id;
            }
        }
    });
    for (int cycle = 0; cycle < 40; ++cycle) {
        ASSERT_EQ(pin_->SetState(KSSTATE_RUN), STATUS_SUCCESS) << "cycle " << cycle;
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (AtomicRead(&camera_->CaptureEngine->framesCaptured) < 2 &&
               std::chrono::steady_clock::now() < deadline) {
            std::this_thread::yield();
        }
        ASSERT_EQ(pin_->SetState(KSSTATE_STOP), STATUS_SUCCESS) << "cycle " << cycle;
    }
    done = true;
    traffic.join();
    EXPECT_GE(camera_->CaptureEngine->framesCaptured, 2);
}

}  // namespace
