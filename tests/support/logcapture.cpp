#include "support/logcapture.h"

#include "base/diagnostics.h"

namespace korvane::test {

LogCapture::LogCapture() {
    setDiagnosticHook([this](std::string_view line) {
        std::lock_guard lock(mutex_);
        lines_.emplace_back(line);
    });
    setPerformanceHook([this](std::string_view category, std::string_view message) {
        std::lock_guard lock(mutex_);
        performance_.push_back({std::string(category), std::string(message)});
    });
}

LogCapture::~LogCapture() {
    setDiagnosticHook(nullptr);
    setPerformanceHook(nullptr);
}

std::vector<std::string> LogCapture::lines() const {
    std::lock_guard lock(mutex_);
    return lines_;
}

std::vector<LogCapture::PerformanceLine> LogCapture::performanceLines() const {
    std::lock_guard lock(mutex_);
    return performance_;
}

void LogCapture::clear() {
    std::lock_guard lock(mutex_);
    lines_.clear();
    performance_.clear();
}

} // namespace korvane::test
