#include "registry/sectionorder.h"

#include "registry/historyreader.h"

namespace korvane {

SectionOrder::SectionOrder(FrecencyScoreFunction frecencyScore, LastUsedDateFunction lastUsedDate,
                           Clock::WallTime now)
    : frecencyScore_(std::move(frecencyScore))
    , lastUsedDate_(std::move(lastUsedDate))
    , now_(now) {}

bool SectionOrder::before(const SortKey& a, const SortKey& b) {
    if (a.recent != b.recent) {
        return a.recent;
    }
    return a.score > b.score;
}

bool SectionOrder::isRecent(const std::string& id) const {
    if (!lastUsedDate_) {
        return false;
    }
    const auto used = lastUsedDate_(id);
    // A date in the future (the clock was set back) counts as recent.
    return used && secondsBetween(*used, now_) < recentWindowSeconds;
}

double SectionOrder::score(const std::string& id) const {
    return frecencyScore_ ? finiteScore(frecencyScore_(id)) : 0.0;
}

} // namespace korvane
