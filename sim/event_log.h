// The simulated camera's event log: one line per register write
// ("W AAAA VVVV", hex), end of configuration ("END") and frame read
// ("FRAME n"). Thread-safe.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace sim {

class EventLog {
public:
    void RegisterWrite(uint16_t address, uint16_t value);
    void EndOfConfiguration();
    void FrameRead(uint64_t frameNumber);

    std::vector<std::string> Lines() const;
    // One event per line. Throws std::runtime_error when the file cannot be
    // written.
    void WriteTo(const std::string& path) const;

private:
    void Append(std::string line);

    mutable std::mutex lock_;
    std::vector<std::string> lines_;  // guarded by lock_
};

}  // namespace sim
