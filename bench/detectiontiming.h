#pragma once

#include "benchtiming.h"
#include "platform/linux/linuxprocessrunner.h"
#include "providers/projectdetector.h"

#include <benchmark/benchmark.h>
#include <csignal>
#include <string>
#include <unistd.h>
#include <vector>

namespace korvane::bench {

// Detections 30 ms apart, as triggers come: the time of each and how many did not find `shown` (a
// question that missed the detection's wait leaves the terminal without the multiplexer's answer, and
// that answer comes in meanwhile).
inline void timeDetectionsApart(benchmark::State& state, ProjectDetector& detector, const std::string& shown) {
    std::vector<double> times;
    double missed = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        const auto root = detector.detectProjectRoot();
        times.push_back(millisecondsSince(start));
        missed += root == shown ? 0 : 1;
        state.PauseTiming();
        ::usleep(30000);
        state.ResumeTiming();
    }
    state.counters["p50_ms"] = percentile(times, 0.50);
    state.counters["p95_ms"] = percentile(times, 0.95);
    state.counters["p99_ms"] = percentile(times, 0.99);
    state.counters["missed"] = missed;
}

// The same with the server `server` stopped (SIGSTOP) from the first detection on, whose time is
// `first_ms`; the server goes on afterwards.
inline void timeDetectionsStopped(benchmark::State& state, ProjectDetector& detector, pid_t server,
                                  const std::string& shown) {
    ::kill(server, SIGSTOP);
    const auto start = Clock::now();
    detector.detectProjectRoot();
    state.counters["first_ms"] = millisecondsSince(start);
    timeDetectionsApart(state, detector, shown);
    ::kill(server, SIGCONT);
}

// `request` run again and again, as a question to a server is: the time of each; a run that does not
// succeed ends the benchmark with `failure`.
inline void timeQuestions(benchmark::State& state, const ProcessRequest& request, const char* failure) {
    LinuxProcessRunner runner;
    std::vector<double> times;
    for (auto _ : state) {
        const auto start = Clock::now();
        auto result = runner.run(request);
        times.push_back(millisecondsSince(start));
        if (!result || !result->succeeded()) {
            state.SkipWithError(failure);
            return;
        }
    }
    state.counters["p50_ms"] = percentile(times, 0.50);
    state.counters["p95_ms"] = percentile(times, 0.95);
}

} // namespace korvane::bench
