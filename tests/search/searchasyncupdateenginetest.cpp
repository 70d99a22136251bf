#include "base/clock.h"
#include "platform/fake/manualscheduler.h"
#include "search/searchasyncupdateengine.h"
#include "searchtestsupport.h"

#include <gtest/gtest.h>

namespace korvane {
namespace {

using test::fileResult;
using test::ids;
using test::manualSnippet;

// A coordinator stand-in: the merge's view of the world, recording what the merge does to it.
struct MergeWorld {
    std::int64_t generation = 5;
    std::optional<std::string> activeQuery = "al";
    std::optional<std::string> selected;
    bool navigating = false;
    bool seen = true;
    std::vector<SearchResult> registryResults;
    SearchViewState shown = SearchViewState::results({});
    std::vector<std::string> log;
    std::vector<std::vector<std::string>> shownLists;
    std::vector<std::optional<std::string>> shownMessages;

    SearchAsyncUpdateEngine::MergeDependencies dependencies() {
        SearchAsyncUpdateEngine::MergeDependencies d;
        d.currentGeneration = [this] { return generation; };
        d.activeQuery = [this] { return activeQuery; };
        d.selectedSnippetID = [this] { return selected; };
        d.isNavigationActive = [this] { return navigating; };
        d.deferRefresh = [this](const std::string& reason, std::int64_t g, const std::optional<std::string>& id) {
            log.push_back("defer:" + reason + ":" + std::to_string(g) + ":" + id.value_or("-"));
        };
        d.currentSearchViewState = [this]() -> const SearchViewState& { return shown; };
        d.sameResultIdentity = [](const std::vector<SearchResult>& a, const std::vector<SearchResult>& b) {
            return ids(a) == ids(b);
        };
        d.hasSeenResultsInSession = [this] { return seen; };
        d.showPopup = [this](std::vector<SearchResult> results, const SearchResponse&,
                             const std::optional<std::string>&, const std::optional<std::string>& message,
                             SearchEmptyState::Style style, const std::optional<std::string>& selectedID) {
            shownLists.push_back(ids(results));
            shownMessages.push_back(message);
            shown = message ? SearchViewState::empty({*message, style}) : SearchViewState::results(results);
            if (selectedID) {
                log.push_back("restore:" + *selectedID);
            }
        };
        return d;
    }
    // The registry's answer found with the query, which the merge reuses.
    SearchAsyncUpdateEngine::RegistryAnswer answer() const {
        return {std::make_shared<const SearchResponse>(SearchResponse{registryResults, {}, {}, false, false}), false};
    }
};

class SearchAsyncUpdateEngineTest : public ::testing::Test {
protected:
    SearchAsyncUpdateEngineTest() {
        scheduler.attachClock(&clock);
        engine = SearchAsyncUpdateEngine::create(scheduler, [this] {
            return std::chrono::duration<double>(clock.monotonicNow().time_since_epoch()).count();
        });
        files = std::make_shared<test::FakeFileSource>();
    }
    double now() const { return engine->currentTime(); }
    void navigate() { engine->lastNavigationTime = now(); }

