#include "files/filepathmatch.h"

#include "base/unicode.h"
#include "matcher/bytesearch.h"
#include "matcher/fuzzymatch.h"
#include "matcher/matchcascade.h"
#include "matcher/segmentation.h"

#include <algorithm>
#include <array>
#include <bit>

namespace korvane::pathmatch {

std::string_view fileName(std::string_view path) {
    const auto slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

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

using SegmentSpans = std::vector<std::pair<std::size_t, std::size_t>>;

// Where the non-empty "/"-separated pieces of `text` begin, and their lengths.
void findSegments(std::string_view text, SegmentSpans& spans) {
    spans.clear();
    for (std::size_t start = 0; start <= text.size();) {
        std::size_t end = text.find('/', start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        if (end > start) {
            spans.emplace_back(start, end - start);
        }
        start = end + 1;
    }
}

bool holdsInOrder(std::string_view inOrder, std::string_view lowered) {
    const char* at = lowered.data();
    const char* const end = at + lowered.size();
    for (const char wanted : inOrder) {
        // A plain loop: the paths are short, so a library search per character costs more in calls.
        while (at != end && *at != wanted) {
            ++at;
        }
        if (at == end) {
            return false;
        }
        ++at;
    }
    return true;
}

// Whether some window of the path's segments holds, in each of its segments, the lower-cased query
// segment of that place as a subsequence: what a window match needs of every query segment of fewer
// than four characters, which cannot match as a typo. Longer segments ask nothing here. One pass over
// the path's bytes follows every query segment at once.
bool mayMatchSegments(const std::vector<std::string>& loweredQuerySegments, std::string_view lowered,
                      const SegmentSpans& spans) {
    const std::size_t n = loweredQuerySegments.size();
    const std::size_t m = spans.size();
    if (m < n) {
        return false;
    }
    if (m > 64 || n > 16) {
        return true;
    }
    // The short segments' characters in order anywhere in the path, before following them segment by
    // segment.
    std::string inOrder;
    for (const auto& segment : loweredQuerySegments) {
        if (segment.size() < tuning::minimumTypoQueryLength) {
            inOrder += segment;
        }
    }
    if (!holdsInOrder(inOrder, lowered)) {
        return false;
    }
    // Window s lives while each short query segment i stands in order in path segment s + i; each
    // segment is followed only through the windows still alive, which thin out fast.
    std::uint64_t windows = m - n + 1 == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << (m - n + 1)) - 1;
    for (std::size_t i = 0; i < n && windows != 0; ++i) {
        const std::string& wanted = loweredQuerySegments[i];
        if (wanted.size() >= tuning::minimumTypoQueryLength) {
            continue;
        }
        for (std::uint64_t alive = windows; alive != 0; alive &= alive - 1) {
            const auto s = static_cast<std::size_t>(std::countr_zero(alive));
            if (!holdsInOrder(wanted, lowered.substr(spans[s + i].first, spans[s + i].second))) {
                windows &= ~(std::uint64_t{1} << s);
            }
        }
    }
    return windows != 0;
}

// The match of a path whose windows include one where every segment begins with its query segment
// (ignoring case): such a window is a prefix match, and the best window is the last one when it is
// such a window (its file-name score then follows from the name), else a prefix window that says
// nothing of the name. Nothing when no window is made of prefixes.
std::optional<Evaluation> prefixWindow(const std::vector<std::string>& loweredQuerySegments, std::string_view lowered,
                                       const SegmentSpans& spans) {
    const std::size_t n = loweredQuerySegments.size();
    const std::size_t m = spans.size();
    const auto prefixesAt = [&](std::size_t s) {
        for (std::size_t i = 0; i < n; ++i) {
            if (!lowered.substr(spans[s + i].first, spans[s + i].second).starts_with(loweredQuerySegments[i])) {
                return false;
            }
        }
        return true;
    };
    const int prefix = static_cast<int>(MatchQuality::prefix);
    if (prefixesAt(m - n)) {
        const std::string_view name = lowered.substr(spans[m - 1].first, spans[m - 1].second);
        return Evaluation{prefix, name == loweredQuerySegments[n - 1] ? FilenameMatchScore::filenameExact
                                                                      : FilenameMatchScore::filenamePrefix};
    }
    for (std::size_t s = 0; s + n < m; ++s) {
        if (prefixesAt(s)) {
            return Evaluation{prefix, FilenameMatchScore::pathOnly};
        }
    }
    return std::nullopt;
}

// matchSegments for a single-byte path and a query prepared as bytes, without ranges.
Evaluation matchSegmentsBytes(const std::vector<std::string_view>& querySegments, std::string_view text,
                              std::string_view typed, const SegmentSpans& pathSegments) {
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

} // namespace korvane::pathmatch
