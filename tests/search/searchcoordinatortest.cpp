#include "search/searchcoordinator.h"

#include "platform/fake/fakeprocessrunner.h"
#include "providers/customprovider.h"
#include "providers/shellcommandrunner.h"
#include "search/scanpipeline.h"
#include "searchcoordinatorfixture.h"
#include "support/logcapture.h"

#include <gtest/gtest.h>
#include <thread>

namespace korvane {
namespace {

using test::fileResult;
using test::ids;
using test::manualSnippet;
using test::snippetNamed;
using Context = SearchCoordinator::LiveSearchContext;

class SearchCoordinatorTest : public test::SearchCoordinatorFixture {};

TEST_F(SearchCoordinatorTest, EachRoadWithItsEmptyState) {
    struct Case {
        const char* query;
        std::optional<std::string> root;
        bool scanInFlight;
        bool truncated;
        bool seenBefore;
        bool dismissed;
        PopupMode mode;
        std::optional<std::string> message;
    } cases[] = {
        {"?", "/p", false, false, false, false, PopupMode::help, {}},
        {"@", "/p", false, false, false, false, PopupMode::search, {}},
        {"@zzq", "/p", false, false, false, false, PopupMode::search, "No scopes match \"@zzq\""},
        {"", "/p", false, false, false, false, PopupMode::browser, {}},
        {"al", "/p", false, false, false, false, PopupMode::search, {}},
        {"zzzz", "/p", false, false, false, true, PopupMode::browser, {}},
        {"zzzz", "/p", true, false, false, false, PopupMode::search, {}},
        {"zzzz", "/p", false, false, true, false, PopupMode::search, "No matches"},
        {"zzzz", "/p", true, false, true, false, PopupMode::search, {}},
        {"@f", std::nullopt, false, false, false, false, PopupMode::search,
         "No project detected - cd into a project directory"},
        {"@f", "/p", false, false, false, false, PopupMode::search,
         "No recent file changes. Type to search all files."},
        {"@f", "/p", false, true, false, false, PopupMode::search,
         "Large directory — showing first 50,000 files"},
        {"@f zz", "/p", false, true, false, false, PopupMode::search, "No matches in first 50,000 files"},
        {"@f zz", "/p", false, false, false, false, PopupMode::search,
         "No matches in @f. Backspace to refine or choose another scope."},
        {"@url", "/p", false, false, false, true, PopupMode::browser, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.query);
        coordinator->resetSession();
        coordinator->endSession();
        controller->hide();
        dismissals = 0;
        context.projectRoot = c.root;
        context.scanInFlight = c.scanInFlight;
        files->truncated = c.truncated;
        coordinator->setHasSeenResultsInSession(c.seenBefore);
        type(c.query);
        manual.advance(1);
        EXPECT_EQ(dismissals, c.dismissed ? 1 : 0);
        if (c.dismissed) {
            EXPECT_EQ(coordinator->activeQuery(), std::nullopt);
            EXPECT_FALSE(coordinator->asyncUpdateEngine().hasFileQueryTask());
            continue;
        }
        EXPECT_TRUE(window->isVisible());
        EXPECT_EQ(viewModel().mode(), c.mode);
        EXPECT_EQ(shownMessage(), c.message);
    }
}

// The first text after the trigger may name a project file that no snippet matches: the popup waits for
// the file query and shows the file, and closes only when the files have nothing either.
TEST_F(SearchCoordinatorTest, AFragmentOnlyAFileMatchesOpensThePopupOnTheFile) {
    files->answers["zeph"] = {fileResult("docs/zephyr.md")};
    type("");
    type("zeph");
    manual.advance(1);
    EXPECT_EQ(dismissals, 0);
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(contains(shownIDs(), fileResult("docs/zephyr.md").snippet->id));

    coordinator->resetSession();
    coordinator->endSession();
    type("");
    type("qqqq");
    manual.advance(1);
    EXPECT_EQ(dismissals, 1);
    EXPECT_EQ(coordinator->activeQuery(), std::nullopt);
}

TEST_F(SearchCoordinatorTest, UrlOnlyBrowseListsAtMostTenUrlSnippets) {
    std::vector<Snippet> urls;
    for (int i = 0; i < 12; ++i) {
        urls.push_back(
            snippetNamed("link" + std::to_string(i), "https://example.invalid/" + std::to_string(i)));
    }
    setSnippets({"alpha"}, urls);
    type("@url");
    ASSERT_EQ(viewModel().mode(), PopupMode::browser);
    ASSERT_EQ(viewModel().sections().size(), 1u);
    EXPECT_EQ(viewModel().sections()[0].results.size(), 10u);
    EXPECT_TRUE(viewModel().urlOnly());
    EXPECT_TRUE(files->searches.empty());
}

TEST_F(SearchCoordinatorTest, BrowserFilesSectionListsRecentFiles) {
    files->recent = {"a.txt", "b.txt", "c.txt", "d.txt", "e.txt", "f.txt", "g.txt", "h.txt", "i.txt"};
    type("");
    const SnippetSection* filesSection = nullptr;
    for (const auto& section : viewModel().sections()) {
        if (section.id() == "files") {
            filesSection = &section;
        }
    }
    ASSERT_NE(filesSection, nullptr);
    EXPECT_EQ(filesSection->results.size(), 8u);
    EXPECT_EQ(filesSection->totalCount, 8u);
    EXPECT_EQ(filesSection->results[0].snippet->id, "file:a.txt");
}

// The categories holding a source whose rows are on their way count nothing; nor do the files while
// the recent files are read with none known yet.
TEST_F(SearchCoordinatorTest, TheBrowserMarksTheCategoriesWhoseItemsAreOnTheirWay) {
    const std::unordered_set<SnippetSource> scanned(ScanPipeline::replaceableSources().begin(),
                                                    ScanPipeline::replaceableSources().end());
    const struct {
        std::unordered_set<SnippetSource> sources;
        std::vector<std::string> recent;
        bool recentLoading;
        std::set<std::string> loading;
    } cases[] = {
        {{}, {}, false, {}},
        {scanned, {"a.txt"}, false, {"recent", "skills", "git", "docs", "scripts"}},
        {{SnippetSource::gitRef()}, {"a.txt"}, false, {"recent", "git"}},
        {{}, {}, true, {"files"}},
        {scanned, {}, true, {"recent", "files", "skills", "git", "docs", "scripts"}},
        {{}, {"a.txt"}, true, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.loading));
        coordinator->resetSession();
        files->recent = c.recent;
        files->loading = c.recentLoading;
        context.loadingSources = c.sources;
        manual.advance(0.1);
        type("");
        std::set<std::string> loading;
        for (const auto& category : viewModel().categories()) {
            if (category.isLoading) {
                loading.insert(category.id);
            }
        }
        EXPECT_EQ(loading, c.loading);
        EXPECT_EQ(viewModel().loadingCategories(), c.loading);
        // The registry's rerender for a change of its snippets marks the same.
        coordinator->rerenderForRegistryChange(context.projectRoot, false, context.activeCategories);
        EXPECT_EQ(viewModel().loadingCategories(), c.loading);
    }
}

TEST_F(SearchCoordinatorTest, TypingDeletingAndPastingEachSearchOnceAndDuplicatesAreSkipped) {
    const auto start = coordinator->searchGeneration();
    type("a");
    type("al");
    type("alp");
    EXPECT_TRUE(contains(shownIDs(), "manual:alpha"));
    EXPECT_TRUE(contains(shownIDs(), "manual:alpine"));
    EXPECT_FALSE(contains(shownIDs(), "manual:alto"));
    type("al"); // backspace
    EXPECT_TRUE(contains(shownIDs(), "manual:alto"));
    type("beta"); // a paste replaces the whole text at once
    EXPECT_EQ(shownIDs(), (std::vector<std::string>{"manual:beta"}));
    EXPECT_EQ(coordinator->searchGeneration(), start + 5);

    EXPECT_TRUE(coordinator->shouldSkipDuplicateInput("beta"));
    manual.advance(0.09);
    type("beta"); // passes the filter, but the same query is not searched again
    EXPECT_EQ(coordinator->searchGeneration(), start + 5);
    coordinator->performSearch("beta", SearchSource::scanRefresh, context);
    EXPECT_EQ(coordinator->searchGeneration(), start + 6);
}

TEST_F(SearchCoordinatorTest, ASlowSearchIsLoggedWithItsLengthSourceAndTime) {
    test::LogCapture log;
    coordinator->onHorizontalSuppressionChanged = [this](bool) { clock.advance(0.011); };
    type("al");
    type("alp");
    coordinator->onHorizontalSuppressionChanged = nullptr;
    type("alpi"); // 0 ms
    const auto lines = log.performanceLines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].category, "SearchCoordinator.Performance");
    EXPECT_EQ(lines[0].message, "[PERFORM_SEARCH] query_len=2 source=input elapsed=11.00ms");
}

