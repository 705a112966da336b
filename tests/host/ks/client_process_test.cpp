// Which process each request runs in: an application's filter, pins,
// properties and state changes in its own process; processing and PnP in
// the System process. The application's exit closes what was left in its
// handle table.
#include "host/nt/processes.h"
#include "tests/host/ks/ks_test.h"
#include "tests/host/ks/wait.h"

namespace {

using ClientProcessTest = KsTest;

TEST_F(ClientProcessTest, EachFilterIsAnApplicationOfItsOwn) {
    std::unique_ptr<client::Filter> first = OpenFilter();
    std::unique_ptr<client::Filter> second = OpenFilter();
    EXPECT_NE(first->Process(), host::SystemProcessId);
    EXPECT_NE(second->Process(), host::SystemProcessId);
    EXPECT_NE(first->Process(), second->Process());
    EXPECT_EQ(host::CurrentProcessId(), host::SystemProcessId) << "the caller is not left attached";
}

TEST_F(ClientProcessTest, RequestsRunInTheApplicationsProcessAndProcessingInSystem) {
    std::unique_ptr<client::Filter> filter = OpenFilter();
    const host::ProcessId application = filter->Process();
    minidriver::Record& record = minidriver::Recorded();
    EXPECT_EQ(record.filterCreateProcess, application);
    KSPROPERTY request = Request(minidriver::ValueProperty, KSPROPERTY_TYPE_GET);
    ULONG value = 0;
    ASSERT_EQ(filter->Property(&request, sizeof(request), &value, sizeof(value)).status,
              STATUS_SUCCESS);
    EXPECT_EQ(record.propertyProcess, application);
    std::unique_ptr<client::Pin> pin = CreatePin(*filter);
    ASSERT_EQ(pin->SetState(KSSTATE_RUN), STATUS_SUCCESS);
    EXPECT_EQ(record.stateChangeProcess, application);
    ASSERT_EQ(pin->Queue(std::make_unique<client::StreamBuffer>(64)), STATUS_PENDING);
    ASSERT_TRUE(WaitUntil([&] { return record.processCalls >= 1; }));
    EXPECT_EQ(record.processProcess, host::SystemProcessId);
}

TEST_F(ClientProcessTest, PnPRunsInTheSystemProcessWhoeverAsks) {
    host::ClientProcess application("application");
    host::AttachedProcess attached(application.Id());
    device_->Stop();
    ASSERT_EQ(device_->Start(), STATUS_SUCCESS);
    EXPECT_EQ(minidriver::Recorded().deviceStartProcess, host::SystemProcessId);
}

TEST_F(ClientProcessTest, TheApplicationsExitClosesTheHandlesLeftInItsTable) {
    std::unique_ptr<client::Filter> filter = OpenFilter();
    {
        host::AttachedProcess attached(filter->Process());
        UNICODE_STRING name;
        RtlInitUnicodeString(&name, u"\\Registry\\Machine\\SYSTEM");
        OBJECT_ATTRIBUTES attributes;
        InitializeObjectAttributes(&attributes, &name, OBJ_CASE_INSENSITIVE, nullptr, nullptr);
        HANDLE key;
        ASSERT_EQ(ZwCreateKey(&key, KEY_ALL_ACCESS, &attributes, 0, nullptr,
                              REG_OPTION_NON_VOLATILE, nullptr),
                  STATUS_SUCCESS);
    }
    EXPECT_NE(host::CheckNoLeaks().find("(application) to key"), std::string::npos);
    filter.reset();
    EXPECT_EQ(host::CheckNoLeaks().find("key"), std::string::npos);
}

}  // namespace
