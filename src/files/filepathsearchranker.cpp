#include "files/filepathsearchranker.h"

#include "base/unicode.h"
#include "matcher/bytesearch.h"
#include "matcher/fuzzymatch.h"
#include "matcher/matchcascade.h"
#include "matcher/preparedquery.h"
#include "matcher/segmentation.h"

#include <algorithm>
#include <bit>
#include <chrono>
#include <unordered_map>

namespace korvane {
namespace {

constexpr int noMatch = 0;

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

std::string_view fileName(std::string_view path) {
    const auto slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

// The quality and file-name score of one path, before filtering; quality 0 is no match.
struct Evaluation {
    int quality = noMatch;
    FilenameMatchScore filenameScore = FilenameMatchScore::pathOnly;
};

Evaluation combine(std::optional<MatchQuality> path, std::optional<MatchQuality> name, bool nameEqualsQuery,
                   bool nameStartsWithQuery) {
    Evaluation evaluation;
    if (!path && !name) {
        return evaluation;
    }
    if (!path) {
        if (*name == MatchQuality::fuzzy) {
            return evaluation;
        }
        evaluation.quality = static_cast<int>(*name);
    } else if (!name) {
        evaluation.quality = static_cast<int>(*path);
    } else {
        evaluation.quality = std::max(static_cast<int>(*path), static_cast<int>(*name));
    }
    if (name) {
        if (nameEqualsQuery) {
            evaluation.filenameScore = FilenameMatchScore::filenameExact;
        } else if (nameStartsWithQuery) {
            evaluation.filenameScore = FilenameMatchScore::filenamePrefix;
        } else if (*name == MatchQuality::wordBoundary) {
            evaluation.filenameScore = FilenameMatchScore::filenameBoundary;
        }
    }
    return evaluation;
}

std::optional<MatchQuality> qualityOf(const std::optional<MatchResult>& result) {
    return result ? std::optional<MatchQuality>(result->quality) : std::nullopt;
}

// A plain query against a path through the matcher's one-off entry point, with the ranges to
// highlight: the reference every faster evaluation agrees with.
struct GenericMatch {
    Evaluation evaluation;
    TextRanges ranges;
};

GenericMatch matchGeneric(std::string_view query, std::string_view path, bool caseSensitive) {
    const std::string_view name = fileName(path);
    const auto pathMatch = fuzzyMatch(query, path, caseSensitive);
    const auto nameMatch = fuzzyMatch(query, name, caseSensitive);
    bool equals = false;
    bool startsWith = false;
    if (nameMatch) {
        const std::string comparedName = caseSensitive ? std::string(name) : lowercased(name);
        const std::string comparedQuery = caseSensitive ? std::string(query) : lowercased(query);
        equals = comparedName == comparedQuery;
        startsWith = comparedName.starts_with(comparedQuery);
    }
    GenericMatch match;
    match.evaluation = combine(qualityOf(pathMatch), qualityOf(nameMatch), equals, startsWith);
    if (match.evaluation.quality == noMatch) {
        return match;
    }
    if (pathMatch) {
        match.ranges = pathMatch->ranges;
    } else {
        const std::size_t shift = graphemeCount(path.substr(0, path.size() - name.size()));
        for (TextRange range : nameMatch->ranges) {
            match.ranges.push_back({range.start + shift, range.end + shift});
        }
    }
    return match;
}

// The same for a path of single-byte characters and a query prepared as bytes (`query` folded unless
// `caseSensitive`), on the path's stored lower-cased copy. The file name is matched only when it
// holds the query: otherwise its match could only be fuzzy, which changes nothing.
Evaluation matchBytes(std::string_view query, const PathList& paths, std::size_t i, bool caseSensitive) {
    const std::string_view typed = paths[i];
    const std::string_view text = caseSensitive ? typed : paths.lowered(i);
    const auto pathMatch = detail::runCascade(query, text, detail::AsciiSegmentLookup(typed));
    const std::size_t nameStart = paths.nameStart(i);
    const std::string_view name = text.substr(nameStart);
    std::optional<MatchResult> nameMatch;
    if (detail::findBytes(name, query) != std::string_view::npos) {
        nameMatch = detail::runCascade(query, name, detail::AsciiSegmentLookup(typed.substr(nameStart)));
    }
    return combine(qualityOf(pathMatch), qualityOf(nameMatch), name == query, name.starts_with(query));
}

// What a ranking keeps of a match until the best ones are chosen.
struct Entry {
    std::uint32_t index = 0;
    std::uint8_t quality = noMatch;
    FilenameMatchScore filenameScore = FilenameMatchScore::pathOnly;
};

// The order of the stable sort as integers: quality, file-name score and recency descending, then
// the collation rank and the position in the index ascending.
struct SortKey {
    int quality = 0;
    int filenameScore = 0;
    int recency = 0;
    std::uint32_t collation = 0;
    std::uint32_t index = 0;
};

bool before(const SortKey& a, const SortKey& b) {
    if (a.quality != b.quality) {
        return a.quality > b.quality;
    }
    if (a.filenameScore != b.filenameScore) {
        return a.filenameScore > b.filenameScore;
    }
    if (a.recency != b.recency) {
        return a.recency > b.recency;
    }
    if (a.collation != b.collation) {
        return a.collation < b.collation;
    }
    return a.index < b.index;
}

// Recency scores by path, built once per ranking: the first list and the first place in it win.
class RecencyTable {
public:
    explicit RecencyTable(const RecentFilesSnapshot& snapshot) {
        add(snapshot.gitUncommitted, 1000, 1);
        add(snapshot.sessionSelected, 900, 10);
        add(snapshot.gitRecentlyCommitted, 800, 1);
        add(snapshot.mtimeRecent, 300, 5);
    }
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
};

// The first `limit` entries in sort order, sorted, without sorting the rest.
std::vector<SortKey> selectBest(const std::vector<Entry>& entries, const PathList& paths, const RecencyTable& recency,
                                std::size_t limit) {
    std::vector<SortKey> heap;
    heap.reserve(limit + 1);
    if (limit == 0) {
        return heap;
    }
    // The heap's front is the worst key kept.
    const auto worseFirst = [](const SortKey& a, const SortKey& b) { return before(a, b); };
    for (const Entry& entry : entries) {
        if (heap.size() == limit) {
            const SortKey& worst = heap.front();
            if (entry.quality < worst.quality ||
                (entry.quality == worst.quality && static_cast<int>(entry.filenameScore) < worst.filenameScore)) {
                continue;
            }
        }
        const SortKey key{entry.quality, static_cast<int>(entry.filenameScore), recency.score(paths[entry.index]),
                          paths.collationRank(entry.index), entry.index};
        if (heap.size() < limit) {
            heap.push_back(key);
            std::push_heap(heap.begin(), heap.end(), worseFirst);
        } else if (before(key, heap.front())) {
            std::pop_heap(heap.begin(), heap.end(), worseFirst);
            heap.back() = key;
            std::push_heap(heap.begin(), heap.end(), worseFirst);
        }
    }
    std::sort(heap.begin(), heap.end(), before);
    return heap;
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

std::vector<std::string_view> splitSegments(std::string_view text) {
    std::vector<std::string_view> segments;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('/', start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        if (end > start) {
            segments.push_back(text.substr(start, end - start));
        }
        start = end + 1;
    }
    return segments;
}

// matchSegments for a single-byte path and a query prepared as bytes, without ranges.
Evaluation matchSegmentsBytes(const std::vector<std::string_view>& querySegments, std::string_view text,
                              std::string_view typed, std::vector<std::pair<std::size_t, std::size_t>>& pathSegments) {
    pathSegments.clear();
    for (std::size_t start = 0; start <= text.size();) {
        std::size_t end = text.find('/', start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        if (end > start) {
            pathSegments.emplace_back(start, end - start);
        }
        start = end + 1;
    }
    const std::size_t n = querySegments.size();
    const std::size_t m = pathSegments.size();
    Evaluation best;
    if (m < n) {
        return best;
    }
    for (std::size_t s = 0; s + n <= m; ++s) {
        int quality = static_cast<int>(MatchQuality::prefix);
        bool accepted = true;
        for (std::size_t i = 0; i < n && accepted; ++i) {
            const auto [start, length] = pathSegments[s + i];
            const auto match = detail::runCascade(querySegments[i], text.substr(start, length),
                                                  detail::AsciiSegmentLookup(typed.substr(start, length)));
            if (!match) {
                accepted = false;
            } else {
                quality = std::min(quality, static_cast<int>(match->quality));
            }
        }
        if (!accepted) {
            continue;
        }
        FilenameMatchScore score = FilenameMatchScore::pathOnly;
        if (s + n == m) {
            const auto [start, length] = pathSegments[m - 1];
            const std::string_view name = text.substr(start, length);
            const std::string_view last = querySegments[n - 1];
            score = name == last                 ? FilenameMatchScore::filenameExact
                    : name.starts_with(last)     ? FilenameMatchScore::filenamePrefix
                                                 : FilenameMatchScore::filenameBoundary;
        }
        if (best.quality == noMatch || quality > best.quality ||
            (quality == best.quality && score > best.filenameScore)) {
            best.quality = quality;
            best.filenameScore = score;
        }
    }
    return best;
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
    std::string absolute = root == "/" ? "/" + std::string(relativePath) : root + "/" + std::string(relativePath);
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

std::vector<SearchResult> FilePathSearchRanker::rankSegmentQuery(std::string_view query, const PathList& paths,
                                                                 bool caseSensitive, std::size_t limit,
                                                                 const std::string& projectRoot,
                                                                 const std::string& insertionMode,
                                                                 const CancellationToken* cancellation) const {
    const std::vector<std::string_view> querySegments = splitSegments(query);
    if (querySegments.empty()) {
        return {};
    }
    const PreparedQuery prepared(query, caseSensitive);
    const bool byteQuery = prepared.isBytes();
    const std::vector<std::string_view> preparedSegments =
        byteQuery ? splitSegments(prepared.bytes()) : std::vector<std::string_view>{};
    // A segment of fewer than four characters cannot match as a typo, so its characters must all be in
    // the path.
    std::uint64_t required = 0;
    if (byteQuery) {
        for (const auto segment : preparedSegments) {
            if (segment.size() < tuning::minimumTypoQueryLength) {
                required |= groupsOf(asciiLowercased(std::string(segment)));
            }
        }
    }
    const std::size_t queryLength = graphemeCount(query);
    const int threshold = strongThreshold(queryLength);
    std::vector<Entry> strong;
    std::vector<Entry> weak;
    std::vector<std::pair<std::size_t, std::size_t>> scratch;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        if (cancelled(cancellation, i)) {
            return {};
        }
        Evaluation evaluation;
        if (byteQuery && paths.isSingleByte(i)) {
            if ((required & ~paths.groups(i)) != 0) {
                continue;
            }
            evaluation = matchSegmentsBytes(preparedSegments, caseSensitive ? paths[i] : paths.lowered(i), paths[i],
                                            scratch);
        } else {
            if (const auto match = matchSegments(querySegments, splitSegments(paths[i]), caseSensitive)) {
                evaluation = {static_cast<int>(match->quality), match->filenameScore};
            }
        }
        if (evaluation.quality == noMatch) {
            continue;
        }
        const Entry entry{static_cast<std::uint32_t>(i), static_cast<std::uint8_t>(evaluation.quality),
                          evaluation.filenameScore};
        if (evaluation.quality >= threshold) {
            strong.push_back(entry);
        } else if (evaluation.quality == strongestWeakQuality() && weak.size() < weakAllowance(queryLength)) {
            weak.push_back(entry);
        }
    }
    const RecentFilesSnapshot noRecency;
    const std::vector<SortKey> best = selectBest(filterEntries(strong, weak), paths, RecencyTable(noRecency), limit);
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
    std::string_view query, const std::shared_ptr<const PathList>& pathList, bool caseSensitive,
    const RecentFilesSnapshot& snapshot, std::size_t limit, const std::string& projectRoot,
    const std::string& insertionMode, const CancellationToken* cancellation) const {
    PlainRanking ranking;
    const PathList& paths = *pathList;
    const auto start = clock_.monotonicNow();
    const PreparedQuery prepared(query, caseSensitive);
    const std::size_t queryLength = graphemeCount(query);
    const int threshold = strongThreshold(queryLength);
    const std::size_t allowance = weakAllowance(queryLength);
    std::map<int, int> distribution;
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
        // that are not single-byte are always looked at here.
        std::vector<Entry> held;
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
            for (std::size_t k = 0; k < count; ++k) {
                if (cancelled(cancellation, k)) {
                    return {};
                }
                const std::size_t i = narrowed ? previous[k] : k;
                Evaluation evaluation;
                if (!paths.isSingleByte(i)) {
                    holding.push_back(static_cast<std::uint32_t>(i));
                    evaluation = matchGeneric(query, paths[i], caseSensitive).evaluation;
                } else {
                    if ((queryGroups & ~paths.groups(i)) != 0 ||
                        detail::findBytes(paths.lowered(i), lower) == std::string_view::npos) {
                        continue;
                    }
                    holding.push_back(static_cast<std::uint32_t>(i));
                    evaluation = matchBytes(bytes, paths, i, caseSensitive);
                }
                held.push_back({static_cast<std::uint32_t>(i), static_cast<std::uint8_t>(evaluation.quality),
                                evaluation.filenameScore});
            }
            std::lock_guard lock(narrowingLock_);
            narrowing_ = Narrowing{pathList, lower, std::move(holding)};
        }
        for (const Entry& entry : held) {
            if (entry.quality == noMatch) {
                continue;
            }
            ++distribution[entry.quality];
            if (entry.quality >= threshold) {
                strong.push_back(entry);
            }
        }
        if (strong.size() < strongEnough) {
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
    ranking.candidateCount = static_cast<int>(kept.size());
    const std::vector<SortKey> best = selectBest(kept, paths, RecencyTable(snapshot), limit);
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
