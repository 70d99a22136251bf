#include "registry/snippetregistry.h"

#include "base/clock.h"
#include "platform/fake/manualscheduler.h"
#include "registry/historystore.h"
#include "registry/historystorereader.h"
#include "registrytesting.h"
#include "support/tempdir.h"

#include <cmath>
#include <fmt/format.h>
#include <gtest/gtest.h>
#include <limits>
#include <memory>
#include <string>
#include <vector>

namespace korvane {
namespace {

using test::FakeHistory;
using test::labelsOf;
using test::makeSnippet;
using Labels = std::vector<std::string>;

ParsedQuery plain(const std::string& text) {
    return ParsedQuery::plain(text);
}

ParsedQuery scopedTo(std::vector<SnippetSource> scopes, const std::string& text) {
    ParsedQuery query = ParsedQuery::plain(text);
    query.scopes = std::move(scopes);
    return query;
}

class SnippetRegistryTest : public testing::Test {
protected:
    Labels find(const ParsedQuery& query, SearchOptions options = {}) {
        return labelsOf(registry.search(query, options).results);
    }
    Labels find(const std::string& text, SearchOptions options = {}) { return find(plain(text), options); }

    void add(const SnippetSource& source, const std::vector<std::string>& labels) {
        std::vector<Snippet> snippets;
        for (const auto& label : labels) {
            snippets.push_back(makeSnippet(label, source));
        }
        registry.updateSnippets(source, snippets);
    }

    Labels indexLabels() const {
        Labels labels;
        for (const auto& entry : registry.indexedSnippets()) {
            labels.push_back(entry.snippet().label);
        }
        return labels;
    }

