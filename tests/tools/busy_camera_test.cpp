// A second application that starts a capture while another streams from
// the camera is told, in one line, that the camera is busy.
#include <gtest/gtest.h>

#include <ksmedia.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/client/pin.h"
#include "host/system/system.h"
#include "tools/diskcam/capture.h"
#include "tools/diskcam/controls.h"
#include "tools/diskcam/options.h"

namespace tool_test {
namespace {

// The pin's proposal for its own range, as the first application takes it.
std::vector<UCHAR> Proposal(client::Filter& filter) {
    std::vector<UCHAR> range = filter.DataRanges(0).at(0);
    std::vector<UCHAR> format;
    client::RequestResult size = filter.Intersect(0, range.data(), ULONG(range.size()), 0, &format);
    EXPECT_EQ(
        filter.Intersect(0, range.data(), ULONG(range.size()), size.bytesReturned, &format).status,
        STATUS_SUCCESS);
    return format;
}

TEST(SecondApplication, IsToldTheCameraIsBusyWhileAnotherStreams) {
    tool::CaptureOptions options;
    options.common.framesPerSecond = 0;
    options.common.simTiming = sim::TransferTiming::Instant();
    options.frames = 1;
    host::SystemOptions systemOptions = tool::SystemOptionsFor(options.common);
    systemOptions.registryFile.clear();
    host::System system(systemOptions);
    const GUID capture = {STATIC_KSCATEGORY_CAPTURE};
    const std::string path = client::FindFilters(capture).at(0);
    {
        std::unique_ptr<client::Filter> first;
        ASSERT_EQ(client::Filter::Open(path, &first), STATUS_SUCCESS);
        tool::Controls(*first).SetWindow({0, 0, 0, 64, 32});
        std::vector<UCHAR> format = Proposal(*first);
        std::unique_ptr<client::Pin> streaming;
        ASSERT_EQ(first->CreatePin(0, format.data(), ULONG(format.size()), &streaming),
                  STATUS_SUCCESS);
        ASSERT_EQ(streaming->SetState(KSSTATE_RUN), STATUS_SUCCESS);

        std::unique_ptr<client::Filter> second;
        ASSERT_EQ(client::Filter::Open(path, &second), STATUS_SUCCESS);
        std::string refusal;
        try {
            tool::RunCapture(*second, options, [] {});
        } catch (const std::runtime_error& error) {
            refusal = error.what();
        }
        EXPECT_EQ(refusal, "the camera is busy: another application is streaming from it");
        EXPECT_EQ(streaming->State(), KSSTATE_RUN);
        EXPECT_EQ(streaming->SetState(KSSTATE_STOP), STATUS_SUCCESS);
    }
    system.Shutdown();
    for (const auto& camera : system.SimulatedCameras()) {
        EXPECT_TRUE(camera->Violations().empty());
    }
}

}  // namespace
}  // namespace tool_test
