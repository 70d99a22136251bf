// The search coordinator's refreshes: after scans and registry changes, held back while the user
// navigates, and the file rows merged again behind them.
#include "search/searchcoordinator.h"

#include "searchcoordinatorfixture.h"

#include <gtest/gtest.h>

namespace korvane {
namespace {

using test::fileResult;

class SearchCoordinatorRefreshTest : public test::SearchCoordinatorFixture {};

TEST_F(SearchCoordinatorRefreshTest, NavigationHoldsRefreshesBackForPointThreeSecondsAndKeepsTheSelectionById) {
    type("al");
    const auto before = shownIDs();
    ASSERT_GE(before.size(), 3u);
    arrowDown();
    arrowDown();
    const auto selected = viewModel().selectedSnippetID();
    ASSERT_EQ(selected, before[2]);

    manual.advance(0.1);
    setSnippets({"alpha", "alpine", "alto", "beta", "@foo-helper", "al-new"});
    coordinator->handleScanRefresh();
    coordinator->rerenderForRegistryChange(context.projectRoot, false, context.activeCategories);
    EXPECT_EQ(shownIDs(), before);
    EXPECT_EQ(coordinator->asyncUpdateEngine().deferredWork.reasons,
              (std::set<std::string>{"fileSearchMerge", "registryRerender", "scanRefresh"}));
    manual.advance(0.15);
    EXPECT_EQ(shownIDs(), before);
    manual.advance(0.06);
    EXPECT_TRUE(contains(shownIDs(), "manual:al-new"));
    EXPECT_EQ(viewModel().selectedSnippetID(), selected);
    // The detail panel follows the restored row, not the first one.
    ASSERT_FALSE(detail->feeds().empty());
    EXPECT_EQ(detail->feeds().back(), "feed:" + *selected);
}

TEST_F(SearchCoordinatorRefreshTest, ABackgroundRefreshNeverMovesTheSelectionOffAMergedFileRow) {
    files->answers["al"] = {fileResult("al-notes.txt")};
    const std::string fileRow = "file:al-notes.txt";
    const struct {
        const char* name;
        bool whileNavigating;
        std::function<void()> refresh;
        std::optional<std::string> added;
    } cases[] = {
        {"scan step", false, [this] { coordinator->handleScanRefresh(); }, {}},
        {"watched file", false,
         [this] {
             setSnippets({"alpha", "alpine", "alto", "beta", "@foo-helper", "alder"});
             coordinator->rerenderForRegistryChange(context.projectRoot, false, context.activeCategories);
         },
         "manual:alder"},
        {"held back while navigating", true, [this] { coordinator->handleScanRefresh(); }, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        coordinator->resetSession();
        coordinator->endSession();
        controller->hide();
        setSnippets({"alpha", "alpine", "alto", "beta", "@foo-helper"});
        manual.advance(1);
        type("al");
        manual.advance(0.06);
        ASSERT_EQ(shownIDs().size(), 4u);
        for (int i = 0; i < 3; ++i) {
            arrowDown();
        }
        ASSERT_EQ(viewModel().selectedSnippetID(), fileRow);
        if (!c.whileNavigating) {
            manual.advance(0.31);
        }

        c.refresh();
        // Neither the refresh nor the file matches merged after it take the row away.
        EXPECT_EQ(viewModel().selectedSnippetID(), fileRow);
        for (int step = 0; step < 8; ++step) {
            manual.advance(0.06);
            EXPECT_EQ(viewModel().selectedSnippetID(), fileRow) << "after " << (step + 1) * 60 << " ms";
        }
        EXPECT_TRUE(contains(shownIDs(), fileRow));
        if (c.added) {
            EXPECT_TRUE(contains(shownIDs(), *c.added));
        }
        EXPECT_EQ(detail->feeds().back(), "feed:" + fileRow);
    }
}

// A refresh with the first (snippet) row selected: the file rows on screen stay at every moment until
// the file query merges them again behind the new answer.
TEST_F(SearchCoordinatorRefreshTest, ARefreshKeepsTheShownFileRowsUntilTheyAreMergedAgain) {
    files->answers["al"] = {fileResult("al-notes.txt")};
    const struct {
        const char* name;
        std::function<void()> refresh;
        std::optional<std::string> added;
    } cases[] = {
        {"scan ended", [this] { coordinator->handleScanRefresh(); }, {}},
        {"registry changed",
         [this] {
             setSnippets({"alpha", "alpine", "alto", "beta", "@foo-helper", "alder"});
             coordinator->rerenderForRegistryChange(context.projectRoot, false, context.activeCategories);
         },
         "manual:alder"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        coordinator->resetSession();
        coordinator->endSession();
        setSnippets({"alpha", "alpine", "alto", "beta", "@foo-helper"});
        manual.advance(1);
        type("al");
        manual.advance(0.06);
        ASSERT_TRUE(contains(shownIDs(), "file:al-notes.txt"));
        const auto selected = viewModel().selectedSnippetID();

        c.refresh();
        for (int step = 0; step < 10; ++step) {
            EXPECT_TRUE(contains(shownIDs(), "file:al-notes.txt")) << "after " << step * 10 << " ms";
            manual.advance(0.01);
        }
        EXPECT_EQ(viewModel().selectedSnippetID(), selected);
        if (c.added) {
            EXPECT_TRUE(contains(shownIDs(), *c.added));
        }
    }
}

TEST_F(SearchCoordinatorRefreshTest, TheFlushKeepsTheEntryTheUserMovedToAfterTheRefreshWasHeldBack) {
    type("al");
    const auto shown = shownIDs();
    ASSERT_GE(shown.size(), 3u);
    arrowDown();
    coordinator->handleScanRefresh(); // held back with the second entry selected
    manual.advance(0.1);
    arrowDown();
    ASSERT_EQ(viewModel().selectedSnippetID(), shown[2]);
    manual.advance(0.4);
    EXPECT_FALSE(coordinator->asyncUpdateEngine().deferredWork.needsRefresh);
    EXPECT_EQ(viewModel().selectedSnippetID(), shown[2]);
}

TEST_F(SearchCoordinatorRefreshTest, AWallClockJumpNeitherFreezesNorFloodsTheIdleAndDuplicateRules) {
    type("al");
    arrowDown();
    coordinator->handleScanRefresh();
    clock.setNow(clock.now() - std::chrono::hours(1)); // a resume or NTP steps the wall clock back
    manual.advance(0.31);
    EXPECT_FALSE(coordinator->asyncUpdateEngine().deferredWork.needsRefresh);

    EXPECT_FALSE(coordinator->shouldSkipDuplicateInput("zz"));
    clock.setNow(clock.now() + std::chrono::hours(3));
    EXPECT_TRUE(coordinator->shouldSkipDuplicateInput("zz"));
    clock.setNow(clock.now() - std::chrono::hours(6));
    EXPECT_TRUE(coordinator->shouldSkipDuplicateInput("zz"));
    manual.advance(0.09);
    EXPECT_FALSE(coordinator->shouldSkipDuplicateInput("zz"));
}

TEST_F(SearchCoordinatorRefreshTest, AKeystrokeBeforeTheFlushDropsTheHeldBackRefresh) {
    coordinator->filePathSource = nullptr;
    type("al");
    arrowDown();
    coordinator->handleScanRefresh();
    type("alp");
    const auto generation = coordinator->searchGeneration();
    manual.advance(1);
    EXPECT_EQ(coordinator->searchGeneration(), generation);
    EXPECT_FALSE(coordinator->asyncUpdateEngine().deferredWork.needsRefresh);
}

TEST_F(SearchCoordinatorRefreshTest, LiteralQueryIsTheSameLiteralInTheSearchTheMergeAndTheRerender) {
    files->answers["@foo"] = {fileResult("at-foo.txt")};
    type("@@foo");
    EXPECT_EQ(shownIDs(), (std::vector<std::string>{"manual:@foo-helper"}));
    manual.advance(0.06);
    EXPECT_EQ(shownIDs(), (std::vector<std::string>{"manual:@foo-helper", "file:at-foo.txt"}));
    coordinator->rerenderForRegistryChange(context.projectRoot, false, context.activeCategories);
    EXPECT_EQ(shownIDs().front(), "manual:@foo-helper");
}

TEST_F(SearchCoordinatorRefreshTest, FileMatchesComeBackAfterARegistryRerender) {
    files->answers["al"] = {fileResult("alpha.txt")};
    type("al");
    manual.advance(0.06);
    ASSERT_TRUE(contains(shownIDs(), "file:alpha.txt"));
    setSnippets({"alpha", "alpine", "alto", "beta", "alps"});
    coordinator->rerenderForRegistryChange(context.projectRoot, false, context.activeCategories);
    manual.advance(0.06);
    EXPECT_TRUE(contains(shownIDs(), "manual:alps"));
    EXPECT_TRUE(contains(shownIDs(), "file:alpha.txt"));
}

TEST_F(SearchCoordinatorRefreshTest, RefreshesDoNothingWhileHiddenOrOutsideTheCurrentRoot) {
    type("al");
    const auto generation = coordinator->searchGeneration();
    coordinator->handleRecentFilesReady(std::string("/p"), "/other");
    coordinator->handleRecentFilesReady(std::string("/p"), "/p"); // an ordinary query shows no recent files
    EXPECT_EQ(coordinator->searchGeneration(), generation);
    manual.advance(0.06);
    controller->hide();
    coordinator->handleScanRefresh();
    coordinator->rerenderForRegistryChange(context.projectRoot, false, context.activeCategories);
    manual.advance(2);
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(coordinator->searchGeneration(), generation);

    type("@f");
    files->loading = true;
    manual.advance(0.01);
    viewModel().setLoadingRecentFiles(true);
    files->recent = {"new.txt"};
    files->answers[""] = {fileResult("new.txt")};
    files->loading = false;
    coordinator->handleRecentFilesReady(std::string("/p"), "/p");
    manual.advance(0.01);
    EXPECT_FALSE(viewModel().isLoadingRecentFiles());
    EXPECT_EQ(shownIDs(), (std::vector<std::string>{"file:new.txt"}));
}

// The project's list made again while the popup stays open (a file made while the user was in another
// project, listed only after the query was typed): the file rows merged behind an ordinary query
// follow the new list, without the list on screen losing its file rows meanwhile, and the row the user
// is on stays selected.
TEST_F(SearchCoordinatorRefreshTest, MergedFileRowsFollowTheListMadeAgainWhileThePopupIsOpen) {
    files->answers["al"] = {fileResult("al-old.txt")};
    type("al");
    manual.advance(0.06);
    const auto before = shownIDs();
    ASSERT_TRUE(contains(before, "file:al-old.txt"));
    ASSERT_FALSE(contains(before, "file:al-new.txt"));
    arrowDown();
    manual.advance(0.31);
    const auto selected = viewModel().selectedSnippetID();

    files->answers["al"] = {fileResult("al-old.txt"), fileResult("al-new.txt")};
    coordinator->handleRecentFilesReady(std::string("/p"), "/p");
    EXPECT_EQ(shownIDs(), before);
    manual.advance(0.06);
    EXPECT_TRUE(contains(shownIDs(), "file:al-old.txt"));
    EXPECT_TRUE(contains(shownIDs(), "file:al-new.txt"));
    EXPECT_EQ(viewModel().selectedSnippetID(), selected);
}

} // namespace
} // namespace korvane