    FakeClock clock;
    SnippetRegistry registry{clock, "en"};
};

TEST_F(SnippetRegistryTest, FinalCutDropsFuzzyMatchesOnlyWhenTenStrongOnesExist) {
    struct Case {
        int strong;
        int fuzzy;
        std::size_t expected;
    };
    for (const Case& c : {Case{9, 30, 29}, Case{10, 30, 10}, Case{0, 30, 20}, Case{3, 5, 8}}) {
        SCOPED_TRACE(fmt::format("{} strong, {} fuzzy", c.strong, c.fuzzy));
        std::vector<Snippet> snippets;
        for (int i = 0; i < c.strong; ++i) {
            snippets.push_back(makeSnippet(fmt::format("q{:02}xyzq", i)));
        }
        for (int i = 0; i < c.fuzzy; ++i) {
            snippets.push_back(makeSnippet(fmt::format("xaybz{:02}qqqqqqqq", i)));
        }
        registry.updateSnippets(SnippetSource::manual(), snippets);

        const auto results = registry.search(plain("xyz"), {}).results;
        ASSERT_EQ(results.size(), c.expected);
        for (std::size_t i = 0; i < results.size(); ++i) {
            const bool isSubstring = results[i].snippet->label.starts_with("q");
            EXPECT_EQ(isSubstring, static_cast<int>(i) < c.strong) << "strong results come first";
        }
        EXPECT_EQ(find("").size(), snippets.size()) << "an empty query is never cut";
    }
}

TEST_F(SnippetRegistryTest, GrowingQueryNarrowsThePreviousMatches) {
    add(SnippetSource::manual(), {"coil", "config"});

    // "config" matches "coig" only through typo tolerance, so a narrowed search cannot find it.
    EXPECT_EQ(find("coi"), Labels{"coil"});
    EXPECT_EQ(find("coig"), Labels{"coil"});

    // Deleting a character and replacing one both start over from the whole index.
    EXPECT_EQ(find("co"), (Labels{"coil", "config"}));
    EXPECT_EQ(find("coig"), (Labels{"coil", "config"}));
    EXPECT_EQ(find("coi"), Labels{"coil"});
    EXPECT_EQ(find("cox"), Labels{});
    EXPECT_EQ(find("coig"), (Labels{"coil", "config"}));
}

TEST_F(SnippetRegistryTest, ChangedSearchConditionsStartOver) {
    add(SnippetSource::manual(), {"coil", "config"});

    find("coi");
    EXPECT_EQ(find("coig", SearchOptions{true}), (Labels{"coil", "config"})) << "options changed";

    find("coi");
    add(SnippetSource::gitRef(), {"main"});
    EXPECT_EQ(find("coig"), (Labels{"coil", "config"})) << "index updated";

    find("coi");
    registry.removeSnippets();
    EXPECT_EQ(find("coig"), (Labels{"coil", "config"})) << "project snippets removed";

    find("coi");
    EXPECT_EQ(find(scopedTo({SnippetSource::manual()}, "coig")), (Labels{"coil", "config"}))
        << "scope changed";
}

TEST_F(SnippetRegistryTest, DisablingASourceBetweenKeystrokesHidesItAtOnce) {
    add(SnippetSource::manual(), {"coil"});
    add(SnippetSource::gitRef(), {"config"});

    EXPECT_EQ(find("co"), (Labels{"coil", "config"}));
    registry.setDisabledSources({SnippetSource::gitRef()});
    EXPECT_EQ(find("con"), Labels{});
    EXPECT_EQ(find("co"), Labels{"coil"});
}

TEST_F(SnippetRegistryTest, CombiningMarkAfterALetterIsNotANarrowing) {
    add(SnippetSource::manual(), {"résumé", "rexx"});

    EXPECT_EQ(find("re"), Labels{"rexx"});
    // "e" followed by a combining acute accent is one character, "é", which "re" did not match.
    EXPECT_EQ(find("re\u0301"), Labels{"résumé"});
}

TEST_F(SnippetRegistryTest, SnippetsSharingAnIdAcrossSourcesAreBothFound) {
    registry.updateSnippets(SnippetSource::manual(), {makeSnippet("alpha", SnippetSource::manual(), "x")});
    registry.updateSnippets(SnippetSource::gitRef(), {makeSnippet("alpine", SnippetSource::gitRef(), "x")});

    EXPECT_EQ(find("al"), (Labels{"alpha", "alpine"}));
    EXPECT_EQ(find("alp"), (Labels{"alpha", "alpine"}));
    registry.updateSnippets(SnippetSource::manual(), {});
    EXPECT_EQ(find("al"), Labels{"alpine"});
    EXPECT_EQ(find("alp"), Labels{"alpine"});
}

TEST_F(SnippetRegistryTest, UpdatesReplaceOneSourceWholeAndKeepLabelOrder) {
    registry.updateSnippets(SnippetSource::gitRef(), {makeSnippet("main", SnippetSource::gitRef(), "dup"),
                                                      makeSnippet("develop", SnippetSource::gitRef(), "dup"),
                                                      makeSnippet("beta", SnippetSource::gitRef())});
    add(SnippetSource::manual(), {"alpha", "Zeta", "Émile"});
    add(SnippetSource::custom("a"), {"Alpha"});
    add(SnippetSource::custom("b"), {"gamma"});

    // Equal labels keep the order they were added in; accents and case do not decide before letters.
    EXPECT_EQ(indexLabels(), (Labels{"alpha", "Alpha", "beta", "Émile", "gamma", "main", "Zeta"}));

    add(SnippetSource::custom("a"), {});
    EXPECT_EQ(indexLabels(), (Labels{"alpha", "beta", "Émile", "gamma", "main", "Zeta"}));

    registry.currentProjectRoot = "/work/project";
    registry.updateSnippets(
        SnippetSource::manual(),
        {makeSnippet("date", SnippetSource::manual(), "builtin:date"), makeSnippet("sig")});
    registry.removeSnippets();
    EXPECT_EQ(indexLabels(), (Labels{"date", "sig"}));
    EXPECT_FALSE(registry.currentProjectRoot.has_value());
}

// Branch, script, skill and document names come from the project: one holding a control character (a
// bidirectional one included) or a line break is not offered at all.
TEST_F(SnippetRegistryTest, NamesWithControlCharactersOrLineBreaksAreNotOffered) {
    Snippet titled = makeSnippet("doc", SnippetSource::aiDoc());
    titled.displayName = "Title\x1b]0;x\x07";
    registry.updateSnippets(SnippetSource::aiDoc(), {titled, makeSnippet("guide", SnippetSource::aiDoc())});
    add(SnippetSource::gitRef(), {"main", "evil\nrm -rf", "tab\tname",
                                  "c1\xc2\x9b"
                                  "2J",
                                  "sep\xe2\x80\xa8x", "rtl-\u202Etxt.exe", "ok-\xc3\xa9"});
    EXPECT_EQ(indexLabels(), (Labels{"guide", "main", "ok-\xc3\xa9"}));
}

TEST_F(SnippetRegistryTest, ScopesAndFiltersLimitTheCandidates) {
    Snippet appSnippet = makeSnippet("hi app");
    appSnippet.scope = SnippetScope::app;
    Snippet globalSnippet = makeSnippet("hi global");
    globalSnippet.scope = SnippetScope::global;
    Snippet link = makeSnippet("hi docs");
    link.url = "https://docs.example/";
    Snippet emptyLink = makeSnippet("hi empty");
    emptyLink.url = "";
    registry.updateSnippets(SnippetSource::manual(), {appSnippet, globalSnippet, link, emptyLink});
    add(SnippetSource::gitRef(), {"hi branch"});
    add(SnippetSource::gitRemote(), {"hi remote"});
    Snippet appLookalike = makeSnippet("hi skill", SnippetSource::claudeSkill());
    appLookalike.scope = SnippetScope::app;
    registry.updateSnippets(SnippetSource::claudeSkill(), {appLookalike});

    EXPECT_EQ(find(scopedTo({SnippetSource::gitRef(), SnippetSource::gitRemote()}, "hi")),
              (Labels{"hi branch", "hi remote"}));

    ParsedQuery urls = plain("hi");
    urls.urlOnly = true;
    EXPECT_EQ(find(urls), Labels{"hi docs"});

    ParsedQuery appOnly = scopedTo({SnippetSource::manual()}, "hi");
    appOnly.scopeFilter = SnippetScope::app;
    EXPECT_EQ(find(appOnly), Labels{"hi app"});
    appOnly.query = "hi a";
    EXPECT_EQ(find(appOnly), Labels{"hi app"});

    registry.setDisabledSources({SnippetSource::gitRef()});
    const ParsedQuery git = scopedTo({SnippetSource::gitRef(), SnippetSource::gitRemote()}, "hi");
    EXPECT_EQ(find(git), Labels{"hi remote"});
    EXPECT_FALSE(registry.search(git, {}).scopeDisabled);

    for (const auto& scopes : {std::vector{SnippetSource::gitRef()}, std::vector<SnippetSource>{}}) {
        const SearchResponse response = registry.search(scopedTo(scopes, "hi"), {});
        EXPECT_TRUE(response.scopeDisabled);
        EXPECT_TRUE(response.results.empty());
    }
    EXPECT_FALSE(registry.search(plain("hi"), {}).scopeDisabled);
    EXPECT_EQ(find("hi branch"), Labels{}) << "without a scope the disabled source is skipped too";
}

TEST_F(SnippetRegistryTest, CaseSensitiveSearchMatchesLettersAsTyped) {
    add(SnippetSource::manual(), {"config", "Config"});
    EXPECT_EQ(find("Con", SearchOptions{true}), Labels{"Config"});
    EXPECT_EQ(find("Conf", SearchOptions{true}), Labels{"Config"});
    EXPECT_EQ(find("Con"), (Labels{"config", "Config"}));
}

TEST_F(SnippetRegistryTest, EqualMatchesRankByFrecencyThenLabel) {
    add(SnippetSource::manual(), {"test b", "test a", "test c", "test d"});
    EXPECT_EQ(find("test"), (Labels{"test a", "test b", "test c", "test d"})) << "no history: label order";

    auto history = std::make_shared<FakeHistory>();
    history->scores = {{"User:test c", 0.5},
                       {"User:test b", std::numeric_limits<double>::quiet_NaN()},
                       {"User:test d", std::numeric_limits<double>::infinity()}};
    registry.historyStore = history;
    // A score that is not a number counts as none; an infinite one is simply the highest.
    EXPECT_EQ(find("test"), (Labels{"test d", "test c", "test a", "test b"}));
    EXPECT_EQ(find("test "), (Labels{"test d", "test c", "test a", "test b"})) << "narrowed";
}

TEST_F(SnippetRegistryTest, EmptyQueryListsRecentThenFrecentThenByLabel) {
    add(SnippetSource::manual(), {"alpha", "beta", "gamma", "delta"});
    add(SnippetSource::envVar(), {"aaa"});
    registry.setDisabledSources({SnippetSource::envVar()});
    auto history = std::make_shared<FakeHistory>();
    history->dates["User:gamma"] = clock.now() - std::chrono::seconds(10);
    history->scores["User:gamma"] = 0.1;
    history->scores["User:delta"] = 2.0;
    history->scores["User:beta"] = std::numeric_limits<double>::quiet_NaN();
    registry.historyStore = history;

    const SearchResponse response = registry.search(plain(""), {});
    EXPECT_EQ(labelsOf(response.results), (Labels{"gamma", "delta", "alpha", "beta"}));
    EXPECT_TRUE(response.results.front().matchRanges.empty());
}

TEST_F(SnippetRegistryTest, RanksWithTheApplicationsHistoryStore) {
    test::TempDir directory;
    ManualScheduler scheduler;
    auto store = HistoryStore::create(scheduler, clock, directory.path());
    add(SnippetSource::manual(), {"test a", "test b"});
    store->recordUsage("User:test b");
    registry.historyStore = std::make_shared<HistoryStoreReader>(store);

    EXPECT_EQ(find("test"), (Labels{"test b", "test a"}));
    EXPECT_EQ(find(""), (Labels{"test b", "test a"}));
    EXPECT_EQ(labelsOf(registry.makeSectionBuilder(std::nullopt).recentSnippets(8)), Labels{"test b"});

    // Scores read for one search are kept, but not past a change of the history or of the index.
    store->recordUsage("User:test a");
    store->recordUsage("User:test a");
    EXPECT_EQ(find("test"), (Labels{"test a", "test b"}));
    add(SnippetSource::envVar(), {"test 0"});
    EXPECT_EQ(find("test"), (Labels{"test a", "test b", "test 0"}));
    store->recordUsage("Env:test 0");
    store->recordUsage("Env:test 0");
    store->recordUsage("Env:test 0");
    EXPECT_EQ(find("test"), (Labels{"test 0", "test a", "test b"}));
}

TEST_F(SnippetRegistryTest, SectionBuilderKeepsTheSnippetsItWasMadeWith) {
    add(SnippetSource::manual(), {"alpha"});
    const SectionBuilder builder = registry.makeSectionBuilder("project");
    registry.removeSnippets();
    registry.updateSnippets(SnippetSource::manual(), {});
    EXPECT_EQ(builder.snippets().size(), 1u);
    EXPECT_EQ(builder.projectName(), "project");
}

TEST_F(SnippetRegistryTest, ResultsKeepTheirSnippetsAfterTheIndexDropsThem) {
    add(SnippetSource::manual(), {"alpha"});
    const SearchResponse response = registry.search(plain("al"), {});
    add(SnippetSource::manual(), {});
    ASSERT_EQ(response.results.size(), 1u);
    EXPECT_EQ(response.results[0].snippet->label, "alpha");
    EXPECT_TRUE(registry.indexedSnippets().empty());
}

} // namespace
} // namespace korvane
