// The capture command's --format: the pin's YUY2 and NV12 formats, their
// frames written as delivered to the output stream or as raw files, and a
// name the tool does not know.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/tools/tool_fixture.h"

namespace tool_test {
namespace {

TEST_F(ToolTest, Yuy2FramesGoToTheOutputStreamAsDelivered) {
    ToolRun run =
        Tool("capture --fps 0 --frames 2 --window 0,0,64,32 --format YUY2 --output -" + Registry());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(Lines(run.err)[0], "format: YUY2 64x32, 4096 bytes/frame");
    ASSERT_EQ(run.out.size(), 2u * 64 * 32 * 2);
    // Every second byte is a Y, within the studio range.
    for (size_t i = 0; i < run.out.size(); i += 2) {
        const int luma = static_cast<unsigned char>(run.out[i]);
        ASSERT_TRUE(luma >= 16 && luma <= 235) << "byte " << i;
    }
}

// An odd window height: NV12 delivers its rows in pairs.
TEST_F(ToolTest, Nv12FramesAreWrittenAsRawFiles) {
    ToolRun run = Tool("capture --fps 0 --frames 1 --window 0,0,64,33 --format NV12 --out " +
                       Path("frames").string() + Registry());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(Lines(run.err)[0], "format: NV12 64x32, 3072 bytes/frame");
    EXPECT_EQ(ReadFile(Path("frames") / "frame-000001.yuv").size(), 3072u);
    EXPECT_FALSE(fs::exists(Path("frames") / "frame-000001.png"));
}

TEST_F(ToolTest, AnUnknownFormatIsABadArgument) {
    ToolRun run = Tool("capture --format YUV9" + Registry());
    EXPECT_NE(run.exitCode, 0);
    EXPECT_NE(run.err.find("--format takes RGB32, YUY2 or NV12, not 'YUV9'"), std::string::npos)
        << run.err;
}

}  // namespace
}  // namespace tool_test
