// The diskcam tool end to end: the whole stack from the simulated camera (or
// a camera file) through the driver to the delivered frames, the controls,
// the settings store and the errors a user sees.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/tools/tool_fixture.h"

namespace tool_test {
namespace {

// A scene of four vertical stripes over the sensor: red, green, blue and
// grey, 1096 sensor columns each.
std::string WriteStripes(const fs::path& path) {
    std::ofstream out(path, std::ios::binary);
    out << "P6\n4 1\n255\n";
    const unsigned char pixels[] = {255, 0, 0, 0, 255, 0, 0, 0, 255, 128, 128, 128};
    out.write(reinterpret_cast<const char*>(pixels), sizeof pixels);
    return path.string();
}

enum class Colour { Red, Green, Blue, Grey, Other };

Colour Classify(const unsigned char* bgra) {
    int blue = bgra[0], green = bgra[1], red = bgra[2];
    auto dominant = [](int a, int b, int c) { return a > b + 60 && a > c + 60; };
    if (dominant(red, green, blue)) {
        return Colour::Red;
    }
    if (dominant(green, red, blue)) {
        return Colour::Green;
    }
    if (dominant(blue, red, green)) {
        return Colour::Blue;
    }
    if (std::abs(red - green) < 12 && std::abs(green - blue) < 12 && red > 60 && red < 220) {
        return Colour::Grey;
    }
    return Colour::Other;
}

struct StripeCase {
    std::string options;
    // The sensor column of output column x: first + x for a window, or the
    // subsample mapping.
    int first;
    int group;  // 2 for a free window, 4 or 8 for the subsample modes
};

int SensorColumn(const StripeCase& c, int x) {
    return c.group == 2 ? c.first + x : c.group * (x / 2) + x % 2;
}

Colour StripeAt(int sensorColumn) {
    const Colour stripes[] = {Colour::Red, Colour::Green, Colour::Blue, Colour::Grey};
    return stripes[sensorColumn / 1096];
}

// The raw frames the simulated camera served in a run, from its log.
int FramesServed(const fs::path& log) {
    int served = 0;
    for (const std::string& line : Lines(ReadFile(log))) {
        served += line.rfind("FRAME ", 0) == 0 ? 1 : 0;
    }
    return served;
}

TEST_F(ToolTest, ColoursMatchTheSceneForEveryWindowFlipAndSubsampleMode) {
    // The flip reaches the sensor with the first raw frame and the staged
    // apply brings the channel gains over raw frames 5 to 9. A delivery
    // repeats the last image while no new raw frame is ready. After the
    // delivery the tool judges, the camera serves at most five more frames
    // (two buffers still queued, two slots and a read under way), so a run
    // that served 15 or more ends on a settled image; a loaded machine that
    // starves the camera gets a longer run instead.
    constexpr int settledServed = 15;
    std::string scene = WriteStripes(Path("stripes.ppm"));
    const StripeCase cases[] = {
        {"--window 1001,501,2400,400", 1001, 2},
        {"--window 1001,501,2400,401 --set FlipV=1", 1001, 2},
        {"--window 1000,500,2400,400 --set FlipV=1", 1000, 2},
        {"--window 3,7,4200,33", 3, 2},
        {"--subsample 1", 0, 4},
        {"--subsample 2 --set FlipV=1", 0, 8},
    };
    for (const StripeCase& c : cases) {
        size_t frames = 0;
        std::string bytes;
        Format format;
        for (frames = 30; frames <= 480; frames *= 2) {
            ToolRun run =
                Tool("capture --fps 0 --sim-link instant --frames " + std::to_string(frames) +
                     " --scene " + scene + " --output " + Path("frames.raw").string() +
                     " --sim-log " + Path("camera.log").string() + Registry() + " " + c.options);
            ASSERT_EQ(run.exitCode, 0) << c.options << "\n" << run.err;
            format = ParseFormat(run.err);
            bytes = ReadFile(Path("frames.raw"));
            fs::remove(Path("settings.reg"));
            if (FramesServed(Path("camera.log")) >= settledServed) {
                break;
            }
        }
        ASSERT_LE(frames, 480u) << c.options << ": the camera never got past the staged apply";
        ASSERT_GT(format.width, 0);
        size_t frameBytes = size_t(format.width) * format.height * 4;
        ASSERT_EQ(bytes.size(), frameBytes * frames) << c.options;
        const auto* last =
            reinterpret_cast<const unsigned char*>(bytes.data() + bytes.size() - frameBytes);
        for (int x = 0; x < format.width; x += 7) {
            int column = SensorColumn(c, x);
            if (column % 1096 < 12 || column % 1096 > 1084) {
                continue;  // the filter mixes neighbouring stripes here
            }
            for (int row : {2, format.height / 2, format.height - 3}) {
                ASSERT_EQ(Classify(last + (size_t(row) * format.width + x) * 4), StripeAt(column))
                    << c.options << " column " << x << " row " << row;
            }
        }
    }
}

TEST_F(ToolTest, WritesTopDownPngFilesAndASummary) {
    ToolRun run =
        Tool("capture --fps 0 --frames 3 --subsample 2 --out " + Path("png").string() + Registry());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    std::vector<std::string> lines = Lines(run.err);
    ASSERT_EQ(lines.size(), 2u) << run.err;
    EXPECT_EQ(lines[0], "format: RGB32 1096x822, 3603648 bytes/frame");
    EXPECT_EQ(lines[1].rfind("frames 3, ", 0), 0u) << lines[1];
    for (const char* name : {"frame-000001.png", "frame-000002.png", "frame-000003.png"}) {
        std::string png = ReadFile(Path("png") / name);
        ASSERT_GT(png.size(), 8u) << name;
        EXPECT_EQ(png.substr(1, 3), "PNG");
    }
    EXPECT_TRUE(run.out.empty());
}

// The summary keeps its "frames N, T s, F fps" start and then says what the
// frames were, from the frame information of their headers; stderr is no
// terminal here, so no progress line comes before it.
TEST_F(ToolTest, TheSummarySeparatesNewRepeatedAndDroppedFrames) {
    ToolRun run = Tool(
        "capture --fps 0 --sim-link instant --frames 12 --window 0,0,64,32 "
        "--output /dev/null" +
        Registry());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    std::vector<std::string> lines = Lines(run.err);
    ASSERT_EQ(lines.size(), 2u) << run.err;
    long frames = 0;
    double seconds = 0;
    double fps = 0;
    long fresh = -1;
    long repeated = -1;
    long long dropped = -1;
    int end = 0;
    ASSERT_EQ(std::sscanf(lines[1].c_str(),
                          "frames %ld, %lf s, %lf fps (new %ld, repeated %ld, dropped %lld)%n",
                          &frames, &seconds, &fps, &fresh, &repeated, &dropped, &end),
              6)
        << lines[1];
    EXPECT_EQ(static_cast<size_t>(end), lines[1].size()) << lines[1];
    EXPECT_EQ(frames, 12);
    EXPECT_GE(fresh, 1);
    EXPECT_EQ(fresh + repeated, frames);
    EXPECT_GE(dropped, 0);
}

TEST_F(ToolTest, StandardOutputCarriesOnlyTheFrames) {
    ToolRun run = Tool("capture --fps 0 --frames 2 --window 0,0,64,32 --output -" + Registry());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out.size(), 2u * 64 * 32 * 4);
}

// The samples a soak run judges: time, live bytes and live blocks, from the
// stream's start to its end, with the stream's buffers in the pool.
TEST_F(ToolTest, APoolLogSamplesThePoolWhileTheStreamRuns) {
    ToolRun run = Tool(
        "capture --fps 0 --sim-link instant --seconds 0.3 --window 0,0,64,32 "
        "--output /dev/null --pool-interval 0.05 --pool-log " +
        Path("pool.txt").string() + Registry());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    std::vector<std::string> lines = Lines(ReadFile(Path("pool.txt")));
    ASSERT_GE(lines.size(), 3u);
    double previous = -1;
    for (const std::string& line : lines) {
        double seconds = 0;
        unsigned long long bytes = 0;
        unsigned long long blocks = 0;
        ASSERT_EQ(std::sscanf(line.c_str(), "%lf %llu %llu", &seconds, &bytes, &blocks), 3) << line;
        EXPECT_GE(seconds, previous);
        EXPECT_GE(bytes, 2u * 64 * 32) << "the raw slots at least";
        EXPECT_GE(blocks, 3u);
        previous = seconds;
    }
}

TEST_F(ToolTest, AFileBackedCameraWorks) {
    WriteCameraFile(Path("camera.img"), [](int) { return 100; });
    ToolRun run = Tool("capture --camera " + Path("camera.img").string() +
                       " --window 0,0,64,64 --frames 3 --set ColorEnable=0 --output " +
                       Path("frames.raw").string() + Registry());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(Lines(run.err)[0], "format: RGB32 64x64, 16384 bytes/frame");
    std::string frames = ReadFile(Path("frames.raw"));
    ASSERT_EQ(frames.size(), 3u * 16384);
    // Grey output of a uniform 100: 30 + 58 + 11.
    EXPECT_EQ(static_cast<unsigned char>(frames[0]), 99);
    EXPECT_EQ(static_cast<unsigned char>(frames[3]), 255);
}

TEST_F(ToolTest, NoCameraIsOneClearErrorLine) {
    std::ofstream(Path("plain.img"), std::ios::binary) << std::string(0x40000, '\0');
    ToolRun run =
        Tool("capture --camera " + Path("plain.img").string() + " --frames 1" + Registry());
    EXPECT_NE(run.exitCode, 0);
    std::vector<std::string> lines = Lines(run.err);
    ASSERT_EQ(lines.size(), 1u) << run.err;
    EXPECT_EQ(lines[0].rfind("diskcam: no camera found", 0), 0u) << run.err;
}

TEST_F(ToolTest, SettingsPersistAcrossRuns) {
    ToolRun set = Tool("controls Exposure=100 Saturation=15 57=3 RoiW" + Registry());
    ASSERT_EQ(set.exitCode, 0) << set.err;
    EXPECT_EQ(set.out, "RoiW 4384\n");
    ToolRun get = Tool("controls exposure 28 CameraNo" + Registry());
    ASSERT_EQ(get.exitCode, 0) << get.err;
    EXPECT_EQ(get.out, "Exposure 100\nSaturation 15\nCameraNo 3\n");
    std::string stored = ReadFile(Path("settings.reg"));
    EXPECT_NE(stored.find("\"Exposure\"=dword:00000064"), std::string::npos) << stored;
}

TEST_F(ToolTest, TheWindowOptionReachesTheStoredWindow) {
    ASSERT_EQ(Tool("controls ReadoutWindow=0,8,16,640,480" + Registry()).exitCode, 0);
    ToolRun run = Tool("capture --fps 0 --frames 1 --subsample 0 --output " +
                       Path("f.raw").string() + Registry());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(Lines(run.err)[0], "format: RGB32 640x480, 1228800 bytes/frame");
}

TEST_F(ToolTest, ControlsListEveryItemWithItsAccess) {
    ToolRun run = Tool("controls" + Registry());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    std::vector<std::string> lines = Lines(run.out);
    ASSERT_EQ(lines.size(), 66u);
    EXPECT_EQ(lines[0], "0 0 0 get,set");
    EXPECT_EQ(lines[2], "2 Exposure 8 get,set");
    EXPECT_EQ(lines[3], "3 ExposureMin 1 get");
    EXPECT_EQ(lines[44], "44 ReadoutWindow - set");
    EXPECT_EQ(lines[64], "64 ResetReadMode - set");
    EXPECT_EQ(lines[65], "65 65 1 get");
}

TEST_F(ToolTest, ARefusedOperationStopsWithItsStatus) {
    ToolRun run = Tool("controls Exposure=20 ExposureMin=3 Exposure=30" + Registry());
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("set ExposureMin: refused with status 0x"), std::string::npos)
        << run.err;
    EXPECT_EQ(Tool("controls Exposure" + Registry()).out, "Exposure 20\n");
}

