// The ranker's pass over queries without a path separator: every path's file name and path are
// matched in one pass over the list, and the best `limit` chosen without sorting all of them.
#include "files/filepathsearchranker.h"

#include "files/filepathmatch.h"
#include "files/rankingpasses.h"
#include "files/rankingselection.h"

#include "base/unicode.h"
#include "matcher/bytesearch.h"
#include "matcher/fuzzymatch.h"
#include "matcher/matchcascade.h"
#include "matcher/preparedquery.h"

#include <algorithm>
#include <map>

namespace korvane {

using namespace pathmatch;

FilePathSearchRanker::PlainRanking FilePathSearchRanker::rankPlainQuery(
    std::string_view query, const std::shared_ptr<const PathList>& paths, bool caseSensitive,
    const RecentFilesSnapshot& snapshot, std::size_t limit, const std::string& projectRoot,
    const std::string& insertionMode, const CancellationToken* cancellation) const {
    // Not owned, so not kept past this call.
    const std::shared_ptr<const RecentFilesSnapshot> borrowed(&snapshot, [](const RecentFilesSnapshot*) {});
    return rankPlain(query, paths, caseSensitive, borrowed, limit, projectRoot, insertionMode, cancellation, false);
}

FilePathSearchRanker::PlainRanking FilePathSearchRanker::rankPlainQuery(
    std::string_view query, const std::shared_ptr<const PathList>& paths, bool caseSensitive,
    const std::shared_ptr<const RecentFilesSnapshot>& snapshot, std::size_t limit, const std::string& projectRoot,
    const std::string& insertionMode, const CancellationToken* cancellation) const {
    return rankPlain(query, paths, caseSensitive, snapshot, limit, projectRoot, insertionMode, cancellation, true);
}

FilePathSearchRanker::PlainRanking FilePathSearchRanker::rankPlain(
    std::string_view query, const std::shared_ptr<const PathList>& pathList, bool caseSensitive,
    const std::shared_ptr<const RecentFilesSnapshot>& snapshot, std::size_t limit, const std::string& projectRoot,
    const std::string& insertionMode, const CancellationToken* cancellation, bool keepRecency) const {
    PlainRanking ranking;
    const PathList& paths = *pathList;
    const auto start = clock_.monotonicNow();
    const PreparedQuery prepared(query, caseSensitive);
    const std::size_t queryLength = graphemeCount(query);
    const int threshold = strongThreshold(queryLength);
    const std::size_t allowance = weakAllowance(queryLength);
    std::map<int, int> distribution;
    // Matches left unsettled because they could not reach the best `limit`: strong ones for a query
    // of three or more characters, at most strong ones for a shorter query.
    std::size_t unsettled = 0;
    std::vector<Entry> strong;
    std::vector<Entry> weak;

    if (!prepared.isBytes() || query.empty()) {
        // A query that is not plain bytes matches every path through the general matcher.
        for (std::size_t i = 0; i < paths.size(); ++i) {
            if (cancelled(cancellation, i)) {
                return {};
            }
            const Evaluation evaluation = matchGeneric(query, paths[i], caseSensitive).evaluation;
            if (evaluation.quality == noMatch) {
                continue;
            }
            ++distribution[evaluation.quality];
            const Entry entry{static_cast<std::uint32_t>(i), static_cast<std::uint8_t>(evaluation.quality),
                              evaluation.filenameScore};
            if (evaluation.quality >= threshold) {
                strong.push_back(entry);
            } else if (evaluation.quality == strongestWeakQuality() && weak.size() < allowance) {
                weak.push_back(entry);
            }
        }
    } else {
        const std::string_view bytes = prepared.bytes();
        const std::string lower = asciiLowercased(std::string(bytes));
        const std::uint64_t queryGroups = groupsOf(lower);

        // Every path that holds the query as a substring, in index order, with its evaluation; paths
        // that are not single-byte are always looked at here. Ignoring case, what a path's first
        // characters and its file name tell settles most of them without the matcher: a text that
        // begins with the query matches it as a prefix, and the file-name score follows from the name.
        // The rest wait in two groups, matched only if they could still reach the best `limit`.
        const bool settleCheaply = !caseSensitive;
        std::vector<Entry> held;
        std::vector<std::uint32_t> prefixGroup; // a prefix match; file-name score boundary or path only
        std::vector<std::uint32_t> openGroup;   // a word-boundary or substring match, no name prefix
        std::vector<std::uint32_t> holding;
        {
            std::vector<std::uint32_t> previous;
            bool narrowed = false;
            {
                std::lock_guard lock(narrowingLock_);
                if (narrowing_.paths.lock() == pathList && lower.starts_with(narrowing_.query) &&
                    !narrowing_.query.empty()) {
                    previous = narrowing_.indices;
                    narrowed = true;
                }
            }
            const std::size_t count = narrowed ? previous.size() : paths.size();
            holding.reserve(count);
            held.reserve(count / 4);
            for (std::size_t k = 0; k < count; ++k) {
                if (cancelled(cancellation, k)) {
                    return {};
                }
                const std::size_t i = narrowed ? previous[k] : k;
                const auto index = static_cast<std::uint32_t>(i);
                if (!paths.isSingleByte(i)) {
                    holding.push_back(index);
                    const Evaluation evaluation = matchGeneric(query, paths[i], caseSensitive).evaluation;
                    held.push_back({index, static_cast<std::uint8_t>(evaluation.quality), evaluation.filenameScore});
                    continue;
                }
                const std::string_view text = paths.lowered(i);
                if ((queryGroups & ~paths.groups(i)) != 0 || detail::findBytes(text, lower) == std::string_view::npos) {
                    continue;
                }
                holding.push_back(index);
                if (!settleCheaply) {
                    const Evaluation evaluation = matchBytes(bytes, paths, i, caseSensitive);
                    held.push_back({index, static_cast<std::uint8_t>(evaluation.quality), evaluation.filenameScore});
                    continue;
                }
                const std::string_view name = text.substr(paths.nameStart(i));
                const auto prefix = static_cast<std::uint8_t>(MatchQuality::prefix);
                if (name == lower) {
                    held.push_back({index, prefix, FilenameMatchScore::filenameExact});
                } else if (name.starts_with(lower)) {
                    held.push_back({index, prefix, FilenameMatchScore::filenamePrefix});
                } else if (text.starts_with(lower)) {
                    if (detail::findBytes(name, lower) == std::string_view::npos) {
                        held.push_back({index, prefix, FilenameMatchScore::pathOnly});
                    } else {
                        prefixGroup.push_back(index);
                    }
                } else {
                    openGroup.push_back(index);
                }
            }
            std::lock_guard lock(narrowingLock_);
            narrowing_ = Narrowing{pathList, lower, std::move(holding)};
        }
        const auto countAbove = [&](int quality, FilenameMatchScore score) {
            std::size_t above = 0;
            for (const Entry& entry : held) {
                above += (entry.quality > quality || (entry.quality == quality && entry.filenameScore > score)) ? 1 : 0;
            }
            return above;
        };
        std::size_t strongKnown = prefixGroup.size();
        for (const Entry& entry : held) {
            strongKnown += entry.quality >= threshold ? 1 : 0;
        }
        // Without ten strong matches every match counts, for the fuzzy ones may be added.
        const bool settleAll = strongKnown < strongEnough;
        const auto settle = [&](std::vector<std::uint32_t>& group) {
            for (const std::uint32_t i : group) {
                const Evaluation evaluation = matchBytes(bytes, paths, i, caseSensitive);
                held.push_back({i, static_cast<std::uint8_t>(evaluation.quality), evaluation.filenameScore});
            }
            group.clear();
        };
        const int prefixQuality = static_cast<int>(MatchQuality::prefix);
        if (!prefixGroup.empty() &&
            (settleAll || countAbove(prefixQuality, FilenameMatchScore::filenameBoundary) < limit)) {
            settle(prefixGroup);
        }
        if (!openGroup.empty() &&
            (settleAll || countAbove(static_cast<int>(MatchQuality::wordBoundary), FilenameMatchScore::filenameBoundary) +
                                  prefixGroup.size() <
                              limit)) {
            settle(openGroup);
        }
        std::sort(held.begin(), held.end(), [](const Entry& a, const Entry& b) { return a.index < b.index; });
        unsettled = prefixGroup.size() + openGroup.size();
        distribution[prefixQuality] += static_cast<int>(prefixGroup.size());
        for (const Entry& entry : held) {
            if (entry.quality == noMatch) {
                continue;
            }
            ++distribution[entry.quality];
            if (entry.quality >= threshold) {
                strong.push_back(entry);
            }
        }
        if (unsettled == 0 && strong.size() < strongEnough) {
            // The first fuzzy matches in index order; a path without the query as a substring can at
            // best match fuzzily through the whole path, so its file name needs no look.
            const std::size_t maxEdits = tuning::typoEditLimit(bytes.size());
            std::size_t next = 0;
            for (std::size_t i = 0; i < paths.size() && weak.size() < allowance; ++i) {
                if (cancelled(cancellation, i)) {
                    return {};
                }
                while (next < held.size() && held[next].index < i) {
                    ++next;
                }
                if (next < held.size() && held[next].index == i) {
                    if (held[next].quality == strongestWeakQuality()) {
                        weak.push_back(held[next]);
                    }
                    continue;
                }
                if ((queryGroups & ~paths.groups(i)) != 0) {
                    // A character of the query is missing: only a typo of the file name's stem can match.
                    if (bytes.size() < tuning::minimumTypoQueryLength) {
                        continue;
                    }
                    const std::size_t stem = paths.stemLength(i);
                    const std::size_t gap = stem > bytes.size() ? stem - bytes.size() : bytes.size() - stem;
                    if (gap > maxEdits) {
                        continue;
                    }
                    if (!caseSensitive &&
                        (static_cast<std::size_t>(std::popcount(queryGroups & ~paths.stemGroups(i))) > maxEdits ||
                         static_cast<std::size_t>(std::popcount(paths.stemGroups(i) & ~queryGroups)) > maxEdits)) {
                        continue;
                    }
                }
                const Evaluation evaluation = matchBytes(bytes, paths, i, caseSensitive);
                if (evaluation.quality == strongestWeakQuality()) {
                    ++distribution[evaluation.quality];
                    weak.push_back({static_cast<std::uint32_t>(i), static_cast<std::uint8_t>(evaluation.quality),
                                    evaluation.filenameScore});
                }
            }
        }
    }
    ranking.matchingMs = millisecondsSince(start, clock_);

    const auto sortStart = clock_.monotonicNow();
    const std::vector<Entry> kept = filterEntries(strong, weak);
    ranking.candidateCount = static_cast<int>(kept.size() + unsettled);
    std::shared_ptr<const RecencyTable> recency;
    if (keepRecency) {
        std::lock_guard lock(narrowingLock_);
        const auto cached = std::static_pointer_cast<const RecencyTable>(recency_);
        if (cached && cached->isFor(snapshot.get(), pathList)) {
            recency = cached;
        } else if (cached && cached->hasListsOf(*snapshot, pathList)) {
            // A refresh that changed nothing keeps the scores.
            recency = std::make_shared<const RecencyTable>(*cached, snapshot);
            recency_ = recency;
        }
    }
    if (!recency) {
        recency = keepRecency ? std::make_shared<const RecencyTable>(snapshot, pathList)
                              : std::make_shared<const RecencyTable>(*snapshot, paths);
        if (keepRecency) {
            std::lock_guard lock(narrowingLock_);
            recency_ = recency;
        }
    }
    const std::vector<SortKey> best = selectBest(kept, paths, *recency, limit);
    ranking.sortingMs = millisecondsSince(sortStart, clock_);

    ranking.results.reserve(best.size());
    for (const SortKey& key : best) {
        const std::string_view path = paths[key.index];
        ranking.results.push_back({std::make_shared<const Snippet>(makeFileSnippet(path, projectRoot, insertionMode)),
                                   matchGeneric(query, path, caseSensitive).ranges});
    }
    for (const auto& [quality, count] : distribution) {
        if (const auto known = matchQualityFromRawValue(quality)) {
            ranking.matchQualityDistribution[matchQualityName(*known)] = count;
        }
    }
    return ranking;
}

} // namespace korvane
