// EventLog: formatting and saving of the camera's events.
#include "sim/event_log.h"

#include <cstdio>
#include <fstream>
#include <stdexcept>

namespace sim {

void EventLog::RegisterWrite(uint16_t address, uint16_t value) {
    char line[16];
    std::snprintf(line, sizeof line, "W %04X %04X", address, value);
    lines_.push_back(line);
}

void EventLog::EndOfConfiguration() {
    lines_.push_back("END");
}

void EventLog::FrameRead(uint64_t frameNumber) {
    lines_.push_back("FRAME " + std::to_string(frameNumber));
}

void WriteLogFile(const std::string& path, const std::vector<std::string>& lines) {
    std::ofstream file(path);
    for (const std::string& line : lines) {
        file << line << '\n';
    }
    file.flush();
    if (!file) {
        throw std::runtime_error(path + ": cannot write the camera log");
    }
}

}  // namespace sim
