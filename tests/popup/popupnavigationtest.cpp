#include "popuptestsupport.h"

#include <gtest/gtest.h>

namespace korvane {
namespace {

using test::headerRow;
using test::presentation;
using test::result;
using test::results;
using test::scopeRow;
using test::section;
using test::snippetRow;
using Mode = PopupMode;
using Panel = PopupViewModel::FocusedPanel;
using BrowserPanel = PopupViewModel::BrowserPanel;

class PopupNavigationTest : public test::PopupViewModelTest {
protected:
    void down(int times = 1) {
        for (int i = 0; i < times; ++i) {
            model->moveSelectionDown();
        }
    }
    void up(int times = 1) {
        for (int i = 0; i < times; ++i) {
            model->moveSelectionUp();
        }
    }
};

TEST_F(PopupNavigationTest, PlainResultsWrapAtBothEnds) {
    const struct {
        std::vector<std::string> ids;
        std::vector<int> moves;
        std::vector<std::string> selected;
    } cases[] = {
        {{"a", "b", "c"}, {-1, -1, +1, +1, +1}, {"c", "b", "c", "a", "b"}},
        {{"a", "b"}, {+1, +1, +1}, {"b", "a", "b"}},
        {{"a"}, {+1, -1}, {"a", "a"}},
    };
    for (const auto& c : cases) {
        search(c.ids);
        for (std::size_t i = 0; i < c.moves.size(); ++i) {
            c.moves[i] < 0 ? up() : down();
            EXPECT_EQ(selectedID(), c.selected[i]);
            EXPECT_EQ(model->scrollTargetID(),
                      c.ids.size() > 1 ? std::optional(c.selected[i]) : c.ids.front());
        }
    }
}

TEST_F(PopupNavigationTest, ASingleResultIsNotFedAgain) {
    search({"a"});
    detail->calls.clear();
    down();
    up();
    EXPECT_TRUE(detail->feeds().empty());
}

TEST_F(PopupNavigationTest, MovesInTheEmptyStateDoNothing) {
    searchEmpty(SearchEmptyState::Style::standard);
    detail->calls.clear();
    notifications = 0;
    down();
    up();
    EXPECT_TRUE(detail->calls.empty());
    EXPECT_EQ(notifications, 0);
}

TEST_F(PopupNavigationTest, PresentationRowsSkipHeadersAndScopeRows) {
    struct Case {
        const char* name;
        std::vector<SearchRow> rows;
        std::optional<std::string> initial;
        std::string firstRow;
        std::vector<int> moves;
        std::vector<std::string> rowsAfter;
    };
    const Case cases[] = {
        {"headers between snippets",
         {headerRow("snippets"), snippetRow("A"), headerRow("more"), snippetRow("B")},
         "snippet:A",
         "snippet:A",
         {+1, +1, -1},
         {"snippet:B", "snippet:A", "snippet:B"}},
        {"across into the scope section",
         {headerRow("snippets"), snippetRow("A"), headerRow("scopes"), scopeRow("git"), scopeRow("files")},
         "snippet:A",
         "snippet:A",
         {+1, +1, +1, -1},
         {"scope:git", "scope:files", "snippet:A", "scope:files"}},
        {"initial id names a header",
         {headerRow("snippets"), snippetRow("A"), snippetRow("B")},
         "header:snippets",
         "snippet:A",
         {-1},
         {"snippet:B"}},
        {"initial id missing",
         {headerRow("scopes"), scopeRow("git")},
         "snippet:gone",
         "scope:git",
         {+1, -1},
         {"scope:git", "scope:git"}},
        {"no selectable row",
         {headerRow("a"), headerRow("b")},
         std::nullopt,
         "header:a",
         {+1, -1},
         {"header:a", "header:a"}},
        {"no rows", {}, std::nullopt, "", {+1}, {""}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        present(presentation(c.rows, c.initial));
        EXPECT_EQ(model->selectedSearchRowID().value_or(""), c.firstRow);
        for (std::size_t i = 0; i < c.moves.size(); ++i) {
            c.moves[i] < 0 ? up() : down();
            EXPECT_EQ(model->selectedSearchRowID().value_or(""), c.rowsAfter[i]);
            EXPECT_EQ(model->scrollTargetID().value_or(""),
                      c.rowsAfter[i].empty() ? model->scrollTargetID().value_or("") : c.rowsAfter[i]);
        }
    }
}

TEST_F(PopupNavigationTest, ScopeRowsOpenTheDetailColumnAndSnippetRowsFollowTheList) {
    present(presentation(
        {headerRow("snippets"), snippetRow("A"), snippetRow("B"), headerRow("scopes"), scopeRow("git")}));
    EXPECT_EQ(selectedID(), "A");
    EXPECT_FALSE(model->isDetailColumnVisible());
    down();
    EXPECT_EQ(selectedID(), "B");
    EXPECT_EQ(model->selectedIndex(), 1);
    EXPECT_EQ(model->selectedSnippetID(), "B");
    down();
    EXPECT_EQ(model->selectedSnippet(), nullptr);
    EXPECT_FALSE(model->selectedSnippetID().has_value());
    EXPECT_EQ(model->selectedIndex(), 1);
    EXPECT_TRUE(model->isDetailColumnVisible());
    EXPECT_EQ(model->popupWidth(), 380 + 1 + 270);
    EXPECT_EQ(detail->feeds(), (std::vector<std::string>{"feed:A", "feed:B", "feed:none"}));
}

// Every change of the selected row or of the detail focus asks the window for a new frame, so the
// detail column that a scope row opens is given room.
TEST_F(PopupNavigationTest, SelectionAndFocusChangesReportAPreviewChange) {
    int previews = 0;
    model->onPreviewChanged = [&] { ++previews; };
    present(presentation({headerRow("snippets"), snippetRow("A"), headerRow("scopes"), scopeRow("git")}));
    const int afterShow = previews;
    EXPECT_GE(afterShow, 1);
    down();
    EXPECT_EQ(previews, afterShow + 1);
    EXPECT_TRUE(model->isDetailColumnVisible());
    up();
    EXPECT_EQ(previews, afterShow + 2);

    search({"a", "b"});
    previews = 0;
    down();
    EXPECT_EQ(previews, 1);
    detail->shell = result("b").snippet;
    model->toggleDetailFocus();
    EXPECT_EQ(previews, 2);
    model->toggleDetailFocus();
    EXPECT_EQ(previews, 3);
    detail->lastFocusSetter(true);
    EXPECT_EQ(previews, 4);
    detail->lastFocusSetter(true);
    EXPECT_EQ(previews, 4);

    search({"a"});
    previews = 0;
    down();
    EXPECT_EQ(previews, 0);
}

TEST_F(PopupNavigationTest, RowFloorGrowsWithinASession) {
    const struct {
        const char* step;
        int count;
        bool bare;
        int floor;
    } steps[] = {
        {"first search, 3 results", 3, false, 6},
        {"8 results", 8, false, 8},
        {"2 results keep 8", 2, false, 8},
        {"14 results cap at 10", 14, false, 10},
        {"bare scope", 1, true, 10},
    };
    for (const auto& s : steps) {
        std::vector<std::string> ids;
        for (int i = 0; i < s.count; ++i) {
            ids.push_back("r" + std::to_string(i));
        }
        search(ids, s.bare);
        EXPECT_EQ(model->searchSessionRowFloor(), s.floor) << s.step;
    }
    detail->onReserveDetailSlot(nullptr);
    searchEmpty(SearchEmptyState::Style::compact);
    EXPECT_EQ(model->searchSessionRowFloor(), 0);
    EXPECT_FALSE(model->searchSessionDetailSlotReserved());
    EXPECT_EQ(detail->calls.back(), "feed:none");
    EXPECT_NE(std::find(detail->calls.begin(), detail->calls.end(), "clearPreview"), detail->calls.end());

    model->showBrowser({}, false);
    search({"a", "b"});
    EXPECT_EQ(model->searchSessionRowFloor(), 6);
    present(presentation({headerRow("snippets"), snippetRow("a"), snippetRow("b"), snippetRow("c"),
                          snippetRow("d"), snippetRow("e"), snippetRow("f"), snippetRow("g")}));
    EXPECT_EQ(model->searchSessionRowFloor(), 8);
}

TEST_F(PopupNavigationTest, BareScopeShowsTheDetailShell) {
    detail->preview = result("old").snippet;
    model->setFocusedPanel(Panel::detail);
    search({"a", "b"}, true);
    EXPECT_EQ(detail->preview, nullptr);
    EXPECT_EQ(model->focusedPanel(), Panel::list);
    EXPECT_TRUE(detail->feeds().empty());
    EXPECT_EQ(detail->calls.back(), "idle:2:0");
    EXPECT_NE(std::find(detail->calls.begin(), detail->calls.end(), "shell:2:0"), detail->calls.end());
}

TEST_F(PopupNavigationTest, ModeChangesAnimateExceptHelp) {
    const struct {
        const char* step;
        std::function<void(test::PopupHarness&)> run;
        Mode mode;
        bool animate;
    } steps[] = {
        {"browser to search", [](test::PopupHarness& t) { t.search({"a"}); }, Mode::search, true},
        {"search to search", [](test::PopupHarness& t) { t.search({"b"}); }, Mode::search, false},
        {"search to browser", [](test::PopupHarness& t) { t.model->showBrowser({}, false); }, Mode::browser,
         true},
        {"browser to help", [](test::PopupHarness& t) { t.model->showHelp(); }, Mode::help, false},
        {"help to search by presentation",
         [](test::PopupHarness& t) { t.present(presentation({snippetRow("a")})); }, Mode::search, true},
        {"search to help", [](test::PopupHarness& t) { t.model->showHelp(); }, Mode::help, false},
        {"help exits to search", [](test::PopupHarness& t) { t.model->exitHelpMode(); }, Mode::search, false},
        {"help to browser",
         [](test::PopupHarness& t) {
             t.model->showHelp();
             t.model->showBrowser({}, false);
         },
         Mode::browser, true},
    };
    for (const auto& s : steps) {
        model->setAnimateLayoutChange(false);
        s.run(*this);
        EXPECT_EQ(model->mode(), s.mode) << s.step;
        EXPECT_EQ(model->animateLayoutChange(), s.animate) << s.step;
    }
}

TEST_F(PopupNavigationTest, BrowserSelectionIsRestoredAfterASearch) {
    const std::vector<SnippetSection> three{section("one", {"a"}), section("two", {"b"}),
                                            section("three", {"c", "d"})};
    model->showBrowser(three, false);
    model->moveBrowserFocus(false);
    down(2);
    model->moveBrowserFocus(true);
    down();
    EXPECT_EQ(selectedID(), "d");
    EXPECT_EQ(model->selectedIndex(), 3);
    model->moveBrowserFocus(false);
    search({"x"});
    EXPECT_EQ(model->preservedCategoryIndex(), 2);
    model->moveBrowserFocus(true);
    model->showBrowser(three, false);
    EXPECT_EQ(model->selectedCategoryIndex(), 2);
    EXPECT_EQ(model->selectedItemIndexInCategory(), 0);
    EXPECT_EQ(model->browserFocusedPanel(), BrowserPanel::sidebar);
    EXPECT_EQ(selectedID(), "c");
    EXPECT_EQ(model->selectedIndex(), 2);

    search({"x"});
    model->showBrowser({section("empty", {}), section("two", {"b"})}, false);
    EXPECT_EQ(model->selectedCategoryIndex(), 1);
    EXPECT_EQ(selectedID(), "b");
    EXPECT_EQ(model->selectedIndex(), 0);
}

TEST_F(PopupNavigationTest, BrowserCategoriesAndItemsWrap) {
    model->showBrowser({section("one", {"a", "b", "c"}), section("two", {}), section("three", {"d"})}, false);
    const struct {
        bool items;
        int move;
        int category;
        int item;
        int flat;
    } steps[] = {
        {true, -1, 0, 2, 2}, {true, +1, 0, 0, 0},  {false, -1, 2, 0, 3}, {false, -1, 1, 0, 3},
        {true, +1, 1, 0, 3}, {false, +1, 2, 0, 3}, {false, +1, 0, 0, 0},
    };
    for (const auto& s : steps) {
        model->moveBrowserFocus(s.items);
        s.move < 0 ? up() : down();
        EXPECT_EQ(model->selectedCategoryIndex(), s.category);
        EXPECT_EQ(model->selectedItemIndexInCategory(), s.item);
        EXPECT_EQ(model->selectedIndex(), s.flat);
    }
}

TEST_F(PopupNavigationTest, BrowserItemExpandsAfterTheDebounce) {
    model->showBrowser({section("one", {"a", "b"})}, false);
    EXPECT_EQ(model->expandedSnippet(), nullptr);
    scheduler.advance(0.1);
    down();
    scheduler.advance(0.1);
    EXPECT_EQ(model->expandedSnippet(), nullptr);
    scheduler.advance(0.06);
    ASSERT_NE(model->expandedSnippet(), nullptr);
    EXPECT_EQ(model->expandedSnippet()->id, "b");
    down();
    EXPECT_EQ(model->expandedSnippet()->id, "b");
    search({"x"});
    EXPECT_EQ(model->expandedSnippet(), nullptr);
    scheduler.advance(1);
    EXPECT_EQ(model->expandedSnippet(), nullptr);
}

TEST_F(PopupNavigationTest, DetailFocusAndScrolling) {
    search({"a", "b"});
    model->toggleDetailFocus();
    EXPECT_EQ(model->focusedPanel(), Panel::list);

    detail->preview = result("a").snippet;
    model->setDetailScrollPosition(5);
    model->toggleDetailFocus();
    EXPECT_EQ(model->focusedPanel(), Panel::detail);
    EXPECT_EQ(model->detailScrollPosition(), 0);
    model->setDetailScrollMax(2);
    const int expected[] = {1, 2, 2, 2};
    for (int position : expected) {
        down();
        EXPECT_EQ(model->detailScrollPosition(), position);
    }
    EXPECT_EQ(selectedID(), "a");
    up(5);
    EXPECT_EQ(model->detailScrollPosition(), 0);
    model->toggleDetailFocus();
    EXPECT_EQ(model->focusedPanel(), Panel::list);
    model->setDetailScrollMax(-1);
    EXPECT_EQ(model->detailScrollMax(), 0);
}

TEST_F(PopupNavigationTest, HelpScrollsWithinItsLines) {
    model->showHelp();
    const int last = static_cast<int>(ScopeRegistry::builtInEntries().size()) + 11;
    model->scrollHelpUp();
    EXPECT_EQ(model->helpScrollPosition(), 0);
    for (int i = 0; i < last + 5; ++i) {
        model->scrollHelpDown();
    }
    EXPECT_EQ(model->helpScrollPosition(), last);
    EXPECT_EQ(last, 24);
    int layouts = 0;
    model->onLayoutChanged = [&] { ++layouts; };
    model->exitHelpMode();
    EXPECT_EQ(model->mode(), Mode::search);
    EXPECT_EQ(model->helpScrollPosition(), 0);
    EXPECT_EQ(layouts, 1);
    EXPECT_EQ(detail->calls.back(), "cancelScheduledPreviews");
}

// A selection restored by id after the list was rebuilt feeds the detail panel with the restored
// snippet, so the panel does not keep showing the first row under a highlighted later row.
TEST_F(PopupNavigationTest, RestoringASelectionFeedsTheDetailPanel) {
    search({"a", "b", "c"});
    detail->calls.clear();
    model->selectSnippet("c");
    EXPECT_EQ(selectedID(), "c");
    EXPECT_EQ(model->scrollTargetID(), "c");
    EXPECT_EQ(detail->feeds(), (std::vector<std::string>{"feed:c"}));

    present(presentation({headerRow("snippets"), snippetRow("a"), snippetRow("b")}));
    detail->calls.clear();
    model->selectSnippet("b");
    EXPECT_EQ(model->selectedSearchRowID(), "snippet:b");
    EXPECT_EQ(model->selectedIndex(), 1);
    EXPECT_EQ(detail->feeds(), (std::vector<std::string>{"feed:b"}));

    detail->calls.clear();
    model->selectSnippet("b");
    EXPECT_TRUE(detail->feeds().empty());
}

TEST_F(PopupNavigationTest, ResetReturnsToAFreshBrowser) {
    model->setProjectRoot(std::string("/p"));
    model->setTriggerText("//");
    model->showBrowser({section("one", {"a"}), section("two", {"b"})}, false);
    model->moveBrowserFocus(false);
    down();
    search({"x"});
    model->setCurrentQuery("x");
    model->setRefreshing(true);
    model->showHelp();
    model->scrollHelpDown();
    model->cacheLabel(LabelCacheKey{"x", {}, false, 160}, std::make_shared<PopupViewModel::CachedLabel>());
    int layouts = 0;
    model->onLayoutChanged = [&] { ++layouts; };

    model->reset();
    EXPECT_EQ(layouts, 0);
    EXPECT_EQ(model->mode(), Mode::browser);
    EXPECT_EQ(model->browserFocusedPanel(), BrowserPanel::items);
    EXPECT_EQ(model->selectedCategoryIndex(), 0);
    EXPECT_EQ(model->preservedCategoryIndex(), 0);
    EXPECT_FALSE(model->isRefreshing());
    EXPECT_FALSE(model->isHelpMode());
    EXPECT_EQ(model->currentQuery(), "");
    EXPECT_TRUE(model->labelCache().empty());
    EXPECT_TRUE(model->sections().empty());
    EXPECT_FALSE(model->animateLayoutChange());
    EXPECT_EQ(model->helpScrollPosition(), 1);
    EXPECT_EQ(model->projectRoot(), "/p");
    EXPECT_EQ(model->triggerText(), "//");
    EXPECT_EQ(detail->calls.back(), "resetNavigationBurst");

    model->showBrowser({section("empty", {}), section("two", {"b"})}, false);
    EXPECT_EQ(model->selectedCategoryIndex(), 1);
}

} // namespace
} // namespace korvane
