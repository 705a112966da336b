// The shipped diskcam.sys, loaded by the host's PE loader, against the driver
// linked into the tool: the same commands give the same bytes. Frames are
// compared once the staged settings have settled (the last of 30 of a still
// scene), since which raw frame a delivery shows depends on timing.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <string>

#include "tests/tools/tool_fixture.h"

namespace tool_test {
namespace {

class ShippedDriver : public ToolTest {
protected:
    void SetUp() override {
        if (std::string(DISKCAM_SYS).empty()) {
            GTEST_SKIP() << "the build was given no diskcam.sys (DISKCAM_SYS)";
        }
        ToolTest::SetUp();
    }

    static std::string Sys() { return std::string(" --driver ") + DISKCAM_SYS; }

    // The last frame of a 30-frame capture, with the format line.
    struct LastFrame {
        std::string format;
        std::string bytes;
    };
    LastFrame Capture(bool loaded, const std::string& options) {
        constexpr size_t frames = 30;
        const std::string arguments = "capture --fps 0 --sim-link instant --frames " +
                                      std::to_string(frames) + " --scene " +
                                      Path("noise.ppm").string() + " --output " +
                                      Path("frames.raw").string() + Registry() + " " + options;
        ToolRun run = loaded ? Tool(arguments + Sys()) : LinkedTool(arguments);
        fs::remove(Path("settings.reg"));
        EXPECT_EQ(run.exitCode, 0) << options << "\n" << run.err;
        Format format = ParseFormat(run.err);
        std::string all = ReadFile(Path("frames.raw"));
        const size_t frameBytes = size_t(format.width) * format.height * 4;
        EXPECT_EQ(all.size(), frameBytes * frames) << options;
        if (frameBytes == 0 || all.size() < frameBytes) {
            return {};
        }
        return {Lines(run.err).front(), all.substr(all.size() - frameBytes)};
    }
};

// A still scene with detail everywhere: every pixel a different colour.
void WriteNoise(const fs::path& path) {
    constexpr int width = 548, height = 411;
    std::ofstream out(path, std::ios::binary);
    out << "P6\n" << width << " " << height << "\n255\n";
    uint32_t state = 12345;
    for (int i = 0; i < width * height * 3; ++i) {
        state = state * 1664525u + 1013904223u;
        out.put(static_cast<char>(state >> 24));
    }
}

TEST_F(ShippedDriver, DeliversTheLinkedDriversFramesForEveryWindowFlipModeAndSetting) {
    WriteNoise(Path("noise.ppm"));
    const char* const cases[] = {
        "--window 1001,501,240,40",
        "--window 1000,500,241,41 --set FlipV=1",
        "--window 3,7,199,33 --set FlipV=1",
        "--subsample 2",
        "--subsample 2 --set FlipV=1",
        "--window 16,16,130,70 --set ColorEnable=0",
        "--window 64,32,160,48 --set Saturation=15 --set Hue=40 --set Contrast=20 "
        "--set Brightness=-30 --set Exposure=12 --set GlobalGain=100",
        "--window 8,8,96,64 --set RedGain=300 --set BlueGain=60 --set ColorCorrection=0",
        "--window 200,100,128,64 --set WhiteBalance=1",
    };
    // A capture thread starved by a loaded machine can leave every delivery
    // on a frame read while the staged gains were still going in; such a
    // pair is captured again.
    constexpr int attempts = 3;
    for (const char* options : cases) {
        LastFrame linked;
        LastFrame loaded;
        for (int attempt = 0; attempt < attempts; ++attempt) {
            linked = Capture(false, options);
            loaded = Capture(true, options);
            if (loaded.bytes == linked.bytes) {
                break;
            }
        }
        ASSERT_FALSE(linked.bytes.empty()) << options;
        EXPECT_EQ(loaded.format, linked.format) << options;
        EXPECT_TRUE(loaded.bytes == linked.bytes) << options << ": the frames differ";
    }
}

TEST_F(ShippedDriver, ControlsPrintAndStoreTheSameBytes) {
    const std::string operations[] = {
        "controls",
        "controls Exposure=100 Saturation=15 57=3 RoiW ReadoutWindow=0,8,16,640,480 RoiX",
        "controls Exposure=20 ExposureMin=3 Exposure=30",
    };
    for (const std::string& operation : operations) {
        ToolRun linked = LinkedTool(operation + Registry());
        std::string linkedStore = ReadFile(Path("settings.reg"));
        fs::remove(Path("settings.reg"));
        ToolRun loaded = Tool(operation + Registry() + Sys());
        std::string loadedStore = ReadFile(Path("settings.reg"));
        fs::remove(Path("settings.reg"));
        EXPECT_EQ(loaded.exitCode, linked.exitCode) << operation;
        EXPECT_EQ(loaded.out, linked.out) << operation;
        EXPECT_EQ(loaded.err, linked.err) << operation;
        EXPECT_EQ(loadedStore, linkedStore) << operation;
    }
}

TEST_F(ShippedDriver, ADamagedImageIsOneClearErrorAndNothingRuns) {
    std::string image = ReadFile(DISKCAM_SYS);
    ASSERT_GT(image.size(), 4096u);
    std::ofstream(Path("truncated.sys"), std::ios::binary) << image.substr(0, 700);
    ToolRun run =
        Tool("controls Exposure" + Registry() + " --driver " + Path("truncated.sys").string());
    EXPECT_EQ(run.exitCode, 1);
    std::vector<std::string> lines = Lines(run.err);
    ASSERT_EQ(lines.size(), 1u) << run.err;
    EXPECT_EQ(lines[0].rfind("diskcam: ", 0), 0u) << run.err;
    EXPECT_NE(lines[0].find("truncated.sys"), std::string::npos) << run.err;
    EXPECT_NE(lines[0].find("0xC000007B"), std::string::npos) << run.err;
    EXPECT_TRUE(run.out.empty());
    EXPECT_FALSE(fs::exists(Path("settings.reg")));
}

}  // namespace
}  // namespace tool_test