TEST_F(ToolTest, StandardControlsListValueRangeStepAndDefault) {
    ToolRun run = Tool("controls --standard" + Registry());
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(Lines(run.out),
              (std::vector<std::string>{
                  "Brightness 255 range 0..510 step 1 default 255",
                  "Contrast 10 range 0..20 step 1 default 10",
                  "Hue 0 range 0..359 step 1 default 0",
                  "Saturation 10 range 0..20 step 1 default 10",
                  "Gain 14 range 0..127 step 1 default 14",
                  "ColorEnable 1 range 0..1 step 1 default 1",
                  "WhiteBalance 6500 range 4000..10000 step 250 default 6500 auto off",
                  "Exposure -10 range -13..0 step 1 default -10",
                  "FlipVertical 0 range 0..1 step 1 default 0",
              }));
}

// A standard set is the private item, in this run and the next.
TEST_F(ToolTest, StandardControlsSetThePrivateItemsAndPersist) {
    ToolRun set =
        Tool("controls --standard exposure=-4 WhiteBalance=9000 FlipVertical=1 Gain" + Registry());
    ASSERT_EQ(set.exitCode, 0) << set.err;
    EXPECT_EQ(set.out, "Gain 14 range 0..127 step 1 default 14\n");
    ToolRun get = Tool("controls Exposure RedGain BlueGain FlipV" + Registry());
    EXPECT_EQ(get.out, "Exposure 512\nRedGain 149\nBlueGain 100\nFlipV 1\n") << get.err;
    ASSERT_EQ(Tool("controls --standard WhiteBalance=auto" + Registry()).exitCode, 0);
    ToolRun automatic = Tool("controls --standard WhiteBalance" + Registry());
    EXPECT_EQ(automatic.out, "WhiteBalance 9000 range 4000..10000 step 250 default 6500 auto on\n")
        << automatic.err;
}

TEST_F(ToolTest, StandardControlsRefuseAutoWithoutAnAutoFlag) {
    ToolRun run = Tool("controls --standard Brightness=auto" + Registry());
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("set Brightness: refused with status 0xC000000D"), std::string::npos)
        << run.err;
    EXPECT_NE(Tool("controls --standard Sharpness" + Registry()).exitCode, 0);
}

TEST_F(ToolTest, BadArgumentsShowTheUsage) {
    for (const char* arguments :
         {"", "film", "capture --frames 0", "capture --window 1,2,3", "capture --sim-link usb4",
          "controls NoSuchControl", "controls Exposure=lots"}) {
        ToolRun run = Tool(arguments + Registry());
        EXPECT_NE(run.exitCode, 0) << arguments;
        EXPECT_EQ(run.err.rfind("diskcam: ", 0), 0u) << arguments << ": " << run.err;
    }
}

}  // namespace
}  // namespace tool_test