    FakeClock clock;
    ManualScheduler scheduler;
    std::shared_ptr<SearchAsyncUpdateEngine> engine;
    std::shared_ptr<test::FakeFileSource> files;
    MergeWorld world;
    const SearchEmptyState noMatches{"No matches", SearchEmptyState::Style::standard};
};

TEST_F(SearchAsyncUpdateEngineTest, IdleHandlerRunsOncePointThreeAfterTheLastKeyAndNeverAfterCancelAll) {
    int calls = 0;
    navigate();
    engine->scheduleDeferredIdle([&] { ++calls; });
    scheduler.advance(0.2);
    navigate(); // a second key postpones the flush
    engine->scheduleDeferredIdle([&] { ++calls; });
    scheduler.advance(0.29);
    EXPECT_EQ(calls, 0);
    scheduler.advance(0.012);
    EXPECT_EQ(calls, 1);
    scheduler.advance(2);
    EXPECT_EQ(calls, 1);

    navigate();
    engine->scheduleDeferredIdle([&] { ++calls; });
    engine->cancelAll();
    scheduler.advance(2);
    EXPECT_EQ(calls, 1);
    EXPECT_FALSE(engine->hasDeferredIdleTask());
}

TEST_F(SearchAsyncUpdateEngineTest, AWallClockThatJumpsChangesNoInterval) {
    int calls = 0;
    navigate();
    engine->scheduleDeferredIdle([&] { ++calls; });
    clock.setNow(clock.now() - std::chrono::hours(2)); // NTP or a resume steps the wall clock back
    EXPECT_TRUE(engine->isNavigationActive());
    scheduler.advance(0.31);
    EXPECT_EQ(calls, 1);
    EXPECT_FALSE(engine->isNavigationActive());
    clock.setNow(clock.now() + std::chrono::hours(5));
    navigate();
    EXPECT_TRUE(engine->isNavigationActive());
}

TEST_F(SearchAsyncUpdateEngineTest, MergeAddsAtMostEightNewFilesBehindTheRegistryAndKeepsTheSelection) {
    world.registryResults = {SearchResult{manualSnippet("a"), {}}, fileResult("dup.txt")};
    std::vector<SearchResult> found{fileResult("dup.txt")};
    for (int i = 0; i < 20; ++i) {
        found.push_back(fileResult("f" + std::to_string(i)));
    }
    world.selected = "manual:a";
    engine->mergeFileSearch(world.dependencies(), world.answer(), found, 5, "/p", noMatches, CancellationToken());
    ASSERT_EQ(world.shownLists.size(), 1u);
    const auto& list = world.shownLists[0];
    ASSERT_EQ(list.size(), 2u + 8u);
    EXPECT_EQ(list[0], "manual:a");
    EXPECT_EQ(list[1], "file:dup.txt");
    EXPECT_EQ(list[2], "file:f0");
    EXPECT_EQ(list[9], "file:f7");
    EXPECT_EQ(world.log.back(), "restore:manual:a");

    // The same ids again: no update, no flicker.
    engine->mergeFileSearch(world.dependencies(), world.answer(), found, 5, "/p", noMatches, CancellationToken());
    EXPECT_EQ(world.shownLists.size(), 1u);
}

TEST_F(SearchAsyncUpdateEngineTest, AnAnswerAlreadyOnScreenIsMergedFromTheListShown) {
    world.shown = SearchViewState::results({SearchResult{manualSnippet("a"), {}}, fileResult("dup.txt")});
    auto answer = world.answer(); // its own results are empty: they went to the screen
    answer.resultsOnScreen = true;
    engine->mergeFileSearch(world.dependencies(), answer, {fileResult("dup.txt"), fileResult("new.txt")}, 5, "/p",
                            noMatches, CancellationToken());
    ASSERT_EQ(world.shownLists.size(), 1u);
    EXPECT_EQ(world.shownLists[0], (std::vector<std::string>{"manual:a", "file:dup.txt", "file:new.txt"}));
}

TEST_F(SearchAsyncUpdateEngineTest, EmptyMergesByWhetherResultsWereSeen) {
    struct Case {
        bool seen;
        SearchViewState shown;
        std::size_t updates;
        std::optional<std::string> message;
    } cases[] = {
        {true, SearchViewState::results({fileResult("x")}), 1, "No matches"},
        {true, SearchViewState::empty({"No matches", SearchEmptyState::Style::standard}), 0, {}},
        {false, SearchViewState::results({fileResult("x")}), 1, std::nullopt},
    };
    for (const auto& c : cases) {
        MergeWorld w;
        w.seen = c.seen;
        w.shown = c.shown;
        engine->mergeFileSearch(w.dependencies(), w.answer(), {}, 5, "/p", noMatches, CancellationToken());
        ASSERT_EQ(w.shownLists.size(), c.updates);
        if (c.updates) {
            EXPECT_EQ(w.shownMessages[0], c.message);
        }
    }
}

TEST_F(SearchAsyncUpdateEngineTest, FileQueryIsDebouncedDroppedWhenStaleAndDeferredWhileNavigating) {
    files->answers["al"] = {fileResult("alpha.txt")};
    // Generation 5 started; a keystroke makes it 6 before the results are merged.
    engine->startFileQuery(world.dependencies(), world.answer(), files, "al", 5, false, "/p", noMatches);
    scheduler.advance(0.049);
    EXPECT_TRUE(files->searches.empty());
    world.generation = 6;
    scheduler.advance(0.01);
    EXPECT_TRUE(files->searches.empty());
    EXPECT_TRUE(world.shownLists.empty());

    // Navigation 0.1 s before the merge: nothing shown, the merge is recorded for later.
    world.selected = "manual:a";
    world.navigating = true;
    engine->startFileQuery(world.dependencies(), world.answer(), files, "al", 6, false, "/p", noMatches);
    scheduler.advance(0.06);
    EXPECT_EQ(files->searches, (std::vector<std::string>{"al"}));
    EXPECT_TRUE(world.shownLists.empty());
    EXPECT_EQ(world.log, (std::vector<std::string>{"defer:fileSearchMerge:6:manual:a"}));

    world.navigating = false;
    engine->startFileQuery(world.dependencies(), world.answer(), files, "al", 6, false, "/p", noMatches);
    // The second replaces the first.
    engine->startFileQuery(world.dependencies(), world.answer(), files, "al", 6, false, "/p", noMatches);
    scheduler.advance(0.06);
    EXPECT_EQ(files->searches.size(), 2u);
    ASSERT_EQ(world.shownLists.size(), 1u);
    EXPECT_EQ(world.shownLists[0], (std::vector<std::string>{"file:alpha.txt"}));
}

} // namespace
} // namespace korvane
