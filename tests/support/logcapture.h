#pragma once

#include <mutex>
#include <string>
#include <vector>

namespace korvane::test {

// Collects the diagnostic and performance lines written while it is alive, instead of printing them.
class LogCapture {
public:
    struct PerformanceLine {
        std::string category;
        std::string message;
    };

    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    // Diagnostic lines, each with its "[Korvane] " prefix.
    std::vector<std::string> lines() const;
    std::vector<PerformanceLine> performanceLines() const;
    void clear();

private:
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
    std::vector<PerformanceLine> performance_;
};

} // namespace korvane::test
