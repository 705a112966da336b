// A capture that falls short exits 1 with one line saying why, after the
// frames it got are written: a camera that never raises its frame flag, one
// that stays silent past the Timeout setting, one pulled out mid-stream.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tests/tools/tool_fixture.h"

namespace tool_test {
namespace {

constexpr size_t FrameBytes = 64 * 64 * 4;

std::string LastLine(const ToolRun& run) {
    std::vector<std::string> lines = Lines(run.err);
    return lines.empty() ? "" : lines.back();
}

TEST_F(ToolTest, NoCameraFrameDuringSecondsIsAFailure) {
    ToolRun run = Tool("capture --sim-no-frames --seconds 0.5 --window 0,0,64,64 --output " +
                       Path("f.raw").string() + Registry());
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_EQ(LastLine(run), "diskcam: no camera frame in 0.5 s") << run.err;
    EXPECT_EQ(ReadFile(Path("f.raw")).size(), 0u);
}

TEST_F(ToolTest, NoCameraFrameWithinTheTimeoutEndsTheCapture) {
    ToolRun run = Tool("capture --sim-no-frames --frames 3 --set Timeout=600 --window 0,0,64,64" +
                       Registry());
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_EQ(LastLine(run),
              "diskcam: no camera frame within the Timeout setting (0xC00000B5) after 0 of 3 "
              "frames")
        << run.err;
}

// The buffers queued when the camera goes may still bring the last image
// again: the tool reports, and has written, every frame it got.
TEST_F(ToolTest, ACameraPulledOutEndsTheCaptureAfterTheFramesItGot) {
    ToolRun run = Tool(
        "capture --fps 0 --frames 20 --sim-unplug-after 3 --window 0,0,64,64 "
        "--output " +
        Path("f.raw").string() + Registry());
    EXPECT_EQ(run.exitCode, 1) << run.err;
    unsigned got = 0;
    ASSERT_EQ(std::sscanf(LastLine(run).c_str(),
                          "diskcam: the camera is gone (0xC000009D) after %u of 20 frames", &got),
              1)
        << run.err;
    EXPECT_GE(got, 3u);
    EXPECT_LT(got, 20u);
    EXPECT_EQ(ReadFile(Path("f.raw")).size(), got * FrameBytes);
}

TEST_F(ToolTest, ACameraPulledOutDuringSecondsIsAFailureToo) {
    ToolRun run =
        Tool("capture --fps 0 --seconds 30 --sim-unplug-after 2 --window 0,0,64,64" + Registry());
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_EQ(LastLine(run).rfind("diskcam: the camera is gone (0xC000009D) after ", 0), 0u)
        << run.err;
}

}  // namespace
}  // namespace tool_test
