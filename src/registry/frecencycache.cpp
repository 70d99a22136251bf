#include "registry/frecencycache.h"

#include <cmath>
#include <limits>

namespace korvane {

void FrecencyCache::reset(std::size_t size) {
    scores_.assign(size, std::numeric_limits<double>::quiet_NaN());
}

bool FrecencyCache::isFor(const std::shared_ptr<const HistoryReader>& history,
                          std::uint64_t generation) const {
    return !history_.expired() && !history_.owner_before(history) && !history.owner_before(history_) &&
           generation == generation_;
}

void FrecencyCache::use(const std::shared_ptr<const HistoryReader>& history) {
    const std::uint64_t generation = history->generation();
    if (!isFor(history, generation)) {
        reset(scores_.size());
        history_ = history;
        generation_ = generation;
    }
    reader_ = history.get();
}

double FrecencyCache::score(std::size_t position, const std::string& id) {
    if (position >= scores_.size()) {
        return finiteScore(reader_->frecencyScore(id));
    }
    double& score = scores_[position];
    if (std::isnan(score)) {
        score = finiteScore(reader_->frecencyScore(id));
    }
    return score;
}

} // namespace korvane
