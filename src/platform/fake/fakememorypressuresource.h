#pragma once

#include "platform/memorypressuresource.h"

namespace korvane {

// Memory-pressure events that a test fires by hand, delivered at once while started. Main thread.
class FakeMemoryPressureSource final : public MemoryPressureSource {
public:
    void start(std::function<void(const MemoryPressureEvent&)> onPressure) override {
        ++startCount_;
        onPressure_ = std::move(onPressure);
    }
    void stop() override { onPressure_ = nullptr; }

    // Calls the handler as the system would; nothing happens while stopped.
    void fire(const MemoryPressureEvent& event) {
        auto handler = onPressure_;
        if (handler) {
            handler(event);
        }
    }

    bool isStarted() const { return static_cast<bool>(onPressure_); }
    int startCount() const { return startCount_; }

private:
    std::function<void(const MemoryPressureEvent&)> onPressure_;
    int startCount_ = 0;
};

} // namespace korvane
