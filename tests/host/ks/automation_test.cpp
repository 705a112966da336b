// Property requests through the filter's automation table, the class
// driver's refusals, and data intersection through the pin's handler.
#include <cstring>
#include <vector>

#include "host/ks/refusals.h"
#include "tests/host/ks/ks_test.h"

namespace {

namespace Refusal = host::ks::Refusal;
using namespace minidriver;

class PropertyTest : public KsTest {
protected:
    void SetUp() override {
        KsTest::SetUp();
        filter_ = OpenFilter();
    }
    void TearDown() override {
        filter_.reset();
        KsTest::TearDown();
    }
    client::RequestResult Send(const KSPROPERTY& request, void* data, ULONG length,
                               ULONG requestLength = sizeof(KSPROPERTY)) {
        UCHAR buffer[64] = {};
        std::memcpy(buffer, &request, sizeof(request));
        return filter_->Property(buffer, requestLength, data, length);
    }

    std::unique_ptr<client::Filter> filter_;
};

TEST_F(PropertyTest, GetAndSetReachTheirHandlersWithTheRequestsFilter) {
    ULONG value = 42;
    client::RequestResult set = Send(Request(ValueProperty, KSPROPERTY_TYPE_SET), &value, 4);
    EXPECT_EQ(set.status, STATUS_SUCCESS);
    EXPECT_EQ(set.bytesReturned, 0u);
    EXPECT_EQ(Recorded().requestFilter, filter_->Kernel());
    ULONG got[4] = {0, 7, 7, 7};
    client::RequestResult get = Send(Request(ValueProperty, KSPROPERTY_TYPE_GET), got, 16);
    EXPECT_EQ(get.status, STATUS_SUCCESS);
    EXPECT_EQ(get.bytesReturned, 4u) << "what the handler says";
    EXPECT_EQ(got[0], 42u);
    EXPECT_EQ(got[1], 7u);
}

// The class driver presets Information to 0, as Windows does: a handler that
// does not say what it wrote returns nothing, and one that says more than the
// caller's buffer holds would have the I/O manager's copy overrun it.
TEST_F(PropertyTest, TheReplyIsTheBytesTheHandlerSays) {
    Recorded().propertyValue = 42;
    Recorded().replyBytes = 0;
    ULONG got[4] = {0, 7, 7, 7};
    client::RequestResult silent = Send(Request(ValueProperty, KSPROPERTY_TYPE_GET), got, 16);
    EXPECT_EQ(silent.status, STATUS_SUCCESS);
    EXPECT_EQ(silent.bytesReturned, 0u);
    EXPECT_EQ(got[0], 0u) << "nothing copied back";
    Recorded().replyBytes = 16;
    client::RequestResult whole = Send(Request(ValueProperty, KSPROPERTY_TYPE_GET), got, 16);
    EXPECT_EQ(whole.status, STATUS_SUCCESS);
    EXPECT_EQ(whole.bytesReturned, 16u);
    EXPECT_EQ(got[0], 42u);
    EXPECT_EQ(got[3], 7u);
}

using PropertyDeathTest = PropertyTest;

TEST_F(PropertyDeathTest, AReplyLongerThanTheBufferStops) {
    Recorded().replyBytes = 17;
    ULONG got[4] = {};
    EXPECT_DEATH(Send(Request(ValueProperty, KSPROPERTY_TYPE_GET), got, 16),
                 "property handler set Information beyond the output buffer");
}

TEST_F(PropertyTest, UnknownSetOrIdIsRefused) {
    ULONG value = 0;
    KSPROPERTY request = Request(ValueProperty, KSPROPERTY_TYPE_GET);
    request.Set.Data1 ^= 1;
    EXPECT_EQ(Send(request, &value, 4).status, Refusal::UnknownPropertySet);
    EXPECT_EQ(Send(Request(9, KSPROPERTY_TYPE_GET), &value, 4).status, Refusal::UnknownPropertyId);
    EXPECT_EQ(Recorded().requestFilter, nullptr);
}

TEST_F(PropertyTest, ShortRequestIsRefused) {
    ULONG value = 0;
    KSPROPERTY request = Request(LongRequestProperty, KSPROPERTY_TYPE_GET);
    EXPECT_EQ(Send(request, &value, 4, 20).status, Refusal::RequestTooShort);
    EXPECT_EQ(Send(request, &value, 4, 31).status, Refusal::RequestTooShort);
    EXPECT_EQ(Send(request, &value, 4, 32).status, STATUS_SUCCESS);
}

TEST_F(PropertyTest, OperationWithoutAHandlerIsNotSupported) {
    ULONG value = 0;
    EXPECT_EQ(Send(Request(WriteOnlyProperty, KSPROPERTY_TYPE_GET), &value, 4).status,
              Refusal::OperationNotSupported);
    EXPECT_EQ(Send(Request(ReadOnlyProperty, KSPROPERTY_TYPE_SET), &value, 4).status,
              Refusal::OperationNotSupported);
    EXPECT_EQ(Send(Request(ValueProperty, 0), &value, 4).status, Refusal::OperationNotSupported);
    EXPECT_EQ(Recorded().requestFilter, nullptr);
}

TEST_F(PropertyTest, EmptyDataAsksForTheSizeAndShortDataIsRefused) {
    ULONG value[2] = {};
    client::RequestResult query = Send(Request(ReadOnlyProperty, KSPROPERTY_TYPE_GET), nullptr, 0);
    EXPECT_EQ(query.status, Refusal::DataSizeQuery);
    EXPECT_EQ(query.bytesReturned, 8u);
    client::RequestResult shortData =
        Send(Request(ReadOnlyProperty, KSPROPERTY_TYPE_GET), value, 4);
    EXPECT_EQ(shortData.status, Refusal::DataTooShort);
    EXPECT_EQ(shortData.bytesReturned, 0u);
    EXPECT_EQ(Send(Request(ReadOnlyProperty, KSPROPERTY_TYPE_GET), value, 8).status,
              STATUS_SUCCESS);
}

TEST_F(PropertyTest, SupportQueryWithoutAHandlerReportsTheItemsAccess) {
    ULONG access = 0;
    client::RequestResult both =
        Send(Request(ValueProperty, KSPROPERTY_TYPE_BASICSUPPORT), &access, sizeof(access));
    EXPECT_EQ(both.status, STATUS_SUCCESS);
    EXPECT_EQ(both.bytesReturned, sizeof(ULONG));
    EXPECT_EQ(access, ULONG{KSPROPERTY_TYPE_GET | KSPROPERTY_TYPE_SET});
    Send(Request(WriteOnlyProperty, KSPROPERTY_TYPE_BASICSUPPORT), &access, sizeof(access));
    EXPECT_EQ(access, ULONG{KSPROPERTY_TYPE_SET});
    client::RequestResult query =
        Send(Request(ValueProperty, KSPROPERTY_TYPE_BASICSUPPORT), nullptr, 0);
    EXPECT_EQ(query.status, Refusal::DataSizeQuery);
    EXPECT_EQ(query.bytesReturned, sizeof(ULONG));
    EXPECT_EQ(Send(Request(ValueProperty, KSPROPERTY_TYPE_BASICSUPPORT), &access, 2).status,
              Refusal::DataTooShort);
}

// An item with values and no support handler: the class driver answers from
// the values, in the three replies a client's buffer asks for.
TEST_F(PropertyTest, SupportQueryOfAnItemWithValuesIsAnsweredFromThem) {
    const KSPROPERTY request = Request(RangedProperty, KSPROPERTY_TYPE_BASICSUPPORT);
    const ULONG whole = sizeof(KSPROPERTY_DESCRIPTION) + 2 * sizeof(KSPROPERTY_MEMBERSHEADER) +
                        sizeof(KSPROPERTY_STEPPING_LONG) + sizeof(LONG);
    client::RequestResult size = Send(request, nullptr, 0);
    EXPECT_EQ(size.status, Refusal::DataSizeQuery);
    EXPECT_EQ(size.bytesReturned, whole);

    ULONG access = 0;
    client::RequestResult flags = Send(request, &access, sizeof(access));
    EXPECT_EQ(flags.bytesReturned, sizeof(ULONG));
    EXPECT_EQ(access,
              ULONG{KSPROPERTY_TYPE_GET | KSPROPERTY_TYPE_SET | KSPROPERTY_TYPE_BASICSUPPORT});

    std::vector<UCHAR> reply(whole + 8, 0xEE);
    client::RequestResult described =
        Send(request, reply.data(), sizeof(KSPROPERTY_DESCRIPTION) + 4);
    EXPECT_EQ(described.bytesReturned, sizeof(KSPROPERTY_DESCRIPTION));
    KSPROPERTY_DESCRIPTION description;
    std::memcpy(&description, reply.data(), sizeof(description));
    EXPECT_EQ(description.DescriptionSize, whole);
    EXPECT_EQ(description.MembersListCount, 2u);
    EXPECT_EQ(description.PropTypeSet.Id, ULONG{VT_I4});
    EXPECT_EQ(reply[sizeof(KSPROPERTY_DESCRIPTION)], 0xEE) << "only the description";

    client::RequestResult all = Send(request, reply.data(), ULONG(reply.size()));
    EXPECT_EQ(all.bytesReturned, whole);
    KSPROPERTY_MEMBERSHEADER range;
    std::memcpy(&range, reply.data() + sizeof(KSPROPERTY_DESCRIPTION), sizeof(range));
    EXPECT_EQ(range.MembersFlags, ULONG{KSPROPERTY_MEMBER_STEPPEDRANGES});
    KSPROPERTY_STEPPING_LONG stepping;
    std::memcpy(&stepping, reply.data() + sizeof(KSPROPERTY_DESCRIPTION) + sizeof(range),
                sizeof(stepping));
    EXPECT_EQ(stepping.SteppingDelta, 5u);
    EXPECT_EQ(stepping.Bounds.SignedMinimum, -20);
    EXPECT_EQ(stepping.Bounds.SignedMaximum, 40);
    LONG defaultValue;
    std::memcpy(&defaultValue, reply.data() + whole - sizeof(LONG), sizeof(defaultValue));
    EXPECT_EQ(defaultValue, RangedDefault);
    EXPECT_EQ(reply[whole], 0xEE);
    EXPECT_EQ(Send(request, &access, 3).status, Refusal::DataTooShort);
}

TEST_F(PropertyTest, DefaultValuesListOnlyTheDefault) {
    const KSPROPERTY request = Request(RangedProperty, KSPROPERTY_TYPE_DEFAULTVALUES);
    const ULONG whole =
        sizeof(KSPROPERTY_DESCRIPTION) + sizeof(KSPROPERTY_MEMBERSHEADER) + sizeof(LONG);
    EXPECT_EQ(Send(request, nullptr, 0).bytesReturned, whole);
    std::vector<UCHAR> reply(whole);
    ASSERT_EQ(Send(request, reply.data(), whole).status, STATUS_SUCCESS);
    KSPROPERTY_DESCRIPTION description;
    std::memcpy(&description, reply.data(), sizeof(description));
    EXPECT_EQ(description.MembersListCount, 1u);
    KSPROPERTY_MEMBERSHEADER header;
    std::memcpy(&header, reply.data() + sizeof(description), sizeof(header));
    EXPECT_EQ(header.MembersFlags, ULONG{KSPROPERTY_MEMBER_VALUES});
    EXPECT_EQ(header.Flags, ULONG{KSPROPERTY_MEMBER_FLAG_DEFAULT});
    LONG defaultValue;
    std::memcpy(&defaultValue, reply.data() + whole - sizeof(LONG), sizeof(defaultValue));
    EXPECT_EQ(defaultValue, RangedDefault);
    ULONG access = 0;
    EXPECT_EQ(Send(Request(ValueProperty, KSPROPERTY_TYPE_DEFAULTVALUES), &access, 4).status,
              Refusal::OperationNotSupported)
        << "an item without values has no defaults";
}

using IntersectionTest = PropertyTest;

TEST_F(IntersectionTest, SizeQueryTooSmallAndEnough) {
    std::vector<std::vector<UCHAR>> ranges = filter_->DataRanges(0);
    ASSERT_EQ(ranges.size(), 1u);
    ASSERT_EQ(ranges[0].size(), sizeof(KSDATARANGE));
    const ULONG size = static_cast<ULONG>(ranges[0].size());
    std::vector<UCHAR> format;
    client::RequestResult query = filter_->Intersect(0, ranges[0].data(), size, 0, &format);
    EXPECT_EQ(query.status, STATUS_BUFFER_OVERFLOW);
    EXPECT_EQ(query.bytesReturned, sizeof(KSDATAFORMAT));
    EXPECT_EQ(filter_->Intersect(0, ranges[0].data(), size, 10, &format).status,
              STATUS_BUFFER_TOO_SMALL);
    client::RequestResult done = filter_->Intersect(0, ranges[0].data(), size, 100, &format);
    EXPECT_EQ(done.status, STATUS_SUCCESS);
    ASSERT_EQ(format.size(), sizeof(KSDATAFORMAT));
    EXPECT_EQ(reinterpret_cast<KSDATAFORMAT*>(format.data())->SampleSize, 1000u);
    EXPECT_EQ(Recorded().intersectContext, filter_->Kernel());
}

TEST_F(IntersectionTest, ClassDriverRefusesUnmatchedShortAndUnknownPin) {
    KSDATARANGE range = TestFormat(0);
    std::vector<UCHAR> format;
    EXPECT_EQ(filter_->Intersect(1, &range, sizeof(range), 100, &format).status,
              Refusal::UnknownPinId);
    EXPECT_EQ(filter_->Intersect(0, &range, 40, 100, &format).status, Refusal::RequestTooShort);
    range.FormatSize = 80;
    EXPECT_EQ(filter_->Intersect(0, &range, sizeof(range), 100, &format).status,
              Refusal::RequestTooShort);
    range = TestFormat(0);
    range.MajorFormat.Data2 ^= 1;
    EXPECT_EQ(filter_->Intersect(0, &range, sizeof(range), 100, &format).status,
              Refusal::NoMatchingDataRange);
    EXPECT_EQ(Recorded().intersectContext, nullptr);
}

}  // namespace
