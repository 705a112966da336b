// Samples the kernel pool while a capture runs: one line every interval,
// "SECONDS BYTES BLOCKS" (the live bytes and blocks of every tag), so a
// long run shows whether the driver's pool use grows.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>

namespace tool {

class PoolLog {
public:
    // Throws std::runtime_error when the file cannot be written.
    PoolLog(const std::string& path, std::chrono::milliseconds interval);
    // Writes a last sample and closes the file.
    ~PoolLog();
    PoolLog(const PoolLog&) = delete;
    PoolLog& operator=(const PoolLog&) = delete;

private:
    void Sample();

    std::FILE* file_;
    std::chrono::steady_clock::time_point start_;
    std::mutex mutex_;
    std::condition_variable stop_;
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace tool
