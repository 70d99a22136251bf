#include "base/unicode.h"
#include "files/filepathsearchranker.h"
#include "matcher/fuzzymatch.h"

#include <algorithm>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <random>

namespace korvane {
namespace {

using ::testing::ElementsAreArray;
using Paths = std::vector<std::string>;
using Candidate = FilePathSearchRanker::Candidate;

constexpr const char* locale = "en_US";

// The list as the index keeps it: sorted when `sorted`, else in the order given.
std::shared_ptr<const PathList> listOf(Paths paths, bool sorted = true) {
    if (sorted) {
        std::sort(paths.begin(), paths.end());
        paths.erase(std::unique(paths.begin(), paths.end()), paths.end());
    }
    return std::make_shared<PathList>(paths, locale);
}

std::string_view nameOf(std::string_view path) {
    const auto slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

Candidate candidateOf(std::string_view path, MatchQuality quality, FilenameMatchScore score, TextRanges ranges) {
    return {{std::make_shared<const Snippet>(makeFileSnippet(path, "/root", "projectRelative")), std::move(ranges)},
            quality,
            score};
}

// The ranking exactly as written: every path matched, every match a snippet, the whole list filtered
// and stably sorted, the first `limit` kept.
std::vector<SearchResult> referenceRanking(const std::string& query, const PathList& list, bool caseSensitive,
                                           const RecentFilesSnapshot& snapshot, std::size_t limit) {
    const LocalizedCollator collator(locale);
    const Paths paths = list.toVector();
    std::vector<Candidate> candidates;
    // The first `limit` in the order of the scores, ties in list order; then those, and only those,
    // ordered with their ties collated.
    const auto take = [&](std::vector<Candidate> filtered, auto scoreOrder, auto compare) {
        std::stable_sort(filtered.begin(), filtered.end(), scoreOrder);
        filtered.resize(std::min(filtered.size(), limit));
        std::stable_sort(filtered.begin(), filtered.end(), compare);
        std::vector<SearchResult> results;
        for (const auto& candidate : filtered) {
            results.push_back(candidate.result);
        }
        return results;
    };
    const auto scores = [](const Candidate& a, const Candidate& b) {
        return a.quality != b.quality ? a.quality > b.quality : a.filenameScore > b.filenameScore;
    };
    const auto split = [](std::string_view text) {
        std::vector<std::string_view> pieces;
        std::size_t start = 0;
        while (start <= text.size()) {
            const auto end = std::min(text.find('/', start), text.size());
            if (end > start) {
                pieces.push_back(text.substr(start, end - start));
            }
            start = end + 1;
        }
        return pieces;
    };
    if (query.find('/') != std::string::npos) {
        const auto querySegments = split(query);
        if (querySegments.empty()) {
            return {};
        }
        for (const auto& path : paths) {
            if (auto match = FilePathSearchRanker::matchSegments(querySegments, split(path), caseSensitive)) {
                candidates.push_back(candidateOf(path, match->quality, match->filenameScore, match->ranges));
            }
        }
        auto results = take(FilePathSearchRanker::filterByQuality(candidates, graphemeCount(query)), scores,
                            [&](const Candidate& a, const Candidate& b) {
                                if (a.quality != b.quality) {
                                    return a.quality > b.quality;
                                }
                                if (a.filenameScore != b.filenameScore) {
                                    return a.filenameScore > b.filenameScore;
                                }
                                return collator.compare(a.result.snippet->label, b.result.snippet->label) < 0;
                            });
        if (!results.empty()) {
            return results;
        }
        candidates.clear();
    }
    for (const auto& path : paths) {
        const std::string_view name = nameOf(path);
        const auto pathMatch = fuzzyMatch(query, path, caseSensitive);
        const auto nameMatch = fuzzyMatch(query, name, caseSensitive);
        if (!pathMatch && !nameMatch) {
            continue;
        }
        MatchQuality quality;
        TextRanges ranges;
        if (!pathMatch) {
            if (nameMatch->quality == MatchQuality::fuzzy) {
                continue;
            }
            quality = nameMatch->quality;
            const std::size_t shift = graphemeCount(std::string_view(path).substr(0, path.size() - name.size()));
            for (auto range : nameMatch->ranges) {
                ranges.push_back({range.start + shift, range.end + shift});
            }
        } else {
            quality = nameMatch ? std::max(pathMatch->quality, nameMatch->quality) : pathMatch->quality;
            ranges = pathMatch->ranges;
        }
        FilenameMatchScore score = FilenameMatchScore::pathOnly;
        if (nameMatch) {
            const std::string n = caseSensitive ? std::string(name) : lowercased(name);
            const std::string q = caseSensitive ? query : lowercased(query);
            score = n == q                                           ? FilenameMatchScore::filenameExact
                    : n.starts_with(q)                               ? FilenameMatchScore::filenamePrefix
                    : nameMatch->quality == MatchQuality::wordBoundary ? FilenameMatchScore::filenameBoundary
                                                                     : FilenameMatchScore::pathOnly;
        }
        candidates.push_back(candidateOf(path, quality, score, ranges));
    }
    return take(
        FilePathSearchRanker::filterByQuality(candidates, graphemeCount(query)),
        [&](const Candidate& a, const Candidate& b) {
            if (a.quality != b.quality || a.filenameScore != b.filenameScore) {
                return scores(a, b);
            }
            return snapshot.recencyScore(a.result.snippet->label) > snapshot.recencyScore(b.result.snippet->label);
        },
        [&](const Candidate& a, const Candidate& b) {
            return FilePathSearchRanker::compareWithRecency(a, b, snapshot, collator);
        });
}

std::vector<SearchResult> fastRanking(const FilePathSearchRanker& ranker, const std::string& query,
                                      const std::shared_ptr<const PathList>& list, bool caseSensitive,
                                      const RecentFilesSnapshot& snapshot, std::size_t limit,
                                      const std::shared_ptr<const RecentFilesSnapshot>& shared = nullptr) {
    if (query.find('/') != std::string::npos) {
        auto results = ranker.rankSegmentQuery(query, list, caseSensitive, limit, "/root", "projectRelative");
        if (!results.empty()) {
            return results;
        }
    }
    if (shared) {
        return ranker.rankPlainQuery(query, list, caseSensitive, shared, limit, "/root", "projectRelative").results;
    }
    return ranker.rankPlainQuery(query, list, caseSensitive, snapshot, limit, "/root", "projectRelative").results;
}

std::vector<std::string> describe(const std::vector<SearchResult>& results) {
    std::vector<std::string> lines;
    for (const auto& result : results) {
        std::string line = result.snippet->id;
        for (const auto& range : result.matchRanges) {
            line += " " + std::to_string(range.start) + "-" + std::to_string(range.end);
        }
        lines.push_back(line);
    }
    return lines;
}

std::vector<std::string> ids(const std::vector<SearchResult>& results) {
    std::vector<std::string> ids;
    for (const auto& result : results) {
        ids.push_back(result.snippet->label);
    }
    return ids;
}

TEST(FilePathSearchRankerTest, OrderingRules) {
    RecentFilesSnapshot recent;
    recent.sessionSelected = {"s/first.txt"};
    recent.mtimeRecent = {"m/first.txt"};
    for (int i = 0; i < 70; ++i) {
        recent.sessionSelected.push_back("pad" + std::to_string(i));
    }
    recent.sessionSelected.push_back("s/seventy.txt");
    Paths tenStrong;
    for (int i = 0; i < 10; ++i) {
        tenStrong.push_back("ab" + std::to_string(i) + ".txt");
    }
    tenStrong.push_back("xaxxxxb.c");
    Paths prefixes;
    for (int i = 10; i < 22; ++i) {
        prefixes.push_back("set/data-set" + std::to_string(i) + ".txt");
    }
    Paths prefixesAndFuzzy = prefixes;
    prefixesAndFuzzy.push_back("sxexq.c");
    struct Case {
        std::string name;
        Paths paths;
        std::string query;
        Paths expected;
        bool caseSensitive = false;
    };
    const std::vector<Case> cases = {
        {"a window ending at the file name ranks first", {"lib/src/map/x.txt", "src/main.txt"}, "src/ma",
         {"src/main.txt", "lib/src/map/x.txt"}},
        {"no window falls back to the whole query", {"a/b.txt", "xq/y"}, "q/y", {"xq/y"}},
        {"only slashes fall through to plain matching, where a slash is a mere substring", {"a/b", "c"}, "/", {}},
        {"an exact file name beats a prefix", {"docs/README.md", "readme.md.bak"}, "readme.md",
         {"docs/README.md", "readme.md.bak"}},
        {"two characters drop substring hits", {"xmain.c", "ma.c", "lib/mx.c"}, "ma", {"ma.c"}},
        {"exactly ten strong hits add no fuzzy one", tenStrong, "ab", Paths(tenStrong.begin(), tenStrong.end() - 1)},
        {"prefix matches settled in bulk are strong enough to leave out fuzzy ones", prefixesAndFuzzy, "set",
         prefixes},
        {"a session pick beats the first modified file",
         {"m/first.txt", "s/first.txt", "s/seventy.txt"},
         "first",
         {"m/first.txt", "s/first.txt"}},
        {"session index 70 ranks below the first modified file", {"m/first.txt", "s/seventy.txt"}, "txt",
         {"m/first.txt", "s/seventy.txt"}},
        {"labels equal but for case keep index order", {"B/x.c", "b/x.c"}, "x.c", {"B/x.c", "b/x.c"}},
        {"case-sensitive queries respect case", {"Makefile", "makefile.old"}, "Make", {"Makefile"}, true},
    };
    const FilePathSearchRanker ranker(SystemClock::shared());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto list = listOf(c.paths);
        const auto results = fastRanking(ranker, c.query, list, c.caseSensitive, recent, 50);
        if (c.name == "a session pick beats the first modified file") {
            // Both file names are exact; the session pick's 900 beats the modified file's 300.
            EXPECT_THAT(ids(results), ElementsAreArray(Paths{"s/first.txt", "m/first.txt"}));
        } else {
            EXPECT_THAT(ids(results), ElementsAreArray(c.expected));
        }
        EXPECT_EQ(describe(results), describe(referenceRanking(c.query, *list, c.caseSensitive, recent, 50)));
    }
}

TEST(FilePathSearchRankerTest, FileSnippetInsertsThePathOrTheName) {
    const Snippet nested = makeFileSnippet("src/app/main.test.ts", "/work/proj/", "filenameOnly");
    EXPECT_EQ(nested.id, "file:src/app/main.test.ts");
    EXPECT_EQ(nested.expansion, "main.test.ts");
    EXPECT_EQ(nested.description, "src/app");
    EXPECT_EQ(nested.metadata->at("filePath"), "/work/proj/src/app/main.test.ts");
    EXPECT_EQ(nested.metadata->at("ext"), "ts");
    const Snippet top = makeFileSnippet("Makefile", "/work/proj", "projectRelative");
    EXPECT_EQ(top.expansion, "Makefile");
    EXPECT_FALSE(top.description);
    EXPECT_EQ(top.metadata->at("ext"), "");
}

// Paths drawn from a small vocabulary so that queries hit many of them in every way the matcher
// knows: prefixes, word starts, camel case, substrings, spread-out letters, typos and non-ASCII names.
Paths randomPaths(std::mt19937& random, std::size_t count) {
    const std::vector<std::string> dirs = {"src", "lib", "Source", "test", "docs", "app", "core", "ui", "café",
                                           "node", "srcs", "a", "build_tools", "My-Dir", "x.y"};
    const std::vector<std::string> stems = {"main", "Main", "readme", "README", "index", "config", "mainView",
                                            "searchRanker", "file_path", "a", "ab", "abc", "mian", "indx", "résumé",
                                            "co", "src", "data-set", "x", "conf"};
    const std::vector<std::string> exts = {"", ".c", ".ts", ".md", ".json", ".txt", ".tar.gz", ".C"};
    Paths paths;
    for (std::size_t i = 0; i < count; ++i) {
        std::string path;
        const int depth = std::uniform_int_distribution<int>(0, 4)(random);
        for (int d = 0; d < depth; ++d) {
            path += dirs[random() % dirs.size()] + "/";
        }
        path += stems[random() % stems.size()] + exts[random() % exts.size()];
        paths.push_back(path);
    }
    return paths;
}

std::string randomQuery(std::mt19937& random, const Paths& paths) {
    const std::string& path = paths[random() % paths.size()];
    switch (random() % 6) {
    case 0: {
        const std::size_t start = random() % path.size();
        return path.substr(start, 1 + random() % 6);
    }
    case 1: {
        std::string letters;
        for (std::size_t i = 0; i < path.size(); ++i) {
            if (random() % 3 == 0) {
                letters += path[i];
            }
        }
        return letters.substr(0, 1 + random() % 8);
    }
    case 2: {
        const std::vector<std::string> typos = {"mian", "confgi", "raedme", "indxe", "serachRanker", "zzzqqq"};
        return typos[random() % typos.size()];
    }
    case 3:
        return std::string(1, "asmrcxei/."[random() % 10]);
    case 4: {
        const std::vector<std::string> segmented = {"src/ma", "s/c", "lib/", "/", "Source/main", "a/b/c", "src//co"};
        return segmented[random() % segmented.size()];
    }
    default:
        return asciiUpper(path[0]) + path.substr(1, 3);
    }
}

TEST(FilePathSearchRankerTest, FastRankingEqualsAStableSortOfEverything) {
    std::mt19937 random(20261207);
    for (int round = 0; round < 6; ++round) {
        const auto paths = randomPaths(random, 150 + 120 * static_cast<std::size_t>(round));
        const auto list = listOf(paths, round % 2 == 0);
        RecentFilesSnapshot recent;
        for (int i = 0; i < 8; ++i) {
            recent.gitUncommitted.push_back(paths[random() % paths.size()]);
            recent.sessionSelected.push_back(paths[random() % paths.size()]);
            recent.mtimeRecent.push_back(paths[random() % paths.size()]);
        }
        // Odd rounds rank with a shared snapshot, whose scores the ranker keeps between keystrokes.
        const auto shared = round % 2 == 1 ? std::make_shared<const RecentFilesSnapshot>(recent) : nullptr;
        const FilePathSearchRanker ranker(SystemClock::shared());
        for (int q = 0; q < 20; ++q) {
            const std::string query = randomQuery(random, paths);
            const bool caseSensitive = random() % 4 == 0;
            const std::size_t limit = std::vector<std::size_t>{1, 5, 12, 50}[random() % 4];
            // Typed a character at a time, so that each ranking narrows from the one before.
            for (std::size_t length = 1; length <= query.size(); ++length) {
                const std::string typed = query.substr(0, length);
                SCOPED_TRACE("query '" + typed + "' round " + std::to_string(round));
                EXPECT_EQ(describe(fastRanking(ranker, typed, list, caseSensitive, recent, limit, shared)),
                          describe(referenceRanking(typed, *list, caseSensitive, recent, limit)));
            }
        }
    }
}

TEST(FilePathSearchRankerTest, CancelledRankingStopsWithNothing) {
    std::mt19937 random(7);
    const auto list = listOf(randomPaths(random, 20000));
    CancellationToken token;
    token.cancel();
    const FilePathSearchRanker ranker(SystemClock::shared());
    EXPECT_TRUE(ranker.rankPlainQuery("a", list, false, RecentFilesSnapshot{}, 50, "/root", "", &token).results.empty());
    EXPECT_TRUE(ranker.rankSegmentQuery("a/b", list, false, 50, "/root", "", &token).empty());
}

// A list read in place over a listing holds and ranks exactly what a copied list of the same lines
// does, whether or not the listing has gaps (which make it fall back to copying).
TEST(FilePathSearchRankerTest, ListReadInPlaceEqualsACopiedList) {
    std::mt19937 random(34);
    Paths paths = randomPaths(random, 400);
    paths.insert(paths.end(), {"Src/Ünïcode/Name.TXT", "a\r", "dos\r\nline", "x", "README", ".Hidden/.Git"});
    std::string listing;
    for (const auto& path : paths) {
        listing += path + "\n";
    }
    for (const std::string& text : {listing, listing.substr(0, listing.size() - 1), "\n" + listing,
                                     listing + "\n\nlast\n"}) {
        auto owned = std::make_shared<const std::string>(text);
        const auto inPlace = PathList::overLines(*owned, owned);
        const auto copied = PathList::fromLines(text);
        ASSERT_EQ(inPlace->size(), copied->size());
        for (std::size_t i = 0; i < copied->size(); ++i) {
            SCOPED_TRACE((*copied)[i]);
            EXPECT_EQ((*inPlace)[i], (*copied)[i]);
            EXPECT_EQ(inPlace->lowered(i), copied->lowered(i));
            EXPECT_EQ(inPlace->flags(i), copied->flags(i));
            EXPECT_EQ(inPlace->groups(i), copied->groups(i));
            EXPECT_EQ(inPlace->stemGroups(i), copied->stemGroups(i));
            EXPECT_EQ(inPlace->stemLength(i), copied->stemLength(i));
            EXPECT_EQ(inPlace->nameStart(i), copied->nameStart(i));
        }
        EXPECT_EQ(inPlace->find("x"), copied->find("x"));
        const FilePathSearchRanker ranker(SystemClock::shared());
        for (const std::string query : {"src", "NAME", "a/b", "ü"}) {
            SCOPED_TRACE(query);
            EXPECT_EQ(describe(ranker.rankPlainQuery(query, inPlace, false, RecentFilesSnapshot{}, 20, "/root", "").results),
                      describe(ranker.rankPlainQuery(query, copied, false, RecentFilesSnapshot{}, 20, "/root", "").results));
            EXPECT_EQ(describe(ranker.rankSegmentQuery(query, inPlace, false, 20, "/root", "")),
                      describe(ranker.rankSegmentQuery(query, copied, false, 20, "/root", "")));
        }
    }
}

} // namespace
} // namespace korvane