TEST_F(SearchCoordinatorTest, AFileSearchOvertakenByTheNextKeystrokeIsDropped) {
    files->answers["al"] = {fileResult("old-al.txt")};
    files->answers["alp"] = {fileResult("alp.txt")};
    // The search for "al" is still running when "p" is typed.
    files->onSearch = [this](const std::string& query) {
        if (query == "al") {
            coordinator->performSearch("alp", SearchSource::input, context);
        }
    };
    type("al");
    manual.advance(0.05);
    EXPECT_FALSE(contains(shownIDs(), "file:old-al.txt"));
    manual.advance(0.05);
    const auto shown = shownIDs();
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(shown.back(), "file:alp.txt");
    EXPECT_EQ(files->searches, (std::vector<std::string>{"al", "alp"}));
}

TEST_F(SearchCoordinatorTest, AnOlderLiveScopeAnswerForTheSameTextIsDroppedByItsCancellation) {
    files->answers["a"] = {fileResult("a.txt")};
    files->answers["ab"] = {fileResult("ab.txt")};
    // While the first search for "a" runs, "b" is typed and deleted again.
    files->onSearch = [&](const std::string&) {
        if (files->searches.size() == 1) {
            coordinator->performSearch("@f ab", SearchSource::input, context);
            coordinator->performSearch("@f a", SearchSource::input, context);
        }
    };
    type("@f a");
    manual.advance(0.05);
    EXPECT_TRUE(shownIDs().empty()); // the first answer was dropped although the text matches again
    manual.advance(0.05);
    EXPECT_EQ(shownIDs(), (std::vector<std::string>{"file:a.txt"}));
    EXPECT_EQ(files->searches, (std::vector<std::string>{"a", "a"}));
}

