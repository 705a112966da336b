#include "tests/tools/tool_fixture.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace tool_test {

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

Format ParseFormat(const std::string& err) {
    Format format;
    for (const std::string& line : Lines(err)) {
        if (std::sscanf(line.c_str(), "format: RGB32 %dx%d", &format.width, &format.height) == 2) {
            break;
        }
    }
    return format;
}

void WriteCameraFile(const fs::path& path, const std::function<unsigned char(int)>& rowValue) {
    constexpr size_t frameData = 0x20400;
    constexpr int side = 64;
    std::string disk(frameData + side * side, '\0');
    disk.replace(0x20000, 6, "QUELMA");
    disk[0x20000 + 26] = 0x2D;
    disk[0x20000 + 27] = 0x0A;
    disk[0x20000 + 256] = 1;
    for (int y = 0; y < side; ++y) {
        disk.replace(frameData + size_t(y) * side, side, side, static_cast<char>(rowValue(y)));
    }
    std::ofstream(path, std::ios::binary) << disk;
}

void ToolTest::SetUp() {
    directory_ = fs::temp_directory_path() /
                 ("diskcam-tool-" + std::to_string(::getpid()) + "-" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(directory_);
    fs::create_directories(directory_);
}

void ToolTest::TearDown() {
    fs::remove_all(directory_);
}

ToolRun ToolTest::Tool(const std::string& arguments) {
    return Run("", arguments);
}

ToolRun ToolTest::LinkedTool(const std::string& arguments) {
    return Run("env -u DISKCAM_DRIVER ", arguments);
}

ToolRun ToolTest::Run(const std::string& prefix, const std::string& arguments) {
    std::string command = prefix + DISKCAM_TOOL + " " + arguments + " >" + Path("stdout").string() +
                          " 2>" + Path("stderr").string();
    int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(Path("stdout")),
            ReadFile(Path("stderr"))};
}

}  // namespace tool_test
