// The driver under the host's Driver Verifier rules, through what a capture
// application does: every allocation is non-executable pool, and a stream
// started from the application's process leaves nothing in its handle
// table (the disk and the capture thread are kernel handles).
#include <gtest/gtest.h>

#include "host/nt/processes.h"
#include "tests/support/capture_fixture.h"

namespace driver_test {
namespace {

constexpr ULONG Exposure = 1;  // an item of the control property set

// A control set through the filter, while the pin streams.
NTSTATUS SetControl(client::Filter& filter, ULONG id, LONG value) {
    const GUID set = {0xcaa3f35d, 0xd36c, 0x48bc, {0x9f, 0xe6, 0xfc, 0xbd, 0xb1, 0x47, 0x2c, 0x9c}};
    struct {
        KSPROPERTY property;
        LONG value;
        ULONG reserved;
    } request{{set, id, KSPROPERTY_TYPE_SET}, value, 0};
    return filter.Property(&request, sizeof(request), &request, sizeof(request)).status;
}

using KernelRules = CaptureTest;

// Device add and start, filter, pin with its descriptor copies, stream
// buffers and pipeline: an executable pool type anywhere stops the test.
TEST_F(KernelRules, AWholeCaptureAllocatesOnlyNonExecutablePool) {
    ASSERT_NE(StartCamera(), nullptr);
    ASSERT_EQ(CreatePin(), STATUS_SUCCESS);
    ASSERT_EQ(pin_->SetState(KSSTATE_RUN), STATUS_SUCCESS);
    std::unique_ptr<client::StreamBuffer> frame = Capture();
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(frame->status, STATUS_SUCCESS);
    EXPECT_EQ(pin_->SetState(KSSTATE_STOP), STATUS_SUCCESS);
}

TEST_F(KernelRules, AStreamStartedByAnApplicationLeavesNoHandleInItsTable) {
    ASSERT_NE(StartCamera(), nullptr);
    ASSERT_EQ(CreatePin(), STATUS_SUCCESS);
    ASSERT_EQ(pin_->SetState(KSSTATE_RUN), STATUS_SUCCESS);
    ASSERT_NE(Capture(), nullptr);
    EXPECT_EQ(SetControl(*filter_, Exposure, 100), STATUS_SUCCESS);
    ASSERT_NE(Capture(), nullptr);
    ASSERT_EQ(pin_->SetState(KSSTATE_STOP), STATUS_SUCCESS);
    EXPECT_EQ(host::HandlesCreatedIn(filter_->Process()), 0u);
}

}  // namespace
}  // namespace driver_test
