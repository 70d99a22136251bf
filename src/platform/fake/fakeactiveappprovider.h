#pragma once

#include "platform/activeappprovider.h"

#include <map>
#include <mutex>

namespace korvane {

// An active application that tests set by hand; titles are kept per process. Any thread.
class FakeActiveAppProvider final : public ActiveAppProvider {
public:
    std::optional<FrontmostApplication> frontmostApplication() override {
        std::lock_guard lock(mutex_);
        return frontmost_;
    }

    std::optional<std::string> focusedWindowTitle(std::int32_t pid) override {
        std::lock_guard lock(mutex_);
        auto found = titles_.find(pid);
        return found == titles_.end() ? std::nullopt : std::optional<std::string>(found->second);
    }

    std::optional<std::uint64_t> activeWindowID() override {
        std::lock_guard lock(mutex_);
        return window_;
    }

    // Makes `application` frontmost with `window` focused; nothing means no active application.
    void setFrontmost(std::optional<FrontmostApplication> application, std::optional<std::uint64_t> window = {}) {
        std::lock_guard lock(mutex_);
        frontmost_ = std::move(application);
        window_ = window;
    }

    void setTitle(std::int32_t pid, std::optional<std::string> title) {
        std::lock_guard lock(mutex_);
        if (title) {
            titles_[pid] = std::move(*title);
        } else {
            titles_.erase(pid);
        }
    }

private:
    std::mutex mutex_;
    std::optional<FrontmostApplication> frontmost_;
    std::optional<std::uint64_t> window_;
    std::map<std::int32_t, std::string> titles_;
};

} // namespace korvane
