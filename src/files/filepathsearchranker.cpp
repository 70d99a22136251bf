#include "files/filepathsearchranker.h"

#include "files/filepathmatch.h"
#include "files/rankingselection.h"

#include "base/unicode.h"
#include "matcher/bytesearch.h"
#include "matcher/fuzzymatch.h"
#include "matcher/matchcascade.h"
#include "matcher/preparedquery.h"
#include "matcher/segmentation.h"

#include <algorithm>
#include <array>
#include <bit>
#include <chrono>
#include <unordered_map>

namespace korvane {
namespace {

using namespace pathmatch;

double millisecondsSince(Clock::MonotonicTime start, const Clock& clock) {
    return std::chrono::duration<double, std::milli>(clock.monotonicNow() - start).count();
}

std::uint64_t groupsOf(std::string_view bytes) {
    std::uint64_t groups = 0;
    for (const char c : bytes) {
        groups |= std::uint64_t{1} << (static_cast<unsigned char>(c) & 63);
    }
    return groups;
}


// The strong entries followed by the first weak ones, as filterByQuality keeps candidates.
std::vector<Entry> filterEntries(const std::vector<Entry>& strong, const std::vector<Entry>& weak) {
    std::vector<Entry> kept = strong;
    if (strong.size() < FilePathSearchRanker::strongEnough) {
        kept.insert(kept.end(), weak.begin(), weak.end());
    }
    return kept;
}

int strongestWeakQuality() {
    return static_cast<int>(MatchQuality::fuzzy);
}

int strongThreshold(std::size_t queryLength) {
    return static_cast<int>(queryLength > 2 ? MatchQuality::substring : MatchQuality::wordBoundary);
}

std::size_t weakAllowance(std::size_t queryLength) {
    return queryLength > 2 ? FilePathSearchRanker::longQueryFuzzyAllowance
                           : FilePathSearchRanker::shortQueryFuzzyAllowance;
}

bool cancelled(const CancellationToken* cancellation, std::size_t step) {
    return cancellation && step % FilePathSearchRanker::cancellationStride == 0 && cancellation->isCancelled();
}


} // namespace

std::optional<FilenameMatchScore> filenameMatchScoreFromRawValue(int rawValue) {
    if (rawValue < 0 || rawValue > 3) {
        return std::nullopt;
    }
    return static_cast<FilenameMatchScore>(rawValue);
}

std::string matchQualityName(MatchQuality quality) {
    switch (quality) {
    case MatchQuality::fuzzy: return "fuzzy";
    case MatchQuality::substring: return "substring";
    case MatchQuality::wordBoundary: return "wordBoundary";
    case MatchQuality::prefix: return "prefix";
    }
    return "fuzzy";
}

Snippet makeFileSnippet(std::string_view relativePath, std::string_view projectRoot, std::string_view insertionMode) {
    Snippet snippet;
    snippet.id = "file:" + std::string(relativePath);
    snippet.label = std::string(relativePath);
    const std::string_view name = fileName(relativePath);
    snippet.expansion = insertionMode == "filenameOnly" ? std::string(name) : std::string(relativePath);
    snippet.source = SnippetSource::filePath();
    const std::size_t slash = relativePath.rfind('/');
    if (slash != std::string_view::npos && slash > 0 && relativePath.substr(0, slash) != ".") {
        snippet.description = std::string(relativePath.substr(0, slash));
    }
    std::string root(projectRoot);
    while (root.size() > 1 && root.back() == '/') {
        root.pop_back();
    }
    std::string absolute = root;
    if (absolute != "/") {
        absolute.push_back('/');
    }
    absolute.append(relativePath);
    const std::size_t dot = name.rfind('.');
    const std::string extension =
        (dot == std::string_view::npos || dot == 0) ? std::string() : std::string(name.substr(dot + 1));
    snippet.metadata = std::map<std::string, std::string>{{"filePath", std::move(absolute)}, {"ext", extension}};
    return snippet;
}

FilePathSearchRanker::FilePathSearchRanker(const Clock& clock)
    : clock_(clock) {}

std::optional<FilePathSearchRanker::SegmentMatch>
FilePathSearchRanker::matchSegments(const std::vector<std::string_view>& querySegments,
                                    const std::vector<std::string_view>& pathSegments, bool caseSensitive) {
    const std::size_t n = querySegments.size();
    const std::size_t m = pathSegments.size();
    if (m < n || n == 0) {
        return std::nullopt;
    }
    std::vector<std::size_t> offsets(m, 0);
    for (std::size_t k = 1; k < m; ++k) {
        offsets[k] = offsets[k - 1] + graphemeCount(pathSegments[k - 1]) + 1;
    }
    std::optional<SegmentMatch> best;
    for (std::size_t s = 0; s + n <= m; ++s) {
        SegmentMatch window{MatchQuality::prefix, {}, FilenameMatchScore::pathOnly};
        bool accepted = true;
        for (std::size_t i = 0; i < n; ++i) {
            const auto match = fuzzyMatch(querySegments[i], pathSegments[s + i], caseSensitive);
            if (!match) {
                accepted = false;
                break;
            }
            window.quality = std::min(window.quality, match->quality);
            for (TextRange range : match->ranges) {
                window.ranges.push_back({range.start + offsets[s + i], range.end + offsets[s + i]});
            }
        }
        if (!accepted) {
            continue;
        }
        if (s + n == m) {
            const std::string name = caseSensitive ? std::string(pathSegments[m - 1]) : lowercased(pathSegments[m - 1]);
            const std::string last =
                caseSensitive ? std::string(querySegments[n - 1]) : lowercased(querySegments[n - 1]);
            window.filenameScore = name == last              ? FilenameMatchScore::filenameExact
                                   : name.starts_with(last)  ? FilenameMatchScore::filenamePrefix
                                                             : FilenameMatchScore::filenameBoundary;
        }
        if (!best || window.quality > best->quality ||
            (window.quality == best->quality && window.filenameScore > best->filenameScore)) {
            best = std::move(window);
        }
    }
    return best;
}

std::vector<FilePathSearchRanker::Candidate> FilePathSearchRanker::filterByQuality(std::vector<Candidate> candidates,
                                                                                   std::size_t queryLength) {
    const int threshold = strongThreshold(queryLength);
    std::vector<Candidate> strong;
    std::vector<Candidate> weak;
    for (auto& candidate : candidates) {
        if (static_cast<int>(candidate.quality) >= threshold) {
            strong.push_back(std::move(candidate));
        } else if (candidate.quality == MatchQuality::fuzzy) {
            weak.push_back(std::move(candidate));
        }
    }
    if (strong.size() >= strongEnough) {
        return strong;
    }
    const std::size_t allowance = weakAllowance(queryLength);
    for (std::size_t i = 0; i < weak.size() && i < allowance; ++i) {
        strong.push_back(std::move(weak[i]));
    }
    return strong;
}

bool FilePathSearchRanker::compareWithRecency(const Candidate& lhs, const Candidate& rhs,
                                              const RecentFilesSnapshot& snapshot, const LocalizedCollator& collator) {
    if (lhs.quality != rhs.quality) {
        return lhs.quality > rhs.quality;
    }
    if (lhs.filenameScore != rhs.filenameScore) {
        return lhs.filenameScore > rhs.filenameScore;
    }
    const int lhsRecency = snapshot.recencyScore(lhs.result.snippet->label);
    const int rhsRecency = snapshot.recencyScore(rhs.result.snippet->label);
    if (lhsRecency != rhsRecency) {
        return lhsRecency > rhsRecency;
    }
    return collator.compare(lhs.result.snippet->label, rhs.result.snippet->label) < 0;
}

std::vector<SearchResult> FilePathSearchRanker::rankSegmentQuery(std::string_view query,
                                                                 const std::shared_ptr<const PathList>& pathList,
                                                                 bool caseSensitive, std::size_t limit,
                                                                 const std::string& projectRoot,
                                                                 const std::string& insertionMode,
                                                                 const CancellationToken* cancellation) const {
    const PathList& paths = *pathList;
    const std::vector<std::string_view> querySegments = splitSegments(query);
    if (querySegments.empty()) {
        return {};
    }
    const PreparedQuery prepared(query, caseSensitive);
    const std::size_t queryLength = graphemeCount(query);
    const int threshold = strongThreshold(queryLength);
    const std::size_t allowance = weakAllowance(queryLength);
    // The matches that can be kept, in index order: all of them, or every strong one and the fuzzy
    // ones that come first.
    std::vector<Entry> entries;

    if (!prepared.isBytes() || caseSensitive) {
        for (std::size_t i = 0; i < paths.size(); ++i) {
            if (cancelled(cancellation, i)) {
                return {};
            }
            if (const auto match = matchSegments(querySegments, splitSegments(paths[i]), caseSensitive)) {
                entries.push_back({static_cast<std::uint32_t>(i), static_cast<std::uint8_t>(match->quality),
                                   match->filenameScore});
            }
        }
    } else {
        const std::vector<std::string_view> preparedSegments = splitSegments(prepared.bytes());
        std::vector<std::string> lowered;
        std::uint64_t groups = 0;
        std::uint64_t shortGroups = 0;
        for (const auto segment : preparedSegments) {
            lowered.push_back(asciiLowercased(std::string(segment)));
            groups |= groupsOf(lowered.back());
            if (segment.size() < tuning::minimumTypoQueryLength) {
                shortGroups |= groupsOf(lowered.back());
            }
        }
        // A window better than fuzzy holds every query segment as a substring of its own segment, so
        // the path holds them all: the paths that do are looked at first, and only when fewer than ten
        // of them are strong do the others get a look for fuzzy windows. The paths holding every
        // segment only thin out as the query grows, so the next keystroke starts from them.
        std::vector<std::uint32_t> previous;
        bool narrowed = false;
        {
            std::lock_guard lock(narrowingLock_);
            const auto& old = segmentNarrowing_.segments;
            narrowed = segmentNarrowing_.paths.lock() == pathList && !old.empty() && old.size() <= lowered.size();
            for (std::size_t i = 0; narrowed && i < old.size(); ++i) {
                narrowed = lowered[i].starts_with(old[i]);
            }
            if (narrowed) {
                previous = segmentNarrowing_.indices;
            }
        }
        std::size_t longest = 0;
        for (std::size_t i = 1; i < lowered.size(); ++i) {
            longest = lowered[i].size() > lowered[longest].size() ? i : longest;
        }
        std::vector<std::uint32_t> holding;
        SegmentSpans spans;
        const std::size_t count = narrowed ? previous.size() : paths.size();
        for (std::size_t k = 0; k < count; ++k) {
            if (cancelled(cancellation, k)) {
                return {};
            }
            const std::size_t i = narrowed ? previous[k] : k;
            const auto index = static_cast<std::uint32_t>(i);
            if (!paths.isSingleByte(i)) {
                holding.push_back(index);
                if (const auto match = matchSegments(querySegments, splitSegments(paths[i]), false)) {
                    entries.push_back({index, static_cast<std::uint8_t>(match->quality), match->filenameScore});
                }
                continue;
            }
            const std::string_view text = paths.lowered(i);
            if ((groups & ~paths.groups(i)) != 0 || detail::findBytes(text, lowered[longest]) == std::string_view::npos) {
                continue;
            }
            bool holdsAll = true;
            for (std::size_t q = 0; q < lowered.size() && holdsAll; ++q) {
                holdsAll = q == longest || detail::findBytes(text, lowered[q]) != std::string_view::npos;
            }
            if (!holdsAll) {
                continue;
            }
            holding.push_back(index);
            findSegments(text, spans);
            if (spans.size() < lowered.size()) {
                continue;
            }
            const auto known = prefixWindow(lowered, text, spans);
            const Evaluation evaluation = known ? *known : matchSegmentsBytes(preparedSegments, text, paths[i], spans);
            if (evaluation.quality != noMatch) {
                entries.push_back({index, static_cast<std::uint8_t>(evaluation.quality), evaluation.filenameScore});
            }
        }
        {
            std::lock_guard lock(narrowingLock_);
            segmentNarrowing_ = SegmentNarrowing{pathList, lowered, std::move(holding)};
        }
        std::size_t strongCount = 0;
        for (const Entry& entry : entries) {
            strongCount += entry.quality >= threshold ? 1 : 0;
        }
        if (strongCount < strongEnough) {
            // Every other path can match only through fuzzy or mistyped segments.
            std::vector<Entry> weak;
            std::size_t next = 0;
            for (std::size_t i = 0; i < paths.size() && weak.size() < allowance; ++i) {
                if (cancelled(cancellation, i)) {
                    return {};
                }
                while (next < entries.size() && entries[next].index < i) {
                    if (entries[next].quality == strongestWeakQuality()) {
                        weak.push_back(entries[next]);
                    }
                    ++next;
                }
                if (next < entries.size() && entries[next].index == i) {
                    continue;
                }
                if (!paths.isSingleByte(i) || (shortGroups & ~paths.groups(i)) != 0) {
                    continue;
                }
                const std::string_view text = paths.lowered(i);
                findSegments(text, spans);
                if (!mayMatchSegments(lowered, text, spans)) {
                    continue;
                }
                const Evaluation evaluation = matchSegmentsBytes(preparedSegments, text, paths[i], spans);
                if (evaluation.quality == strongestWeakQuality()) {
                    weak.push_back({static_cast<std::uint32_t>(i), static_cast<std::uint8_t>(evaluation.quality),
                                    evaluation.filenameScore});
                }
            }
            for (; next < entries.size() && weak.size() < allowance; ++next) {
                if (entries[next].quality == strongestWeakQuality()) {
                    weak.push_back(entries[next]);
                }
            }
            std::erase_if(entries, [&](const Entry& entry) { return entry.quality < threshold; });
            entries.insert(entries.end(), weak.begin(), weak.end());
        }
    }
    {
        std::vector<Entry> strong;
        std::vector<Entry> weak;
        for (const Entry& entry : entries) {
            if (entry.quality >= threshold) {
                strong.push_back(entry);
            } else if (entry.quality == strongestWeakQuality() && weak.size() < allowance) {
                weak.push_back(entry);
            }
        }
        entries = filterEntries(strong, weak);
    }
    const RecentFilesSnapshot noRecency;
    const std::vector<SortKey> best = selectBest(entries, paths, RecencyTable(noRecency), limit);
    std::vector<SearchResult> results;
    results.reserve(best.size());
    for (const SortKey& key : best) {
        const std::string_view path = paths[key.index];
        auto match = matchSegments(querySegments, splitSegments(path), caseSensitive);
        results.push_back({std::make_shared<const Snippet>(makeFileSnippet(path, projectRoot, insertionMode)),
                           match ? std::move(match->ranges) : TextRanges{}});
    }
    return results;
}

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
        if (cached && cached->source() == snapshot.get()) {
            recency = cached;
        }
    }
    if (!recency) {
        recency = keepRecency ? std::make_shared<const RecencyTable>(snapshot)
                              : std::make_shared<const RecencyTable>(*snapshot);
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
