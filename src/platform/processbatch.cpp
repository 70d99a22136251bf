#include "platform/processbatch.h"

#include <algorithm>
#include <atomic>
#include <optional>
#include <thread>

namespace korvane {

std::vector<ProcessBatch::Outcome> ProcessBatch::runAll(ProcessRunner& runner,
                                                        const std::vector<ProcessRequest>& requests) {
    std::vector<std::optional<Outcome>> outcomes(requests.size());
    std::atomic<std::size_t> next{0};
    const auto work = [&] {
        for (std::size_t index = next++; index < requests.size(); index = next++) {
            outcomes[index] = runner.run(requests[index]);
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
