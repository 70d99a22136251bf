#pragma once

#include "platform/workspaceevents.h"

namespace korvane {

// Activations that a test sends by hand, delivered at once while started. Main thread.
class FakeWorkspaceEvents final : public WorkspaceEvents {
public:
    bool start(std::function<void(const Activation&)> onActivate) override {
        ++startCount_;
        if (!available_) {
            return false;
        }
        onActivate_ = std::move(onActivate);
        return true;
    }
    void stop() override { onActivate_ = nullptr; }

    // Calls the handler as the desktop would; nothing happens while stopped.
    void activate(const Activation& activation) {
        auto handler = onActivate_;
        if (handler) {
            handler(activation);
        }
    }

    // Makes start() fail, as without a desktop to watch.
    void setAvailable(bool available) { available_ = available; }
    bool isStarted() const { return static_cast<bool>(onActivate_); }
    int startCount() const { return startCount_; }

private:
    std::function<void(const Activation&)> onActivate_;
    bool available_ = true;
    int startCount_ = 0;
};

} // namespace korvane
