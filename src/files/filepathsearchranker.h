#pragma once

#include "base/cancellationtoken.h"
#include "base/clock.h"
#include "base/localizedcollator.h"
#include "files/pathlist.h"
#include "files/recentfilessnapshot.h"
#include "matcher/matchresult.h"
#include "model/searchresult.h"
#include "model/snippet.h"

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvane {

// How much a match says about the file name, in rising order.
enum class FilenameMatchScore : int { pathOnly = 0, filenameBoundary = 1, filenamePrefix = 2, filenameExact = 3 };

std::optional<FilenameMatchScore> filenameMatchScoreFromRawValue(int rawValue);

// The name under which a match quality is counted: "fuzzy", "substring", "wordBoundary" or "prefix".
std::string matchQualityName(MatchQuality quality);

// The snippet that stands for a relative path of a project: it inserts the path, or only the file name
// when `insertionMode` is "filenameOnly".
Snippet makeFileSnippet(std::string_view relativePath, std::string_view projectRoot, std::string_view insertionMode);

// Ranks a project's paths for the text typed after the files scope: a query with "/" segment by
// segment, any other against the whole path and the file name, at most `limit` results: the best by
// quality, file-name score and recency (ties to the earlier path in the list), shown with their ties
// in the localized order. The ranking visits few paths per keystroke: character groups turn
// away paths that cannot hold the query, a query that only grew looks at the paths that held its
// previous text, the best results are selected rather than sorted, and snippets and highlight ranges
// are made only for what is returned. Any thread; one ranker serves concurrent rankings.
class FilePathSearchRanker {
public:
    struct Candidate {
        SearchResult result;
        MatchQuality quality = MatchQuality::fuzzy;
        FilenameMatchScore filenameScore = FilenameMatchScore::pathOnly;
    };

    struct SegmentMatch {
        MatchQuality quality = MatchQuality::fuzzy;
        TextRanges ranges;
        FilenameMatchScore filenameScore = FilenameMatchScore::pathOnly;
    };

    struct PlainRanking {
        std::vector<SearchResult> results;
        double matchingMs = 0;
        double sortingMs = 0;
        int candidateCount = 0;
        // Every match that has the query as a substring is counted; of the fuzzy ones, those the
        // ranking had to look at.
        std::map<std::string, int> matchQualityDistribution;
    };

    // Strong matches needed before no fuzzy match is added, and how many fuzzy ones are added
    // otherwise for queries of more than two characters and of two or fewer.
    static constexpr std::size_t strongEnough = 10;
    static constexpr std::size_t longQueryFuzzyAllowance = 20;
    static constexpr std::size_t shortQueryFuzzyAllowance = 5;
    // Paths looked at between two checks of the cancellation token.
    static constexpr std::size_t cancellationStride = 4096;

    explicit FilePathSearchRanker(const Clock& clock);

    std::vector<SearchResult> rankSegmentQuery(std::string_view query, const std::shared_ptr<const PathList>& paths,
                                               bool caseSensitive,
                                               std::size_t limit, const std::string& projectRoot,
                                               const std::string& insertionMode,
                                               const CancellationToken* cancellation = nullptr) const;

    PlainRanking rankPlainQuery(std::string_view query, const std::shared_ptr<const PathList>& paths,
                                bool caseSensitive, const RecentFilesSnapshot& snapshot, std::size_t limit,
                                const std::string& projectRoot, const std::string& insertionMode,
                                const CancellationToken* cancellation = nullptr) const;
    // As above with a snapshot that does not change, whose recency scores are then worked out once
    // for all the keystrokes that rank with it.
    PlainRanking rankPlainQuery(std::string_view query, const std::shared_ptr<const PathList>& paths,
                                bool caseSensitive, const std::shared_ptr<const RecentFilesSnapshot>& snapshot,
                                std::size_t limit, const std::string& projectRoot, const std::string& insertionMode,
                                const CancellationToken* cancellation = nullptr) const;

    static std::optional<SegmentMatch> matchSegments(const std::vector<std::string_view>& querySegments,
                                                     const std::vector<std::string_view>& pathSegments,
                                                     bool caseSensitive);
    static std::vector<Candidate> filterByQuality(std::vector<Candidate> candidates, std::size_t queryLength);
    static bool compareWithRecency(const Candidate& lhs, const Candidate& rhs, const RecentFilesSnapshot& snapshot,
                                   const LocalizedCollator& collator);

private:
    // The paths whose lower-cased text held the last plain query, kept for the next keystroke.
    struct Narrowing {
        std::weak_ptr<const PathList> paths;
        std::string query;
        std::vector<std::uint32_t> indices;
    };

    // The paths that passed the segment test of the last query with "/", for the next keystroke.
    struct SegmentNarrowing {
        std::weak_ptr<const PathList> paths;
        std::vector<std::string> segments;
        std::vector<std::uint32_t> indices;
    };

    PlainRanking rankPlain(std::string_view query, const std::shared_ptr<const PathList>& paths, bool caseSensitive,
                           const std::shared_ptr<const RecentFilesSnapshot>& snapshot, std::size_t limit,
                           const std::string& projectRoot, const std::string& insertionMode,
                           const CancellationToken* cancellation, bool keepRecency) const;

    const Clock& clock_;
    mutable std::mutex narrowingLock_;
    // The recency scores of the last snapshot ranked with.
    mutable std::shared_ptr<const void> recency_;
    mutable Narrowing narrowing_;
    mutable SegmentNarrowing segmentNarrowing_;
};

} // namespace korvane
