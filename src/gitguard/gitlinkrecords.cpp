#include "gitguard/gitlinkrecords.h"

#include "gitguard/gitrepositorytexts.h"

#include <algorithm>

namespace korvane {

GitlinkRecords::GitlinkRecords(OutputBudget budget)
    : budget_(std::move(budget)) {}

bool GitlinkRecords::add(std::string_view piece, std::string& kept) {
    if (piece.empty()) {
        return take({}, true, kept);
    }
    while (!piece.empty()) {
        const std::size_t end = std::min(piece.find('\0'), piece.size());
        if (!take(piece.substr(0, end), end < piece.size(), kept)) {
            return false;
        }
        piece.remove_prefix(std::min(end + 1, piece.size()));
    }
    return true;
}

// `part` of the record being read, and whether the record ends with it.
bool GitlinkRecords::take(std::string_view part, bool ended, std::string& kept) {
    const std::string_view gitlink = GitRepositoryTexts::gitlinkRecordStart;
    if (record_ == Record::starting) {
        const std::size_t wanted = std::min(gitlink.size() - start_.size(), part.size());
        start_.append(part.substr(0, wanted));
        part.remove_prefix(wanted);
        if (start_.size() == gitlink.size() || ended) {
            record_ = GitRepositoryTexts::listsGitlink(start_) ? Record::gitlink : Record::other;
            if (record_ == Record::gitlink && !budget_.append(kept, start_)) {
                return false;
            }
        }
    }
    if (record_ == Record::gitlink &&
        (!budget_.append(kept, part) || (ended && !budget_.append(kept, std::string_view("\0", 1))))) {
        return false;
    }
    if (ended) {
        record_ = Record::starting;
        start_.clear();
    }
    return true;
}

} // namespace korvane
