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

// How the file path ranker chooses its best matches: the sort keys, recency scores made once per
// snapshot and list, a bounded selection by score, and collation only for the ties among those shown.
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

// The localized order of two paths of a list: sort keys made on first need and kept for the ranking,
// so that a ranking only collates the paths that tie up to it.
class Collation {
public:
    explicit Collation(const PathList& paths)
        : paths_(paths) {}

    int compare(std::uint32_t a, std::uint32_t b) {
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


// Recency scores by place in a path list, worked out once for a snapshot and a list, so that a
// ranking reads a candidate's score from an array instead of looking its path up. A few recent paths
// are each found in the list; many (a project of untracked files) are gathered in a table that one
// pass over the list consults. The first list of the snapshot and the first place in it win.
class RecencyTable {
public:
    RecencyTable(const RecentFilesSnapshot& snapshot, const PathList& paths);
    // Keeps the snapshot, and knows the list, it was made for.
    RecencyTable(std::shared_ptr<const RecentFilesSnapshot> snapshot, const std::shared_ptr<const PathList>& paths);
    // The same scores for another snapshot with the same lists (a refresh that found no change).
    RecencyTable(const RecencyTable& scores, std::shared_ptr<const RecentFilesSnapshot> snapshot);

    bool isFor(const RecentFilesSnapshot* snapshot, const std::shared_ptr<const PathList>& paths) const {
        return snapshot_.get() == snapshot && paths_.lock() == paths;
    }
    // Whether `snapshot` holds the same lists as the one the scores were made for.
    bool hasListsOf(const RecentFilesSnapshot& snapshot, const std::shared_ptr<const PathList>& paths) const;
    int score(std::uint32_t index) const { return scores_ ? (*scores_)[index] : 0; }

private:
    std::shared_ptr<const std::vector<std::int32_t>> scores_;
    std::shared_ptr<const RecentFilesSnapshot> snapshot_;
    std::weak_ptr<const PathList> paths_;
};

bool before(const SortKey& a, const SortKey& b, Collation& collation);

// The first `limit` entries by their scores (ties to the earlier path), in sort order, without
// sorting the rest or collating any path that is not among them.
std::vector<SortKey> selectBest(const std::vector<Entry>& entries, const PathList& paths, const RecencyTable& recency,
                                std::size_t limit);

} // namespace korvane::pathmatch
