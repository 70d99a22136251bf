#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace korvane {

// One ordered record of what several fakes were asked to do, so a test can check the order of key
// posts, pauses and clipboard writes across them. Any thread.
class FakeEventLog {
public:
    void add(std::string event) {
        std::lock_guard lock(mutex_);
        events_.push_back(std::move(event));
    }
    std::vector<std::string> events() const {
        std::lock_guard lock(mutex_);
        return events_;
    }
    void clear() {
        std::lock_guard lock(mutex_);
        events_.clear();
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::string> events_;
};

} // namespace korvane
