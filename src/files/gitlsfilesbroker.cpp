#include "files/gitlsfilesbroker.h"

#include "base/diagnostics.h"
#include "files/rootname.h"

#include <fmt/format.h>

namespace korvane {

GitLsFilesBroker::GitLsFilesBroker(const Clock& clock)
    : clock_(clock) {}

void GitLsFilesBroker::store(const std::string& root, std::vector<std::string> files) {
    const auto now = clock_.now();
    std::lock_guard lock(lock_);
    std::erase_if(seeds_, [&](const auto& entry) {
        const double age = secondsBetween(entry.second.time, now);
        return age > seedLifetime;
    });
    seeds_[root] = Seed{std::move(files), now};
}

std::optional<std::pair<std::vector<std::string>, double>> GitLsFilesBroker::consume(const std::string& root,
                                                                                      double maxAge) {
    std::optional<Seed> seed;
    {
        std::lock_guard lock(lock_);
        if (auto found = seeds_.find(root); found != seeds_.end()) {
            seed = std::move(found->second);
            seeds_.erase(found);
        }
    }
    if (!seed) {
        return std::nullopt;
    }
    const double age = secondsBetween(seed->time, clock_.now());
    if (age <= maxAge) {
        return std::make_pair(std::move(seed->files), age * 1000);
    }
    performanceLog("GitLsFilesBroker", fmt::format("[BROKER EXPIRED] root={} age={:.0f}ms maxAge={:.0f}ms",
                                                   logRootName(root), age * 1000, maxAge * 1000));
    return std::nullopt;
}

void GitLsFilesBroker::prune(double maxAge) {
    const auto now = clock_.now();
    std::lock_guard lock(lock_);
    std::erase_if(seeds_, [&](const auto& entry) { return secondsBetween(entry.second.time, now) > maxAge; });
}

void GitLsFilesBroker::clear() {
    std::lock_guard lock(lock_);
    seeds_.clear();
}

std::size_t GitLsFilesBroker::waitingCount() const {
    std::lock_guard lock(lock_);
    return seeds_.size();
}

} // namespace korvane
