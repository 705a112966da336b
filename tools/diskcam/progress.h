// The live progress of a capture on a terminal: one line on stderr, the
// frames so far and their rate, rewritten in place.
#pragma once

#include <chrono>

namespace tool {

class ProgressLine {
public:
    using Clock = std::chrono::steady_clock;

    // Shows nothing unless stderr is a terminal.
    explicit ProgressLine(Clock::time_point start);
    // Clears the line, so that the summary takes its place.
    ~ProgressLine();
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    // From half a second into the capture on, at most four times a second:
    // a short capture shows no line at all.
    void Update(long frames);

private:
    const bool terminal_;
    const Clock::time_point start_;
    Clock::time_point nextShown_;
    bool shown_ = false;
};

}  // namespace tool
