// The tool's help, its `list` command, the top-down output stream and the
// FFmpeg recording recipe of the README.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "tests/tools/tool_fixture.h"

namespace tool_test {
namespace {

TEST_F(ToolTest, HelpGoesToStandardOutputAndSucceeds) {
    ToolRun all = Tool("--help");
    EXPECT_EQ(all.exitCode, 0);
    EXPECT_TRUE(all.err.empty()) << all.err;
    for (const char* command : {"capture", "controls", "list"}) {
        EXPECT_NE(all.out.find(std::string("diskcam ") + command + " "), std::string::npos)
            << command;
    }
    struct Case {
        std::string arguments, head, absent;
    };
    for (const Case& c :
         {Case{"capture --help", "usage: diskcam capture  [", "controls"},
          Case{"controls -h", "usage: diskcam controls [", "capture"},
          Case{"list --camera sim --help", "usage: diskcam list     [", "capture"}}) {
        ToolRun run = Tool(c.arguments);
        EXPECT_EQ(run.exitCode, 0) << c.arguments;
        EXPECT_TRUE(run.err.empty()) << c.arguments << ": " << run.err;
        EXPECT_EQ(run.out.rfind(c.head, 0), 0u) << c.arguments << ": " << run.out;
        EXPECT_EQ(run.out.find(c.absent), std::string::npos) << c.arguments << ": " << run.out;
    }
    EXPECT_NE(Tool("capture --help").out.find("[--top-down]"), std::string::npos);
}

TEST_F(ToolTest, ListShowsTheFilterItsCategoriesFormatsAndCamera) {
    std::ofstream(Path("plain.img"), std::ios::binary) << std::string(0x40000, '\0');
    WriteCameraFile(Path("camera.img"), [](int) { return 100; });
    const std::string disks = " --camera " + Path("plain.img").string() + " --camera sim" +
                              " --camera " + Path("camera.img").string();
    ToolRun run = Tool("list" + disks + Registry());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    std::vector<std::string> lines = Lines(run.out);
    ASSERT_EQ(lines.size(), 6u) << run.out;
    EXPECT_EQ(lines[0].rfind("filter \\\\?\\", 0), 0u) << lines[0];
    EXPECT_EQ(lines[1],
              "  categories: KSCATEGORY_VIDEO KSCATEGORY_CAPTURE KSCATEGORY_VIDEO_CAMERA");
    EXPECT_EQ(lines[2], "  pin 0: RGB32 4384x3288, 30 fps");
    EXPECT_EQ(lines[3], "  pin 0: YUY2 4384x3288, 30 fps");
    EXPECT_EQ(lines[4], "  pin 0: NV12 4384x3288, 30 fps");
    EXPECT_EQ(lines[5], "  camera: CameraNo 0, disk 2 of 3: sim");

    // The format follows the stored window; CameraNo counts cameras only.
    ASSERT_EQ(Tool("controls CameraNo=1 ReadoutWindow=2,0,0,0,0" + Registry()).exitCode, 0);
    lines = Lines(Tool("list" + disks + Registry()).out);
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[2], "  pin 0: RGB32 1096x822, 30 fps");
    EXPECT_EQ(lines[4], "  pin 0: NV12 1096x822, 30 fps");
    EXPECT_EQ(lines[5], "  camera: CameraNo 1, disk 3 of 3: " + Path("camera.img").string());

    run = Tool("list --camera " + Path("plain.img").string() + Registry());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(Lines(run.out).back(), "  camera: CameraNo 1, no camera among 1 disk");
    EXPECT_NE(Tool("list Exposure" + Registry()).exitCode, 0);
}

TEST_F(ToolTest, TopDownOutputIsTheDeliveredStreamWithItsRowsReversed) {
    constexpr size_t rowBytes = 64 * 4;
    constexpr size_t frameBytes = 64 * rowBytes;
    WriteCameraFile(Path("camera.img"), [](int y) { return static_cast<unsigned char>(y * 4); });
    const std::string capture = "capture --camera " + Path("camera.img").string() +
                                " --window 0,0,64,64 --frames 2 --set ColorEnable=0" + Registry();
    ASSERT_EQ(Tool(capture + " --output " + Path("delivered.raw").string()).exitCode, 0);
    ToolRun run = Tool(capture + " --top-down --output -");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::string delivered = ReadFile(Path("delivered.raw"));
    ASSERT_EQ(delivered.size(), 2 * frameBytes);
    ASSERT_EQ(run.out.size(), 2 * frameBytes);
    EXPECT_NE(run.out, delivered);
    for (size_t frame = 0; frame < 2; ++frame) {
        for (size_t y = 0; y < 64; ++y) {
            ASSERT_EQ(run.out.substr(frame * frameBytes + y * rowBytes, rowBytes),
                      delivered.substr(frame * frameBytes + (63 - y) * rowBytes, rowBytes))
                << "frame " << frame << " row " << y;
        }
    }
    // The top row of the picture is the camera's first row: the darkest.
    EXPECT_LT(static_cast<unsigned char>(run.out[0]),
              static_cast<unsigned char>(run.out[frameBytes - rowBytes]));
}

// The README's recording recipe, with a small window of the simulated
// camera and instant transfers so that it is quick.
TEST_F(ToolTest, TheFfmpegRecordingRecipeRecordsEveryFrame) {
    if (std::system("command -v ffmpeg >/dev/null && command -v ffprobe >/dev/null") != 0) {
        GTEST_SKIP() << "ffmpeg is not installed";
    }
    const std::string video = Path("camera.mp4").string();
    const std::string record =
        std::string(DISKCAM_TOOL) +
        " capture --fps 0 --sim-link instant --window 0,0,64,32 --frames 7 --top-down --output -" +
        Registry() + " 2>" + Path("tool.err").string() +
        " | ffmpeg -v error -f rawvideo -pixel_format bgr0 -video_size 64x32 -framerate 30 -i - "
        "-c:v libx264 -pix_fmt yuv420p " +
        video + " 2>" + Path("ffmpeg.err").string();
    ASSERT_EQ(std::system(record.c_str()), 0) << ReadFile(Path("ffmpeg.err"));
    EXPECT_EQ(Lines(ReadFile(Path("tool.err"))).back().rfind("frames 7, ", 0), 0u)
        << ReadFile(Path("tool.err"));
    const std::string probe =
        "ffprobe -v error -count_frames -select_streams v:0 -show_entries "
        "stream=width,height,nb_read_frames -of csv=p=0 " +
        video + " >" + Path("probe.txt").string();
    ASSERT_EQ(std::system(probe.c_str()), 0);
    EXPECT_EQ(Lines(ReadFile(Path("probe.txt"))), std::vector<std::string>{"64,32,7"});
}

}  // namespace
}  // namespace tool_test
