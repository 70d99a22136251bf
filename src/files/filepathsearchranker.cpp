#include "files/filepathsearchranker.h"

#include "files/filepathmatch.h"
#include "files/rankingpasses.h"
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

using namespace pathmatch;

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
        std::string shortInOrder;
        for (const auto segment : preparedSegments) {
            lowered.push_back(asciiLowercased(std::string(segment)));
            groups |= groupsOf(lowered.back());
            if (segment.size() < tuning::minimumTypoQueryLength) {
                shortGroups |= groupsOf(lowered.back());
                shortInOrder += lowered.back();
            }
        }
        // A path this short has at most 64 segments, so mayMatchSegments turns it away unless it holds
        // the short segments' characters in order: that is checked before its segments are found.
        constexpr std::size_t fewSegmentsBelow = 129;
        const bool checkOrderFirst = !shortInOrder.empty() && lowered.size() <= 16;
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
                if (checkOrderFirst && text.size() < fewSegmentsBelow && !holdsInOrder(shortInOrder, text)) {
                    continue;
                }
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
    const std::vector<SortKey> best = selectBest(entries, paths, RecencyTable(noRecency, paths), limit);
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

} // namespace korvane
