// Filter factories, filters and their object bags.
#include <ksmedia.h>

#include <cstring>

#include "host/ks/pool_object.h"
#include "host/nt/pool_control.h"
#include "tests/host/ks/ks_test.h"

namespace {

using FilterFactoryTest = KsTest;

TEST_F(FilterFactoryTest, PublishesTheFilterUnderEachCategoryWithItsReferenceString) {
    const GUID capture = {STATIC_KSCATEGORY_CAPTURE};
    const GUID video = {STATIC_KSCATEGORY_VIDEO};
    std::vector<std::string> test = client::FindFilters(minidriver::TestCategory);
    std::vector<std::string> captures = client::FindFilters(capture);
    ASSERT_EQ(test.size(), 1u);
    ASSERT_EQ(captures.size(), 1u);
    EXPECT_NE(test[0], captures[0]);
    EXPECT_EQ(test[0].substr(test[0].size() - 7), "\\GLOBAL");
    EXPECT_TRUE(client::FindFilters(video).empty());
    EXPECT_EQ(client::FilterAlias(test[0], capture), captures[0]);
    EXPECT_EQ(client::FilterAlias(captures[0], minidriver::TestCategory), test[0]);
    EXPECT_EQ(client::FilterAlias(test[0], video), "");
    EXPECT_EQ(client::FilterAlias("\\\\?\\nothing", capture), "");
}

TEST_F(FilterFactoryTest, FreeOnStopFactoryGoesWithTheStopAndComesBackWithTheStart) {
    device_->Stop();
    EXPECT_TRUE(client::FindFilters(minidriver::TestCategory).empty());
    ASSERT_EQ(device_->Start(), STATUS_SUCCESS);
    EXPECT_EQ(client::FindFilters(minidriver::TestCategory).size(), 1u);
}

TEST_F(FilterFactoryTest, UnknownPathIsNotFound) {
    std::unique_ptr<client::Filter> filter;
    EXPECT_EQ(client::Filter::Open("\\\\?\\nothing", &filter), STATUS_OBJECT_NAME_NOT_FOUND);
    EXPECT_EQ(filter, nullptr);
}

using FilterTest = KsTest;

TEST_F(FilterTest, OpenAndCloseRunTheDispatchAndFreeTheBag) {
    std::unique_ptr<client::Filter> filter = OpenFilter();
    ASSERT_NE(filter, nullptr);
    EXPECT_EQ(minidriver::Calls(), std::vector<std::string>{"filter create"});
    filter.reset();
    EXPECT_EQ(minidriver::Calls(), (std::vector<std::string>{"filter create", "filter close"}));
    EXPECT_EQ(minidriver::Recorded().filterContextsFreed, 1);
}

TEST_F(FilterTest, RefusedCreateLeavesNoFilter) {
    minidriver::Recorded().failFilterCreate = true;
    std::unique_ptr<client::Filter> filter;
    std::string path = client::FindFilters(minidriver::TestCategory).at(0);
    EXPECT_EQ(client::Filter::Open(path, &filter), STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(filter, nullptr);
    EXPECT_EQ(minidriver::Calls(), std::vector<std::string>{"filter create"});
}

TEST_F(FilterTest, PoolWithoutRoomRefusesTheFilterBeforeTheDriverSeesIt) {
    host::FailPoolAllocationsWithTag(host::ks::FilterTag);
    std::unique_ptr<client::Filter> filter;
    std::string path = client::FindFilters(minidriver::TestCategory).at(0);
    EXPECT_EQ(client::Filter::Open(path, &filter), STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_TRUE(minidriver::Calls().empty());
    host::ClearPoolFaults();
}

using EditTest = KsTest;

constexpr ULONG EditTag = 0x74696445;  // 'Edit'

TEST_F(EditTest, CopiesIntoTheBagAndZeroesTheRest) {
    std::unique_ptr<client::Filter> filter = OpenFilter();
    const UCHAR original[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    PVOID item = const_cast<UCHAR*>(original);
    ASSERT_EQ(_KsEdit(filter->Kernel()->Bag, &item, 16, 8, EditTag), STATUS_SUCCESS);
    ASSERT_NE(item, original);
    const UCHAR expected[16] = {1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_EQ(std::memcmp(item, expected, 16), 0);
    EXPECT_EQ(host::PoolStatsForTag(EditTag).liveAllocations, 1u);

    PVOID copy = item;
    ASSERT_EQ(_KsEdit(filter->Kernel()->Bag, &item, 16, 16, EditTag), STATUS_SUCCESS);
    EXPECT_EQ(item, copy) << "an owned item that does not grow stays";
    ASSERT_EQ(_KsEdit(filter->Kernel()->Bag, &item, 32, 16, EditTag), STATUS_SUCCESS);
    EXPECT_NE(item, copy);
    EXPECT_EQ(std::memcmp(item, expected, 16), 0);
    EXPECT_EQ(host::PoolStatsForTag(EditTag).liveAllocations, 1u) << "the smaller copy is freed";
    filter.reset();
    EXPECT_EQ(host::PoolStatsForTag(EditTag).liveAllocations, 0u);
}

TEST_F(EditTest, PoolWithoutRoomLeavesThePointer) {
    std::unique_ptr<client::Filter> filter = OpenFilter();
    UCHAR original[8] = {};
    PVOID item = original;
    host::FailPoolAllocationsWithTag(EditTag);
    EXPECT_EQ(_KsEdit(filter->Kernel()->Bag, &item, 8, 8, EditTag), STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(item, original);
    host::ClearPoolFaults();
}

}  // namespace
