#pragma once

#include "platform/linux/linuxprocessrunner.h"

#include <condition_variable>
#include <mutex>

namespace korvane::test {

// Real processes, counted as they start; the test can hold every launch until it lets them go. Any
// thread.
class CountingProcessRunner final : public ProcessRunner {
public:
    Expected<ProcessResult, ProcessLaunchError> run(const ProcessRequest& request) override {
        {
            std::unique_lock lock(mutex_);
            ++launches_;
            changed_.notify_all();
            changed_.wait(lock, [&] { return !holding_; });
        }
        return real_.run(request);
    }
    int launches() const {
        std::lock_guard lock(mutex_);
        return launches_;
    }
    void hold() {
        std::lock_guard lock(mutex_);
        holding_ = true;
    }
    void release() {
        std::lock_guard lock(mutex_);
        holding_ = false;
        changed_.notify_all();
    }
    void waitForLaunch() {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return launches_ > 0; });
    }

private:
    LinuxProcessRunner real_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    int launches_ = 0;
    bool holding_ = false;
};

} // namespace korvane::test
