#pragma once

#include "platform/mainthreadcaller.h"

#include <atomic>

namespace korvane {

// Runs each step at once on the calling thread, as if the main thread had taken it; or, when told
// the main thread is gone, refuses every step.
class InlineMainThreadCaller final : public MainThreadCaller {
public:
    bool runSync(const std::function<void()>& step) override {
        if (!available) {
            return false;
        }
        ++calls;
        step();
        return true;
    }

    std::atomic<bool> available{true};
    std::atomic<int> calls{0};
};

} // namespace korvane
