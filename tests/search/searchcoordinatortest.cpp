#include "search/searchcoordinator.h"

#include "base/clock.h"
#include "platform/fake/fakecaretlocator.h"
#include "platform/fake/fakefocusedwindowframe.h"
#include "platform/fake/fakepointerlocation.h"
#include "platform/fake/fakepopupsurfacewindow.h"
#include "platform/fake/fakeprocessrunner.h"
#include "platform/fake/fakescreenlist.h"
#include "platform/fake/manualscheduler.h"
#include "popup/popupsearchdisplay.h"
#include "popup/recordingdetailcontroller.h"
#include "providers/customprovider.h"
#include "providers/shellcommandrunner.h"
#include "search/scanpipeline.h"
#include "searchtestsupport.h"
#include "support/logcapture.h"

#include <gtest/gtest.h>
#include <thread>

namespace korvane {
namespace {

using test::fileResult;
using test::ids;
using test::manualSnippet;
using Context = SearchCoordinator::LiveSearchContext;

Snippet snippetNamed(const std::string& key, std::optional<std::string> url = std::nullopt) {
    Snippet snippet = *manualSnippet(key);
    snippet.url = std::move(url);
    return snippet;
}

class SearchCoordinatorTest : public ::testing::Test {
protected:
    SearchCoordinatorTest() {
        manual.attachClock(&clock);
        screens.list = {{{0, 0, 1440, 900}, {0, 0, 1440, 875}}};
        controller = PopupController::create(
            manual, {screens, caret, focusedWindow, pointer},
            [this](std::shared_ptr<PopupViewModel>) {
                auto made = std::make_unique<FakePopupSurfaceWindow>();
                window = made.get();
                return made;
            },
            [this](const DetailPreviewTiming&) {
                auto made = std::make_shared<test::RecordingDetailController>();
                detail = made.get();
                return made;
            });
        setSnippets({"alpha", "alpine", "alto", "beta", "@foo-helper"});
        coordinator = SearchCoordinator::create(registry, std::make_shared<PopupSearchDisplay>(controller),
                                                staged, clock);
        files = std::make_shared<test::FakeFileSource>();
        coordinator->filePathSource = files;
        coordinator->liveScopeProviders[SnippetSource::filePath()] = files;
        coordinator->onDismissNeeded = [this] {
            ++dismissals;
            coordinator->resetSession();
            controller->hide();
        };
        coordinator->contextProvider = [this] { return std::optional<Context>(context); };
        context.projectRoot = "/p";
        context.activeCategories = defaultActiveCategories();
    }

    void setSnippets(std::initializer_list<const char*> keys, std::vector<Snippet> extra = {}) {
        for (const auto* key : keys) {
            extra.push_back(snippetNamed(key));
        }
        registry.updateSnippets(SnippetSource::manual(), std::move(extra));
    }
    void type(const std::string& query) {
        if (!coordinator->shouldSkipDuplicateInput(query)) {
            coordinator->performSearch(query, SearchSource::input, context);
        }
        manual.runUntilIdle();
    }
    // What the subsystem 9 coordinator does for an arrow key.
    void arrowDown() {
        viewModel().moveSelectionDown();
        auto& engine = coordinator->asyncUpdateEngine();
        engine.lastNavigationTime = engine.currentTime();
        std::weak_ptr<SearchCoordinator> weak = coordinator;
        engine.scheduleDeferredIdle([weak] {
            if (auto c = weak.lock()) {
                c->flushDeferredWork();
            }
        });
    }
    PopupViewModel& viewModel() { return controller->viewModel(); }
    std::vector<std::string> shownIDs() {
        const auto& presentation = viewModel().searchPresentation();
        return presentation ? ids(presentation->snippetResults) : ids(viewModel().viewState().resultList());
    }
    std::optional<std::string> shownMessage() {
        const auto& presentation = viewModel().searchPresentation();
        if (presentation) {
            return presentation->message;
        }
        const auto* empty = viewModel().viewState().emptyState();
        return empty ? std::optional<std::string>(empty->message) : std::nullopt;
    }
    bool contains(const std::vector<std::string>& list, const std::string& id) {
        return std::find(list.begin(), list.end(), id) != list.end();
    }

    FakeClock clock;
    ManualScheduler manual;
    test::StagedScheduler staged{manual};
    FakeScreenList screens;
    FakeCaretLocator caret;
    FakeFocusedWindowFrame focusedWindow;
    FakePointerLocation pointer;
    FakePopupSurfaceWindow* window = nullptr;
    test::RecordingDetailController* detail = nullptr;
    std::shared_ptr<PopupController> controller;
    SnippetRegistry registry{clock};
    std::shared_ptr<SearchCoordinator> coordinator;
    std::shared_ptr<test::FakeFileSource> files;
    Context context;
    int dismissals = 0;
};

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

TEST_F(SearchCoordinatorTest, NavigationHoldsRefreshesBackForPointThreeSecondsAndKeepsTheSelectionById) {
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
    // Released at 0.3 s, the refresh shows its answer once the file rows are merged behind it.
    manual.advance(0.12);
    EXPECT_TRUE(contains(shownIDs(), "manual:al-new"));
    EXPECT_EQ(viewModel().selectedSnippetID(), selected);
    // The detail panel follows the restored row, not the first one.
    ASSERT_FALSE(detail->feeds().empty());
    EXPECT_EQ(detail->feeds().back(), "feed:" + *selected);
}

TEST_F(SearchCoordinatorTest, ABackgroundRefreshNeverMovesTheSelectionOffAMergedFileRow) {
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
TEST_F(SearchCoordinatorTest, ARefreshKeepsTheShownFileRowsUntilTheyAreMergedAgain) {
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

TEST_F(SearchCoordinatorTest, TheFlushKeepsTheEntryTheUserMovedToAfterTheRefreshWasHeldBack) {
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

TEST_F(SearchCoordinatorTest, AWallClockJumpNeitherFreezesNorFloodsTheIdleAndDuplicateRules) {
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

TEST_F(SearchCoordinatorTest, AKeystrokeBeforeTheFlushDropsTheHeldBackRefresh) {
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

TEST_F(SearchCoordinatorTest, LiteralQueryIsTheSameLiteralInTheSearchTheMergeAndTheRerender) {
    files->answers["@foo"] = {fileResult("at-foo.txt")};
    type("@@foo");
    EXPECT_EQ(shownIDs(), (std::vector<std::string>{"manual:@foo-helper"}));
    manual.advance(0.06);
    EXPECT_EQ(shownIDs(), (std::vector<std::string>{"manual:@foo-helper", "file:at-foo.txt"}));
    coordinator->rerenderForRegistryChange(context.projectRoot, false, context.activeCategories);
    EXPECT_EQ(shownIDs().front(), "manual:@foo-helper");
}

TEST_F(SearchCoordinatorTest, FileMatchesComeBackAfterARegistryRerender) {
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

TEST_F(SearchCoordinatorTest, RefreshesDoNothingWhileHiddenOrOutsideTheCurrentRoot) {
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
TEST_F(SearchCoordinatorTest, MergedFileRowsFollowTheListMadeAgainWhileThePopupIsOpen) {
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
