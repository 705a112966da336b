// The stream's camera link: the camera that a stream start finds and
// configures is the one the capture thread reads, for the whole stream,
// whatever disks come and go; a resumed stream discovers nothing anew.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "host/nt/disks.h"
#include "tests/support/capture_fixture.h"
#include "tests/support/memory_disk.h"

namespace driver_test {
namespace {

using StreamLink = CaptureTest;

TEST_F(StreamLink, AResumedStreamReadsTheCameraItConfiguredNotANewOne) {
    ASSERT_NE(StartCamera(), nullptr);
    ASSERT_EQ(CreatePin(), STATUS_SUCCESS);
    ASSERT_EQ(pin_->SetState(KSSTATE_RUN), STATUS_SUCCESS);
    ASSERT_NE(Capture(), nullptr);
    ASSERT_EQ(pin_->SetState(KSSTATE_PAUSE), STATUS_SUCCESS);

    // The configured camera goes; another, never configured, comes.
    host::DetachDisk(links_.front());
    links_.erase(links_.begin());
    auto otherCamera = std::make_shared<sim::SimCamera>(Immediate());
    auto other = std::make_shared<testing_support::RecordingDisk>(otherCamera);
    Watch(otherCamera);
    Attach(other);

    ASSERT_EQ(pin_->SetState(KSSTATE_RUN), STATUS_SUCCESS);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(other->Reads(), 0u);
    ASSERT_EQ(pin_->SetState(KSSTATE_STOP), STATUS_SUCCESS);
    EXPECT_EQ(other->Reads(), 0u);
}

}  // namespace
}  // namespace driver_test
