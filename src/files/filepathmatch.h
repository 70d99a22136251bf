#pragma once

#include "base/textrange.h"
#include "files/filepathsearchranker.h"
#include "files/pathlist.h"
#include "matcher/matchresult.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// How the file path ranker matches one path: the plain reference through the matcher's one-off entry
// point, the byte path on a path list's stored forms, and the matching of "/"-separated query segments.
// Pure functions; any thread.
namespace korvane::pathmatch {

inline constexpr int noMatch = 0;

// The quality and file-name score of one path, before filtering; quality 0 is no match.
struct Evaluation {
    int quality = noMatch;
    FilenameMatchScore filenameScore = FilenameMatchScore::pathOnly;
};

// A plain query against a path through the matcher's one-off entry point, with the ranges to
// highlight: the reference every faster evaluation agrees with.
struct GenericMatch {
    Evaluation evaluation;
    TextRanges ranges;
};

std::string_view fileName(std::string_view path);

// One path's evaluation from the matches of the whole path and of its file name.
Evaluation combine(std::optional<MatchQuality> path, std::optional<MatchQuality> name, bool nameEqualsQuery,
                   bool nameStartsWithQuery);

std::optional<MatchQuality> qualityOf(const std::optional<MatchResult>& result);

GenericMatch matchGeneric(std::string_view query, std::string_view path, bool caseSensitive);

// The same for a path of single-byte characters and a query prepared as bytes (`query` folded unless
// `caseSensitive`), on the path's stored lower-cased copy. The file name is matched only when it
// holds the query: otherwise its match could only be fuzzy, which changes nothing.
Evaluation matchBytes(std::string_view query, const PathList& paths, std::size_t i, bool caseSensitive);

// The non-empty "/"-separated pieces of `text`.
std::vector<std::string_view> splitSegments(std::string_view text);

using SegmentSpans = std::vector<std::pair<std::size_t, std::size_t>>;

// Where the non-empty "/"-separated pieces of `text` begin, and their lengths.
void findSegments(std::string_view text, SegmentSpans& spans);

// Whether the characters of `inOrder` stand in `lowered` in that order, not necessarily together.
bool holdsInOrder(std::string_view inOrder, std::string_view lowered);

// Whether some window of the path's segments holds, in each of its segments, the lower-cased query
// segment of that place as a subsequence (what a window match needs of short query segments).
bool mayMatchSegments(const std::vector<std::string>& loweredQuerySegments, std::string_view lowered,
                      const SegmentSpans& spans);

// The match of a path with a window where every segment begins with its query segment; nothing when
// no window is made of prefixes.
std::optional<Evaluation> prefixWindow(const std::vector<std::string>& loweredQuerySegments, std::string_view lowered,
                                       const SegmentSpans& spans);

// The segment match of a single-byte path and a query prepared as bytes, without ranges.
Evaluation matchSegmentsBytes(const std::vector<std::string_view>& querySegments, std::string_view text,
                              std::string_view typed, const SegmentSpans& pathSegments);

} // namespace korvane::pathmatch
