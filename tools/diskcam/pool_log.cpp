#include "tools/diskcam/pool_log.h"

#include <stdexcept>

#include "host/nt/pool_control.h"

namespace tool {

PoolLog::PoolLog(const std::string& path, std::chrono::milliseconds interval)
    : file_(std::fopen(path.c_str(), "w")), start_(std::chrono::steady_clock::now()) {
    if (file_ == nullptr) {
        throw std::runtime_error("cannot write the pool log '" + path + "'");
    }
    Sample();
    thread_ = std::thread([this, interval] {
        std::unique_lock<std::mutex> lock(mutex_);
        while (!stop_.wait_for(lock, interval, [this] { return stopping_; })) {
            Sample();
        }
    });
}

PoolLog::~PoolLog() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    stop_.notify_all();
    thread_.join();
    Sample();
    std::fclose(file_);
}

void PoolLog::Sample() {
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    std::fprintf(file_, "%.1f %zu %zu\n", seconds, host::PoolLiveBytes(),
                 host::PoolLiveAllocations());
    std::fflush(file_);
}

}  // namespace tool
