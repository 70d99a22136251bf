#pragma once

#include "base/localizedcollator.h"
#include "files/filepathmatch.h"
#include "files/pathlist.h"
#include "files/recentfilessnapshot.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// How the file path ranker chooses its best matches: the sort keys, collation only for ties, recency
// scores built once per ranking, and a bounded selection in the order of the full stable sort.
namespace korvane::pathmatch {

// What a ranking keeps of a match until the best ones are chosen.
struct Entry {
    std::uint32_t index = 0;
    std::uint8_t quality = noMatch;
    FilenameMatchScore filenameScore = FilenameMatchScore::pathOnly;
};

// The order of the stable sort: quality, file-name score and recency descending, then the localized
// case-insensitive order of the paths and their position in the index ascending.
struct SortKey {
    int quality = 0;
    int filenameScore = 0;
    int recency = 0;
    std::uint32_t index = 0;
};

// The localized order of two paths of a list: their prepared ranks, or else sort keys made on first
// need and kept for the ranking, so that a ranking only collates the paths that tie up to it.
class Collation {
public:
    explicit Collation(const PathList& paths)
        : paths_(paths) {}

    int compare(std::uint32_t a, std::uint32_t b) {
        if (paths_.hasCollationRanks()) {
            const auto rankA = paths_.collationRank(a);
            const auto rankB = paths_.collationRank(b);
            return rankA < rankB ? -1 : (rankA > rankB ? 1 : 0);
        }
        const int order = key(a).compare(key(b));
        return order < 0 ? -1 : (order > 0 ? 1 : 0);
    }

private:
    const std::string& key(std::uint32_t i) {
        auto found = keys_.find(i);
        if (found == keys_.end()) {
            found = keys_.emplace(i, collator().sortKey(paths_[i])).first;
        }
        return found->second;
    }
    const LocalizedCollator& collator() {
        if (!collator_) {
            collator_.emplace(paths_.locale());
        }
        return *collator_;
    }

    const PathList& paths_;
    std::optional<LocalizedCollator> collator_;
    std::unordered_map<std::uint32_t, std::string> keys_;
};


// Recency scores by path, built once per ranking: the first list and the first place in it win.
class RecencyTable {
public:
    explicit RecencyTable(const RecentFilesSnapshot& snapshot) {
        add(snapshot.gitUncommitted, 1000, 1);
        add(snapshot.sessionSelected, 900, 10);
        add(snapshot.gitRecentlyCommitted, 800, 1);
        add(snapshot.mtimeRecent, 300, 5);
    }
    // Keeps the snapshot its entries point into.
    explicit RecencyTable(std::shared_ptr<const RecentFilesSnapshot> snapshot)
        : RecencyTable(*snapshot) {
        snapshot_ = std::move(snapshot);
    }
    const RecentFilesSnapshot* source() const { return snapshot_.get(); }
    int score(std::string_view path) const {
        if (scores_.empty()) {
            return 0;
        }
        const auto found = scores_.find(path);
        return found == scores_.end() ? 0 : found->second;
    }

private:
    void add(const std::vector<std::string>& list, int top, int step) {
        for (std::size_t i = 0; i < list.size(); ++i) {
            scores_.try_emplace(list[i], top - step * static_cast<int>(i));
        }
    }
    std::unordered_map<std::string_view, int> scores_;
    std::shared_ptr<const RecentFilesSnapshot> snapshot_;
};

bool before(const SortKey& a, const SortKey& b, Collation& collation);

// The first `limit` entries in sort order, sorted, without sorting the rest.
std::vector<SortKey> selectBest(const std::vector<Entry>& entries, const PathList& paths, const RecencyTable& recency,
                                std::size_t limit);

} // namespace korvane::pathmatch
