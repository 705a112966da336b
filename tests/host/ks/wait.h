// Waiting for what another thread does, with a bound.
#pragma once

#include <chrono>
#include <thread>

template <typename Condition>
bool WaitUntil(Condition condition, std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// How long a test waits to see that something does not happen.
constexpr std::chrono::milliseconds Quiet{50};
