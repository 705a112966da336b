#include "tools/diskcam/progress.h"

#include <unistd.h>

#include <cstdio>

namespace tool {

namespace {

constexpr std::chrono::milliseconds FirstShown{500};
constexpr std::chrono::milliseconds Interval{250};

}  // namespace

ProgressLine::ProgressLine(Clock::time_point start)
    : terminal_(isatty(STDERR_FILENO) != 0), start_(start), nextShown_(start + FirstShown) {}

ProgressLine::~ProgressLine() {
    if (shown_) {
        std::fputs("\r\033[K", stderr);
    }
}

void ProgressLine::Update(long frames) {
    const Clock::time_point now = Clock::now();
    if (!terminal_ || now < nextShown_) {
        return;
    }
    nextShown_ = now + Interval;
    const double seconds = std::chrono::duration<double>(now - start_).count();
    std::fprintf(stderr, "\r\033[Kframes %ld, %.1f fps", frames, frames / seconds);
    shown_ = true;
}

}  // namespace tool