class CustomLiveScopeTest : public SearchCoordinatorTest {
protected:
    CustomLiveScopeTest() {
        config.id = "tickets";
        config.label = "Tickets";
        config.command = "list-tickets";
        config.scope = "tk";
        config.mode = "live";
        config.debounce = 150;
        install();
    }
    void install() {
        // Started in a trusted folder, the command runs alone, with no read of git's configuration first.
        const CommandTrust trust{.trustsFolder = [](const std::string&) { return true; }};
        provider = std::make_shared<CustomProvider>(config, std::make_shared<ShellCommandRunner>(processes),
                                                    trust, clock);
        coordinator->customLiveProviders = {{config.id, provider}};
        coordinator->updateScopeManifest(ScopeRegistry({config}));
    }

    CustomProviderConfig config;
    std::shared_ptr<FakeProcessRunner> processes = std::make_shared<FakeProcessRunner>();
    std::shared_ptr<CustomProvider> provider;
};

TEST_F(CustomLiveScopeTest, DebouncedCommandAnswersFailsOrHints) {
    processes->respondByDefault({0, "T-1\nT-2\n", "", 0, std::nullopt});
    type("@tk");
    EXPECT_EQ(shownMessage(), "Type @tk to search");
    type("@tk fix");
    manual.advance(0.14);
    EXPECT_EQ(processes->runCount(), 0u);
    manual.advance(0.02);
    ASSERT_EQ(processes->runCount(), 1u);
    EXPECT_EQ(shownIDs().size(), 2u);
    const auto request = processes->requests().back();
    EXPECT_EQ(request.workingDirectory, "/p");
    EXPECT_NE(std::find(request.environment.begin(), request.environment.end(),
                        std::pair<std::string, std::string>{"KORVANE_QUERY", "fix"}),
              request.environment.end());

    processes->respondByDefault({1, "T-1\n", "", 0, std::nullopt});
    type("@tk fixes");
    manual.advance(0.2);
    EXPECT_TRUE(shownIDs().empty());
    EXPECT_EQ(shownMessage(), "No matches");

    registry.setDisabledSources({SnippetSource::custom("tickets")});
    type("@tk other");
    manual.advance(1);
    EXPECT_EQ(processes->runCount(), 2u);
    EXPECT_TRUE(viewModel().scopeDisabled());
}

TEST_F(CustomLiveScopeTest, DebounceIsClampedAndTheHintWithoutScopeNamesTheId) {
    config.scope.reset();
    config.debounce = 100000; // waits the longest debounce, 60 s
    install();
    type("@tickets slow");
    manual.advance(59.9);
    EXPECT_EQ(processes->runCount(), 0u);
    manual.advance(0.2);
    EXPECT_EQ(processes->runCount(), 1u);

    config.debounce = -5; // runs at once
    install();
    type("@tickets fast");
    EXPECT_EQ(processes->runCount(), 2u);
    type("@tickets");
    EXPECT_EQ(shownMessage(), "Type @tickets to search");
}

TEST_F(CustomLiveScopeTest, ASupersededCommandIsTerminatedAndItsOutputDropped) {
    config.debounce = 0;
    install();
    processes->respond("list-tickets", {0, "OLD\n", "", 0, std::nullopt});
    staged.holding = true;
    type("@tk a");
    manual.advance(0.001);
    ASSERT_EQ(staged.heldJobs(), 1u);
    auto [job, token] = staged.takeOldest();
    processes->hold();
    std::thread worker([job = std::move(job), token = token] { job(token); });
    ASSERT_TRUE(processes->waitUntilHeld(1));
    type("@tk ab"); // replaces the running command
    const auto running = processes->requests().front();
    ASSERT_TRUE(running.cancellation.has_value());
    EXPECT_TRUE(running.cancellation->isCancelled());
    processes->releaseAll();
    worker.join();
    manual.runUntilIdle();
    EXPECT_TRUE(shownIDs().empty());
}

} // namespace
} // namespace korvane
