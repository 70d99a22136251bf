#pragma once

#include "platform/electronprobe.h"

#include <atomic>
#include <mutex>
#include <set>

namespace korvane {

// An Electron probe over a set of running Electron applications that tests fill and empty; it
// counts its calls. Any thread.
class FakeElectronProbe final : public ElectronProbe {
public:
    bool isElectronApp(const std::string& bundleID) override {
        ++calls;
        std::lock_guard lock(mutex_);
        return running_.count(bundleID) != 0;
    }

    void launch(const std::string& bundleID) {
        std::lock_guard lock(mutex_);
        running_.insert(bundleID);
    }

    void quit(const std::string& bundleID) {
        std::lock_guard lock(mutex_);
        running_.erase(bundleID);
    }

    std::atomic<int> calls{0};

private:
    std::mutex mutex_;
    std::set<std::string> running_;
};

} // namespace korvane
