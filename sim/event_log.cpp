// EventLog: formatting and saving of the camera's events.
#include "sim/event_log.h"

#include <cstdio>
#include <fstream>
#include <stdexcept>

namespace sim {

void EventLog::RegisterWrite(uint16_t address, uint16_t value) {
    char line[16];
    std::snprintf(line, sizeof line, "W %04X %04X", address, value);
    Append(line);
}

void EventLog::EndOfConfiguration() {
    Append("END");
}

void EventLog::FrameRead(uint64_t frameNumber) {
    Append("FRAME " + std::to_string(frameNumber));
}

std::vector<std::string> EventLog::Lines() const {
    std::lock_guard<std::mutex> guard(lock_);
    return lines_;
}

void EventLog::WriteTo(const std::string& path) const {
    std::ofstream file(path);
    for (const std::string& line : Lines()) {
        file << line << '\n';
    }
    file.flush();
    if (!file) {
        throw std::runtime_error(path + ": cannot write the camera log");
    }
}

void EventLog::Append(std::string line) {
    std::lock_guard<std::mutex> guard(lock_);
    lines_.push_back(std::move(line));
}

}  // namespace sim
