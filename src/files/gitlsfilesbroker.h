#pragma once

#include "base/clock.h"

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace korvane {

// Hands a git file listing that the project scan has just made to the file path index build of the
// same root, so that git does not list the project twice in quick succession. Each listing is handed
// out once. One per process, made by the composition root and shared by the scan's lister and the
// file path provider; any thread; the lock is held only for one store or removal.
class GitLsFilesBroker {
public:
    struct Seed {
        std::vector<std::string> files;
        Clock::WallTime time;
    };

    // Seeds older than this are dropped when another is stored: a root whose index is never built
    // must not keep its whole listing for the life of the process.
    static constexpr double seedLifetime = 60.0;

    explicit GitLsFilesBroker(const Clock& clock);

    // Leaves `files` (git's listing relative to `root`, in git's order) for `root`, an exact path
    // string without a trailing "/", replacing an older listing of the same root.
    void store(const std::string& root, std::vector<std::string> files);

    // Takes the listing of `root` (compared as an exact string) when one is waiting: with its age in
    // milliseconds when it is at most `maxAge` seconds old (a negative age counts as fresh); otherwise
    // it is discarded with an "[BROKER EXPIRED]" line. Either way it is gone afterwards.
    std::optional<std::pair<std::vector<std::string>, double>> consume(const std::string& root, double maxAge);

    // Drops every waiting listing (memory pressure).
    void clear();
    // Drops the listings older than `maxAge` seconds, which no build would take any more.
    void prune(double maxAge);

    std::size_t waitingCount() const;

private:
    const Clock& clock_;
    mutable std::mutex lock_;
    std::map<std::string, Seed> seeds_;
};

} // namespace korvane
