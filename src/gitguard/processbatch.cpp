#include "gitguard/processbatch.h"

#include <algorithm>
#include <atomic>
#include <optional>
#include <thread>

namespace korvane {

namespace {

ProcessBatch::Outcome runBefore(ProcessRunner& runner, ProcessRequest request,
                                std::chrono::steady_clock::time_point deadline) {
    if (request.outputBudget && request.outputBudget->spent()) {
        ProcessResult stopped;
        stopped.ending = ProcessResult::Ending::outputLimitExceeded;
        stopped.status = 9;
        return stopped;
    }
    const double left = std::chrono::duration<double>(deadline - std::chrono::steady_clock::now()).count();
    if (left <= 0) {
        ProcessResult late;
        late.ending = ProcessResult::Ending::timedOut;
        late.status = 15;
        return late;
    }
    request.timeout = std::min(request.timeout, left);
    return runner.run(request);
}

} // namespace

std::vector<ProcessBatch::Outcome> ProcessBatch::runAll(ProcessRunner& runner,
                                                        const std::vector<ProcessRequest>& requests,
                                                        std::chrono::steady_clock::time_point deadline) {
    std::vector<std::optional<Outcome>> outcomes(requests.size());
    std::atomic<std::size_t> next{0};
    const auto work = [&] {
        for (std::size_t index = next++; index < requests.size(); index = next++) {
            outcomes[index] = runBefore(runner, requests[index], deadline);
        }
    };
    // The calling thread takes a share too, so a single request starts no thread at all.
    std::vector<std::jthread> helpers;
    const std::size_t threads = std::min(requests.size(), parallelLimit);
    for (std::size_t count = 1; count < threads; ++count) {
        helpers.emplace_back(work);
    }
    work();
    helpers.clear();
    std::vector<Outcome> results;
    results.reserve(requests.size());
    for (auto& outcome : outcomes) {
        results.push_back(std::move(*outcome));
    }
    return results;
}

} // namespace korvane
