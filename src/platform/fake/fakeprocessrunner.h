#pragma once

#include "base/clock.h"
#include "platform/fake/fakeclock.h"
#include "platform/processrunner.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace korvane {

// A ProcessRunner for tests that starts nothing: each run follows a script chosen by the request's
// last argument (the command text of "sh -c"), takes virtual time on an optional FakeClock, and can
// be held until the test releases it. Any thread may run; the test controls it from its own.
class FakeProcessRunner final : public ProcessRunner {
public:
    struct Script {
        int exitStatus = 0;
        std::string output;
        std::string errorOutput;
        // Virtual seconds the process takes; reaching the request's timeout ends it as timed out.
        double duration = 0;
        // Set: the launch fails with this error number.
        std::optional<int> launchError;
    };

    explicit FakeProcessRunner(FakeClock* clock = nullptr);

    Expected<ProcessResult, ProcessLaunchError> run(const ProcessRequest& request) override;

    // The script for requests whose last argument is `lastArgument`; others get the default.
    void respond(const std::string& lastArgument, Script script);
    void respondByDefault(Script script);

    // While held, runs block after being recorded until released (one run per release, or all).
    void hold();
    void release(std::size_t runs = 1);
    void releaseAll();
    // Blocks until `count` runs are blocked in hold, or until `limit` passed; true on success.
    bool waitUntilHeld(std::size_t count, std::chrono::milliseconds limit = std::chrono::seconds(5)) const;

    // Every request seen, launches that failed included, in order.
    std::vector<ProcessRequest> requests() const;
    std::size_t runCount() const;
    // The most runs that were inside `run` at the same time.
    std::size_t maxConcurrentRuns() const;

private:
    FakeClock* clock_;
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::map<std::string, Script> scripts_;
    Script defaultScript_;
    std::vector<ProcessRequest> requests_;
    bool holding_ = false;
    std::size_t released_ = 0;
    std::size_t held_ = 0;
    std::size_t running_ = 0;
    std::size_t maxRunning_ = 0;
};

} // namespace korvane
