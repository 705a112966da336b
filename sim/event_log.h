// The simulated camera's event log: one line per register write
// ("W AAAA VVVV", hex), end of configuration ("END") and frame read
// ("FRAME n"). Not locked itself: its owner serialises every use.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sim {

class EventLog {
public:
    void RegisterWrite(uint16_t address, uint16_t value);
    void EndOfConfiguration();
    void FrameRead(uint64_t frameNumber);

    const std::vector<std::string>& Lines() const { return lines_; }

private:
    std::vector<std::string> lines_;
};

// One event per line. Throws std::runtime_error when the file cannot be
// written.
void WriteLogFile(const std::string& path, const std::vector<std::string>& lines);

}  // namespace sim
