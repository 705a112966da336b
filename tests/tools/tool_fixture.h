// Running the diskcam tool from tests: each test gets its own folder for
// the settings store and the files the tool writes.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace tool_test {

namespace fs = std::filesystem;

struct ToolRun {
    int exitCode;
    std::string out;
    std::string err;
};

std::string ReadFile(const fs::path& path);
std::vector<std::string> Lines(const std::string& text);

// The size in the tool's "format: RGB32 WxH, ..." line.
struct Format {
    int width = 0;
    int height = 0;
};
Format ParseFormat(const std::string& err);

// A camera disk in a file: its status sector says a frame is always ready
// and its frame area holds one 64 x 64 frame whose row y has the value
// rowValue(y) throughout.
void WriteCameraFile(const fs::path& path, const std::function<unsigned char(int)>& rowValue);

class ToolTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    fs::path Path(const std::string& name) const { return directory_ / name; }

    // Runs the tool with the test's environment: the driver DISKCAM_DRIVER
    // names, or the linked one.
    ToolRun Tool(const std::string& arguments);
    // Runs the tool on the driver linked into it, whatever the environment.
    ToolRun LinkedTool(const std::string& arguments);

    std::string Registry() const { return " --registry " + Path("settings.reg").string(); }

    fs::path directory_;

private:
    ToolRun Run(const std::string& prefix, const std::string& arguments);
};

}  // namespace tool_test
