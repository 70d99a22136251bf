#pragma once

#include "platform/fake/fakeeventlog.h"
#include "platform/sleeper.h"

#include <memory>
#include <string>

namespace korvane {

// Records each pause as "sleep <microseconds>" and returns at once.
class FakeSleeper final : public Sleeper {
public:
    explicit FakeSleeper(std::shared_ptr<FakeEventLog> log)
        : log_(std::move(log)) {}
    void sleep(std::chrono::microseconds duration) override {
        log_->add("sleep " + std::to_string(duration.count()));
    }

private:
    std::shared_ptr<FakeEventLog> log_;
};

} // namespace korvane
