// The driver under the host's Driver Verifier rules, through what a capture
// application does: a stream started from the application's process leaves
// nothing in its handle table (the disk and the capture thread are kernel
// handles). An executable pool type anywhere is a bug check in every test.
#include <gtest/gtest.h>

#include "diskcam/controls.h"
#include "host/nt/processes.h"
#include "tests/support/capture_fixture.h"

namespace driver_test {
namespace {

using KernelRules = CaptureTest;

TEST_F(KernelRules, AStreamStartedByAnApplicationLeavesNoHandleInItsTable) {
    ASSERT_NE(StartCamera(), nullptr);
    ASSERT_EQ(CreatePin(), STATUS_SUCCESS);
    ASSERT_EQ(pin_->SetState(KSSTATE_RUN), STATUS_SUCCESS);
    ASSERT_NE(Capture(), nullptr);
    int32_t exposure = 100;
    EXPECT_EQ(Control(*filter_, 2, diskcam::ControlSet, &exposure), STATUS_SUCCESS);
    ASSERT_NE(Capture(), nullptr);
    ASSERT_EQ(pin_->SetState(KSSTATE_STOP), STATUS_SUCCESS);
    EXPECT_EQ(host::HandlesCreatedIn(filter_->Process()), 0u);
}

}  // namespace
}  // namespace driver_test
