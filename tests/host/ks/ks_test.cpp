// The class-driver test fixture.
#include "tests/host/ks/ks_test.h"

void KsTest::SetUp() {
    host::ResetKernel();
    minidriver::Reset();
    driver_ = std::make_unique<host::Driver>(minidriver::DriverEntry);
    device_ = std::make_unique<host::Device>(*driver_);
    ASSERT_EQ(device_->Add(), STATUS_SUCCESS);
    ASSERT_EQ(device_->Start(), STATUS_SUCCESS);
}

void KsTest::TearDown() {
    device_.reset();
    driver_.reset();
    EXPECT_EQ(host::CheckNoLeaks(), "");
    host::ResetKernel();
}

std::unique_ptr<client::Filter> KsTest::OpenFilter() {
    std::vector<std::string> paths = client::FindFilters(minidriver::TestCategory);
    EXPECT_EQ(paths.size(), 1u);
    std::unique_ptr<client::Filter> filter;
    if (!paths.empty()) {
        EXPECT_EQ(client::Filter::Open(paths[0], &filter), STATUS_SUCCESS);
    }
    return filter;
}

std::unique_ptr<client::Pin> KsTest::CreatePin(client::Filter& filter, ULONG sampleSize) {
    KSDATAFORMAT format = minidriver::TestFormat(sampleSize);
    std::unique_ptr<client::Pin> pin;
    EXPECT_EQ(filter.CreatePin(0, &format, sizeof(format), &pin), STATUS_SUCCESS);
    return pin;
}

KSPROPERTY KsTest::Request(ULONG id, ULONG flags) {
    KSPROPERTY request{};
    request.Set = minidriver::TestPropertySet;
    request.Id = id;
    request.Flags = flags;
    return request;
}
