#pragma once

#include "registry/historyreader.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace korvane {

// The frecency scores of the registry's index entries, each read from the usage history once and
// kept until the index or the history changes: ranking thousands of matches per keystroke would
// otherwise look every id up again. Owned by the registry; main thread.
class FrecencyCache {
public:
    // Forgets every score; the index now has `size` entries.
    void reset(std::size_t size);

    // Reads from `history` from now on, forgetting every score unless it is the history read from
    // so far and has not changed since. Called before each search.
    void use(const std::shared_ptr<const HistoryReader>& history);

    // The score of the entry at `position`, whose id is `id`; always finite. Needs a history in use.
    double score(std::size_t position, const std::string& id);

private:
    bool isFor(const std::shared_ptr<const HistoryReader>& history, std::uint64_t generation) const;

    // Not a number where no score was read yet.
    std::vector<double> scores_;
    // Held weakly: comparing owners, not addresses, tells a new history from an old one whose
    // memory it reuses.
    std::weak_ptr<const HistoryReader> history_;
    const HistoryReader* reader_ = nullptr;
    std::uint64_t generation_ = 0;
};

} // namespace korvane
