// Pin creation, instances, state walks, format changes and framing.
#include "host/ks/refusals.h"
#include "tests/host/ks/ks_test.h"

namespace {

namespace Refusal = host::ks::Refusal;
using Strings = std::vector<std::string>;

using PinCreationTest = KsTest;

TEST_F(PinCreationTest, FormatIsCheckedWithNoOldFormatBeforeCreate) {
    std::unique_ptr<client::Filter> filter = OpenFilter();
    std::unique_ptr<client::Pin> pin = CreatePin(*filter, 1234);
    EXPECT_EQ(minidriver::Calls(), (Strings{"filter create", "format", "pin create"}));
    PKSPIN ks = pin->Kernel();
    EXPECT_EQ(ks->ConnectionFormat->SampleSize, 1234u);
    EXPECT_EQ(ks->DeviceState, KSSTATE_STOP);
    EXPECT_EQ(ks->DataFlow, KSPIN_DATAFLOW_OUT);
    EXPECT_EQ(KsPinGetParentFilter(ks), filter->Kernel());
    EXPECT_EQ(KsPinGetDevice(ks), device_->Ks());
    EXPECT_EQ(KsFilterGetFirstChildPin(filter->Kernel(), 0), ks);
}

TEST_F(PinCreationTest, PinBeyondInstancesPossibleIsRefusedUntilTheFirstCloses) {
    std::unique_ptr<client::Filter> filter = OpenFilter();
    std::unique_ptr<client::Pin> first = CreatePin(*filter);
    KSDATAFORMAT format = minidriver::TestFormat(1000);
    std::unique_ptr<client::Pin> second;
    EXPECT_EQ(filter->CreatePin(0, &format, sizeof(format), &second),
              Refusal::PinInstancesExhausted);
    first.reset();
    EXPECT_EQ(filter->CreatePin(0, &format, sizeof(format), &second), STATUS_SUCCESS);
}

TEST_F(PinCreationTest, ClassDriverRefusesBadRequestsItself) {
    std::unique_ptr<client::Filter> filter = OpenFilter();
    std::unique_ptr<client::Pin> pin;
    KSDATAFORMAT format = minidriver::TestFormat(1000);
    EXPECT_EQ(filter->CreatePin(1, &format, sizeof(format), &pin), Refusal::UnknownPinId);
    EXPECT_EQ(filter->CreatePin(0, &format, 40, &pin), Refusal::RequestTooShort);
    format.FormatSize = 65;
    EXPECT_EQ(filter->CreatePin(0, &format, sizeof(format), &pin), Refusal::RequestTooShort);
    format = minidriver::TestFormat(1000);
    format.MajorFormat.Data1 ^= 1;
    EXPECT_EQ(filter->CreatePin(0, &format, sizeof(format), &pin), Refusal::NoMatchingDataRange);
    EXPECT_EQ(minidriver::Calls(), Strings{"filter create"});
}

TEST_F(PinCreationTest, FormatTheDriverRefusesCreatesNoPin) {
    std::unique_ptr<client::Filter> filter = OpenFilter();
    KSDATAFORMAT format = minidriver::TestFormat(0);
    std::unique_ptr<client::Pin> pin;
    EXPECT_EQ(filter->CreatePin(0, &format, sizeof(format), &pin), STATUS_NO_MATCH);
    EXPECT_EQ(minidriver::Calls(), (Strings{"filter create", "format"}));
    EXPECT_EQ(KsFilterGetChildPinCount(filter->Kernel(), 0), 0u);
}

TEST_F(PinCreationTest, FramingOfThePinsOwnCopyDecidesTheFrameSize) {
    std::unique_ptr<client::Filter> filter = OpenFilter();
    std::unique_ptr<client::Pin> pin = CreatePin(*filter, 1000);
    EXPECT_EQ(pin->FrameSize(), 1000u);
    EXPECT_EQ(pin->AllocatorFraming().FramingItem[0].Frames, 2u);
    const KSPIN_DESCRIPTOR_EX& published = filter->Kernel()->Descriptor->PinDescriptors[0];
    EXPECT_NE(pin->Kernel()->Descriptor, &published);
    EXPECT_EQ(published.AllocatorFraming->FramingItem[0].FramingRange.Range.MaxFrameSize,
              minidriver::DescriptorFrameSize);
}

using PinStateTest = KsTest;

TEST_F(PinStateTest, StatesChangeOneStepAtATimeBothWays) {
    std::unique_ptr<client::Filter> filter = OpenFilter();
    std::unique_ptr<client::Pin> pin = CreatePin(*filter);
    ASSERT_EQ(pin->SetState(KSSTATE_RUN), STATUS_SUCCESS);
    ASSERT_EQ(pin->SetState(KSSTATE_STOP), STATUS_SUCCESS);
    Strings calls = minidriver::Calls();
    EXPECT_EQ(
        Strings(calls.begin() + 3, calls.end()),
        (Strings{"state 0>1", "state 1>2", "state 2>3", "state 3>2", "state 2>1", "state 1>0"}));
}

TEST_F(PinStateTest, RefusedStepEndsTheWalkInTheLastAcceptedState) {
    std::unique_ptr<client::Filter> filter = OpenFilter();
    std::unique_ptr<client::Pin> pin = CreatePin(*filter);
    minidriver::Recorded().failingState = KSSTATE_PAUSE;
    minidriver::Recorded().failingStatus = STATUS_INVALID_DEVICE_STATE;
    EXPECT_EQ(pin->SetState(KSSTATE_RUN), STATUS_INVALID_DEVICE_STATE);
    EXPECT_EQ(pin->State(), KSSTATE_ACQUIRE);
    EXPECT_EQ(pin->Kernel()->DeviceState, KSSTATE_ACQUIRE);
    Strings calls = minidriver::Calls();
    EXPECT_EQ(Strings(calls.begin() + 3, calls.end()), (Strings{"state 0>1", "state 1>2"}));
}

TEST_F(PinStateTest, ClosingARunningPinWalksItDownFirst) {
    std::unique_ptr<client::Filter> filter = OpenFilter();
    std::unique_ptr<client::Pin> pin = CreatePin(*filter);
    ASSERT_EQ(pin->SetState(KSSTATE_RUN), STATUS_SUCCESS);
    filter.reset();  // closes the pin first, then the filter
    Strings calls = minidriver::Calls();
    EXPECT_EQ(Strings(calls.end() - 5, calls.end()),
              (Strings{"state 3>2", "state 2>1", "state 1>0", "pin close", "filter close"}));
    pin.reset();
}

TEST_F(PinStateTest, FormatChangeHandsTheOldFormatAndKeepsItWhenRefused) {
    std::unique_ptr<client::Filter> filter = OpenFilter();
    std::unique_ptr<client::Pin> pin = CreatePin(*filter, 1000);
    KSDATAFORMAT format = minidriver::TestFormat(2000);
    EXPECT_EQ(pin->SetDataFormat(&format, sizeof(format)), STATUS_SUCCESS);
    EXPECT_EQ(pin->Kernel()->ConnectionFormat->SampleSize, 2000u);
    format = minidriver::TestFormat(0);
    EXPECT_EQ(pin->SetDataFormat(&format, sizeof(format)), STATUS_NO_MATCH);
    EXPECT_EQ(pin->Kernel()->ConnectionFormat->SampleSize, 2000u);
    EXPECT_EQ(minidriver::Calls().back(), "format change");
}

}  // namespace
