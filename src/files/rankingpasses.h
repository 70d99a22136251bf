#pragma once

#include "base/cancellationtoken.h"
#include "base/clock.h"
#include "files/filepathsearchranker.h"
#include "files/rankingselection.h"

#include <chrono>
#include <cstdint>
#include <string_view>
#include <vector>

// What the ranker's segment and plain passes share: the quality thresholds that keep weak matches few,
// the byte groups of a text, and the cancellation check between candidates.
namespace korvane::pathmatch {

inline std::uint64_t groupsOf(std::string_view bytes) {
    std::uint64_t groups = 0;
    for (const char c : bytes) {
        groups |= std::uint64_t{1} << (static_cast<unsigned char>(c) & 63);
    }
    return groups;
}

// The strong entries followed by the first weak ones, as filterByQuality keeps candidates.
inline std::vector<Entry> filterEntries(const std::vector<Entry>& strong, const std::vector<Entry>& weak) {
    std::vector<Entry> kept = strong;
    if (strong.size() < FilePathSearchRanker::strongEnough) {
        kept.insert(kept.end(), weak.begin(), weak.end());
    }
    return kept;
}

inline int strongestWeakQuality() {
    return static_cast<int>(MatchQuality::fuzzy);
}

inline int strongThreshold(std::size_t queryLength) {
    return static_cast<int>(queryLength > 2 ? MatchQuality::substring : MatchQuality::wordBoundary);
}

inline std::size_t weakAllowance(std::size_t queryLength) {
    return queryLength > 2 ? FilePathSearchRanker::longQueryFuzzyAllowance
                           : FilePathSearchRanker::shortQueryFuzzyAllowance;
}

inline bool cancelled(const CancellationToken* cancellation, std::size_t step) {
    return cancellation && step % FilePathSearchRanker::cancellationStride == 0 && cancellation->isCancelled();
}

} // namespace korvane::pathmatch
