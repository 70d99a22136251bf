#pragma once

#include "base/cancellationtoken.h"
#include "base/scheduler.h"
#include "platform/memorypressuresource.h"

#include <filesystem>
#include <optional>
#include <string_view>

namespace korvane {

// Memory pressure read from the kernel's meminfo file: the share MemAvailable / MemTotal, read on the
// main thread through the Scheduler every `pollInterval` seconds. Below 10 % is "warning", below 5 %
// "critical"; each rise in level is reported once. Falling back takes a margin, so that readings
// hovering at a threshold do not report again and again: critical eases to warning only at 7.5 % or
// more (a new fall below 5 % then reports critical again), and either level returns to normal only
// at 15 % or more. With KORVANE_TEST_HOOKS=1 in the environment, SIGUSR1 reports a critical event.
class ProcMemoryPressureSource final : public MemoryPressureSource {
public:
    enum class Level { normal, warning, critical };

    static constexpr double pollInterval = 5.0;
    static constexpr double warningBelow = 0.10;
    static constexpr double criticalBelow = 0.05;
    static constexpr double criticalEasesAt = 0.075;
    static constexpr double normalAt = 0.15;
    // How often the signal pipe is looked at while the test hook is on.
    static constexpr double testHookInterval = 0.1;

    explicit ProcMemoryPressureSource(Scheduler& scheduler, std::filesystem::path meminfo = "/proc/meminfo");
    ~ProcMemoryPressureSource() override;
    ProcMemoryPressureSource(const ProcMemoryPressureSource&) = delete;
    ProcMemoryPressureSource& operator=(const ProcMemoryPressureSource&) = delete;

    // The first reading comes from the main loop at once, the next every `pollInterval` seconds.
    void start(std::function<void(const MemoryPressureEvent&)> onPressure) override;
    void stop() override;

    // The level after a reading of `availableShare` (0 to 1) while at `current`.
    static Level nextLevel(Level current, double availableShare);
    // MemAvailable / MemTotal from the text of a meminfo file; nothing when either is missing or
    // MemTotal is zero.
    static std::optional<double> availableShare(std::string_view meminfo);

private:
    void poll();
    void pollTestHook();
    // Whether the signal came since the last look.
    bool drainTestHook();
    void report(const MemoryPressureEvent& event);

    Scheduler& scheduler_;
    std::filesystem::path meminfo_;
    std::function<void(const MemoryPressureEvent&)> onPressure_;
    Level level_ = Level::normal;
    std::optional<CancellationToken> pollTimer_;
    std::optional<CancellationToken> hookTimer_;
    int hookDescriptor_ = -1;
};

} // namespace korvane
