#include "popup/popuptheme.h"
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

class PopupStateTest : public test::PopupViewModelTest {};

TEST_F(PopupStateTest, StartsInBrowserModeWithItsDefaults) {
    EXPECT_EQ(model->mode(), Mode::browser);
    EXPECT_EQ(model->triggerText(), ";;");
    EXPECT_EQ(model->currentQuery(), "");
    EXPECT_EQ(model->detailPanelSide(), PopupViewModel::DetailPanelSide::right);
    EXPECT_EQ(model->browserFocusedPanel(), PopupViewModel::BrowserPanel::items);
    EXPECT_EQ(model->focusedPanel(), Panel::list);
    EXPECT_EQ(model->themeConfig(), PopupTheme::defaultTheme());
    EXPECT_EQ(model->detailPreviewTiming(), DetailPreviewTiming::popup());
    EXPECT_EQ(model->statusContextText(), "type to search");
    EXPECT_EQ(model->selectedSnippet(), nullptr);
    EXPECT_EQ(model->scopeRegistry().manifest().entries.size(), ScopeRegistry::builtInEntries().size());
}

TEST_F(PopupStateTest, WorksWithTheControllerThatDoesNothing) {
    auto plain = PopupViewModel::create(DetailPreviewTiming::popup(), scheduler);
    plain->showSearchResults(results({"a", "b"}), std::nullopt, std::nullopt, false, false, false, false,
                             std::nullopt, SearchEmptyState::Style::standard);
    plain->moveSelectionDown();
    plain->toggleDetailFocus();
    EXPECT_EQ(plain->selectedSnippet()->id, "b");
    EXPECT_EQ(plain->focusedPanel(), Panel::list);
    EXPECT_FALSE(plain->previewContent("b").has_value());
}

// Width and height of the popup by mode, for row height 32 unless the case sets another theme.
TEST_F(PopupStateTest, SizeRules) {
    struct Case {
        const char* name;
        std::function<void(PopupViewModel&, test::PopupHarness&)> setUp;
        double width;
        double height;
    };
    auto searchIDs = [](int count) {
        std::vector<std::string> ids;
        for (int i = 0; i < count; ++i) {
            ids.push_back("r" + std::to_string(i));
        }
        return ids;
    };
    auto browse = [&](std::vector<SnippetSection> sections) {
        return [sections](PopupViewModel& m, test::PopupHarness&) { m.showBrowser(sections, false); };
    };
    std::vector<SnippetSection> fourteen{section("one", searchIDs(14))};
    std::vector<SnippetSection> small{section("one", {"a", "b"})};
    std::vector<SnippetSection> eight;
    for (int i = 0; i < 8; ++i) {
        eight.push_back(section("c" + std::to_string(i), {}));
    }
    SnippetSection helpOnly("help", "help", {});
    helpOnly.helpText = "type a path";
    SnippetSection header = section("project", searchIDs(20));
    header.isProjectHeader = true;

    const Case cases[] = {
        {"search, 3 results: rows floored at 6",
         [&](PopupViewModel&, test::PopupHarness& t) { t.search(searchIDs(3)); }, 380, 265},
        {"search, 14 results: at most 10 rows",
         [&](PopupViewModel&, test::PopupHarness& t) { t.search(searchIDs(14)); }, 380,
         32 * 10 + 12 + 36 + 25},
        {"search, compact empty state: no floor, no least height",
         [](PopupViewModel&, test::PopupHarness& t) { t.searchEmpty(SearchEmptyState::Style::compact); }, 380,
         73},
        {"search, standard empty state keeps 6 rows",
         [](PopupViewModel&, test::PopupHarness& t) { t.searchEmpty(SearchEmptyState::Style::standard); },
         380, 265},
        {"search while refreshing adds a header row",
         [&](PopupViewModel& m, test::PopupHarness& t) {
             t.search(searchIDs(3));
             m.setRefreshing(true);
         },
         380, 265 + 22},
        {"search, scope row selected: detail column and at least 120",
         [](PopupViewModel&, test::PopupHarness& t) {
             t.present(presentation({headerRow("scopes"), scopeRow("git")}));
         },
         380 + 1 + 270, 32 * 6 + 12 + 36 + 25},
        {"search, detail reserved for a file: 220 at least, column shown",
         [](PopupViewModel& m, test::PopupHarness& t) {
             m.showSearchResults({}, std::nullopt, std::nullopt, false, false, false, false,
                                 std::string("none"), SearchEmptyState::Style::compact);
             t.detail->onReserveDetailSlot(
                 result("f", SnippetSource::filePath(), {{"filePath", "a"}}).snippet);
         },
         380 + 1 + 270, 220},
        {"search, detail column with theme widths",
         [](PopupViewModel& m, test::PopupHarness& t) {
             ThemeConfig theme;
             theme.popupWidth = 400;
             m.setThemeConfig(theme);
             t.search({"a"});
             t.detail->onReserveDetailSlot(nullptr);
         },
         671, 265},
        {"browser, one category of 14", browse(fourteen), 441, 357},
        {"browser, 2 items: at least 6 rows", browse(small), 441, 32 * 6 + 37},
        {"browser, 8 empty categories: rows by category count", browse(eight), 441, 32 * 8 + 37},
        {"browser, a help text counts as one item", browse({helpOnly}), 441, 32 * 6 + 37},
        {"browser, project headers are not categories", browse({header, section("one", {"a"})}), 441,
         32 * 6 + 37},
        {"help", [](PopupViewModel& m, test::PopupHarness&) { m.showHelp(); }, 380, 450},
        {"help with a theme width and row height",
         [](PopupViewModel& m, test::PopupHarness&) {
             ThemeConfig theme;
             theme.popupWidth = 500;
             theme.rowHeight = 40;
             m.setThemeConfig(theme);
             m.showHelp();
         },
         500, 450},
        {"search with row height 24",
         [&](PopupViewModel& m, test::PopupHarness& t) {
             ThemeConfig theme;
             theme.rowHeight = 24;
             m.setThemeConfig(theme);
             t.search(searchIDs(3));
         },
         380, 24 * 6 + 12 + 36 + 25},
    };
    for (const auto& c : cases) {
        test::PopupHarness fixture;
        c.setUp(*fixture.model, fixture);
        EXPECT_EQ(fixture.model->popupWidth(), c.width) << c.name;
        EXPECT_EQ(fixture.model->popupHeight(), c.height) << c.name;
    }
}

TEST_F(PopupStateTest, SessionFloorKeepsTheSearchListFromShrinking) {
    search({"a", "b", "c", "d", "e", "f", "g", "h"});
    EXPECT_EQ(model->popupHeight(), 32 * 8 + 12 + 36 + 25);
    search({"a", "b"});
    EXPECT_EQ(model->searchSessionRowFloor(), 8);
    EXPECT_EQ(model->popupHeight(), 32 * 8 + 12 + 36 + 25);
}

TEST_F(PopupStateTest, StatusTextInEachState) {
    EXPECT_EQ(model->statusContextText(), "type to search");
    search({"a"});
    EXPECT_EQ(model->statusContextText(), "1 result");
    search({"a", "b", "c", "d", "e", "f", "g", "h", "i", "j", "k", "l"});
    EXPECT_EQ(model->statusContextText(), "12 results");
    searchEmpty(SearchEmptyState::Style::standard);
    EXPECT_EQ(model->statusContextText(), "0 results");
    present(presentation({headerRow("snippets"), snippetRow("a"), headerRow("scopes"), scopeRow("git")}));
    EXPECT_EQ(model->statusContextText(), "2 results");
    model->setRefreshing(true);
    EXPECT_EQ(model->statusContextText(), "Refreshing…");
    model->showHelp();
    EXPECT_EQ(model->statusContextText(), "Refreshing…");
    model->setRefreshing(false);
    EXPECT_EQ(model->statusContextText(), "");
}

TEST_F(PopupStateTest, NotifiesOnlyOnRealChanges) {
    search({"a", "b"});
    auto ranged = results({"a", "b"});
    ranged[0].matchRanges.push_back(TextRange{0, 1});
    notifications = 0;
    model->setViewState(SearchViewState::results(ranged));
    EXPECT_EQ(notifications, 0);
    EXPECT_EQ(model->displayableResults()[0].matchRanges.size(), 1u);
    model->setViewState(SearchViewState::results(results({"b", "a"})));
    EXPECT_EQ(notifications, 1);
    model->setCurrentQuery("");
    model->setTriggerText(";;");
    EXPECT_EQ(notifications, 1);
    model->setCurrentQuery("x");
    EXPECT_EQ(notifications, 2);
}

TEST_F(PopupStateTest, ASearchUpdateIsOneChangeWithOneFrameRequest) {
    int frames = 0;
    model->onLayoutChanged = [&] { ++frames; };
    model->onPreviewChanged = [&] { ++frames; };
    model->showHelp();
    model->setLoadingRecentFiles(true);
    notifications = 0;
    frames = 0;

    SearchUpdate update;
    update.query = "al";
    update.exitHelpMode = true;
    update.loadingRecentFiles = false;
    update.projectRoot = "/p";
    update.content = SearchUpdate::Results{results({"a", "b", "c"}), std::nullopt, {}};
    update.selectSnippetID = "c";
    model->apply(std::move(update));

    EXPECT_EQ(notifications, 1);
    EXPECT_EQ(frames, 2); // one layout and one preview request, each coalesced by the controller
    EXPECT_EQ(model->mode(), PopupMode::search);
    EXPECT_FALSE(model->isHelpMode());
    EXPECT_FALSE(model->isLoadingRecentFiles());
    EXPECT_EQ(model->currentQuery(), "al");
    EXPECT_EQ(model->projectRoot(), "/p");
    EXPECT_EQ(selectedID(), "c");
    EXPECT_EQ(detail->feeds().back(), "feed:c");

    // An update without content changes only what it carries.
    notifications = 0;
    SearchUpdate query;
    query.query = "alp";
    model->apply(std::move(query));
    EXPECT_EQ(notifications, 1);
    EXPECT_EQ(selectedID(), "c");
}

TEST_F(PopupStateTest, OnlyADifferentThemeEmptiesTheLabelCache) {
    const LabelCacheKey key{"a", {}, false, LabelCacheKey::quantizeFontSize(model->themeConfig().fontSize)};
    model->cacheLabel(key, std::make_shared<PopupViewModel::CachedLabel>());
    notifications = 0;
    model->setThemeConfig(PopupTheme::defaultTheme());
    EXPECT_NE(model->cachedLabel(key), nullptr);
    EXPECT_EQ(notifications, 0);
    ThemeConfig bigger = model->themeConfig();
    bigger.fontSize = 1e300;
    model->setThemeConfig(bigger);
    EXPECT_EQ(model->cachedLabel(key), nullptr);
    EXPECT_GE(notifications, 1);
    EXPECT_EQ(model->themeConfig().fontSize, 1e300);
}

TEST_F(PopupStateTest, SelectingAnUnknownIDChangesNothing) {
    const auto browse = std::vector<SnippetSection>{section("one", {"a", "b"}), section("two", {"c"})};
    model->showBrowser(browse, false);
    model->moveSelectionDown();
    for (int round = 0; round < 3; ++round) {
        const int category = model->selectedCategoryIndex();
        const int item = model->selectedItemIndexInCategory();
        const int index = model->selectedIndex();
        const int row = model->selectedSearchRowIndex();
        const auto target = model->scrollTargetID();
        notifications = 0;
        model->selectSnippet("nowhere");
        EXPECT_EQ(notifications, 0);
        EXPECT_EQ(model->selectedCategoryIndex(), category);
        EXPECT_EQ(model->selectedItemIndexInCategory(), item);
        EXPECT_EQ(model->selectedIndex(), index);
        EXPECT_EQ(model->selectedSearchRowIndex(), row);
        EXPECT_EQ(model->scrollTargetID(), target);
        if (round == 0) {
            search({"a", "b"});
            model->moveSelectionDown();
        } else {
            present(presentation({headerRow("snippets"), snippetRow("a"), snippetRow("b")}));
        }
    }
}

TEST_F(PopupStateTest, SelectingByIDInTheBrowserSetsCategoryItemAndExpansion) {
    model->showBrowser({section("one", {"a", "b"}), section("two", {"c", "d"})}, false);
    scheduler.advance(1);
    model->selectSnippet("d");
    EXPECT_EQ(model->selectedCategoryIndex(), 1);
    EXPECT_EQ(model->selectedItemIndexInCategory(), 1);
    EXPECT_EQ(model->selectedIndex(), 3);
    EXPECT_EQ(model->scrollTargetID(), "d");
    EXPECT_EQ(model->expandedSnippet()->id, "a");
    scheduler.advance(0.149);
    EXPECT_EQ(model->expandedSnippet()->id, "a");
    scheduler.advance(0.002);
    EXPECT_EQ(model->expandedSnippet()->id, "d");
}

TEST_F(PopupStateTest, DetailReservationOnlyRaisesTheLeastHeight) {
    search({"a"});
    int layouts = 0;
    model->onLayoutChanged = [&] { ++layouts; };
    detail->onReserveDetailSlot(result("f", SnippetSource::filePath(), {{"filePath", "/p/f"}}).snippet);
    EXPECT_TRUE(model->searchSessionDetailSlotReserved());
    EXPECT_EQ(model->sessionDetailMinHeight(), 220);
    EXPECT_EQ(layouts, 1);
    detail->onReserveDetailSlot(result("m").snippet);
    detail->onReserveDetailSlot(nullptr);
    EXPECT_EQ(model->sessionDetailMinHeight(), 220);
    EXPECT_EQ(layouts, 1);
    EXPECT_TRUE(model->isDetailColumnVisible());
    search({"a", "b"});
    EXPECT_TRUE(model->searchSessionDetailSlotReserved());
    model->showBrowser({}, false);
    EXPECT_FALSE(model->searchSessionDetailSlotReserved());
    EXPECT_EQ(model->sessionDetailMinHeight(), 0);
    EXPECT_FALSE(model->isDetailColumnVisible());
}

TEST_F(PopupStateTest, DetailCallbacksReadTheModelAndLetGoOfIt) {
    model->setProjectRoot(std::string("/p"));
    EXPECT_EQ(detail->projectRoot(), "/p");
    const auto a = result("a").snippet;
    EXPECT_FALSE(detail->shouldCommitPending(*a));
    model->showBrowser({section("one", {"a"})}, false);
    EXPECT_FALSE(detail->shouldCommitPending(*a));
    search({"a", "b"});
    EXPECT_TRUE(detail->shouldCommitPending(*a));
    EXPECT_FALSE(detail->shouldCommitPending(*result("b").snippet));
    model->showHelp();
    EXPECT_FALSE(detail->shouldCommitPending(*a));

    std::weak_ptr<PopupViewModel> weak = model;
    model->showBrowser({section("one", {"a", "b"})}, false);
    model.reset();
    EXPECT_TRUE(weak.expired());
    scheduler.advance(1);
}

TEST_F(PopupStateTest, ReleasingTheModelCancelsTheDetailTasks) {
    std::vector<std::string>* calls = nullptr;
    auto controller = std::make_shared<test::RecordingDetailController>();
    calls = &controller->calls;
    {
        auto owned = PopupViewModel::create(DetailPreviewTiming::popup(), scheduler,
                                            [controller](const DetailPreviewTiming&) { return controller; });
        owned->showBrowser({section("one", {"a"})}, false);
    }
    EXPECT_EQ(calls->back(), "cancelAllTasks");
    EXPECT_FALSE(controller->projectRoot().has_value());
    EXPECT_FALSE(controller->shouldCommitPending(Snippet{}));
    controller->onReserveDetailSlot(nullptr);
    controller->onLayoutChanged();
    scheduler.advance(1);
}

TEST_F(PopupStateTest, PreviewContentBelongsToItsSnippet) {
    detail->content = PreviewContent::text("hello");
    detail->contentID = "a";
    ASSERT_TRUE(model->previewContent("a").has_value());
    EXPECT_EQ(std::get<PreviewContent::Text>(model->previewContent("a")->value()).text, "hello");
    EXPECT_FALSE(model->previewContent("b").has_value());
}

TEST_F(PopupStateTest, CategoriesAndTheirItems) {
    SnippetSection files = section("files", {"f1"});
    files.totalCount = 40;
    files.scopeHint = "@files";
    SnippetSection empty("docs", "Docs", {SnippetSource::aiDoc()});
    empty.helpText = "No documents";
    SnippetSection footer = section("footer", {"z"});
    footer.isFooter = true;
    model->showBrowser({footer, files, empty}, false);
    const auto categories = model->categories();
    ASSERT_EQ(categories.size(), 2u);
    EXPECT_EQ(categories[0].id, "files");
    EXPECT_EQ(categories[0].count, 40u);
    EXPECT_EQ(categories[0].scopeAlias, "@files");
    EXPECT_EQ(categories[1].name, "Docs");
    EXPECT_EQ(categories[1].count, 0u);
    EXPECT_EQ(model->selectedCategoryItems().size(), 1u);
    EXPECT_EQ(model->selectedSnippet()->id, "f1");
    EXPECT_EQ(model->selectedIndex(), 0);
    EXPECT_EQ(model->allResults().size(), 2u);
    model->moveBrowserFocus(false);
    model->moveSelectionDown();
    EXPECT_TRUE(model->selectedCategoryItems().empty());
    EXPECT_EQ(model->selectedCategoryHelpText(), "No documents");
    EXPECT_EQ(model->selectedSnippet(), nullptr);
    model->showBrowser({footer, files, section("docs", {"d1"})}, false);
    EXPECT_EQ(model->selectedCategoryIndex(), 1);
    EXPECT_EQ(model->selectedSnippet()->id, "d1");
}

Snippet snippetOf(SnippetSource source, std::string expansion, std::optional<std::string> description,
                  std::map<std::string, std::string> metadata = {}) {
    Snippet snippet;
    snippet.id = "s";
    snippet.source = std::move(source);
    snippet.expansion = std::move(expansion);
    snippet.description = std::move(description);
    if (!metadata.empty()) {
        snippet.metadata = std::move(metadata);
    }
    return snippet;
}

std::string repeated(const std::string& unit, int count) {
    std::string text;
    for (int i = 0; i < count; ++i) {
        text += unit;
    }
    return text;
}

TEST_F(PopupStateTest, ExpandedDetailTextBySource) {
    // "e" with a combining acute accent: one character of three bytes.
    const std::string accented = "e\xCC\x81";
    const std::string family = "\xF0\x9F\x91\xA8\xE2\x80\x8D\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x91\xA7";
    const struct {
        const char* name;
        Snippet snippet;
        std::optional<std::string> text;
    } cases[] = {
        {"manual, short", snippetOf(SnippetSource::manual(), "hello", "d"), "hello"},
        {"manual, empty expansion", snippetOf(SnippetSource::manual(), "", "d"), "d"},
        {"manual, empty expansion, no description", snippetOf(SnippetSource::manual(), "", std::nullopt),
         std::nullopt},
        {"manual, exactly 120", snippetOf(SnippetSource::manual(), repeated("a", 120), std::nullopt),
         repeated("a", 120)},
        {"manual, 121", snippetOf(SnippetSource::manual(), repeated("a", 121), std::nullopt),
         repeated("a", 120) + "…"},
        {"manual, cut between combined characters",
         snippetOf(SnippetSource::manual(), repeated(accented, 121), std::nullopt),
         repeated(accented, 120) + "…"},
        {"manual, emoji sequences stay whole",
         snippetOf(SnippetSource::manual(), repeated(family, 130), std::nullopt),
         repeated(family, 120) + "…"},
        {"manual, CRLF is one character",
         snippetOf(SnippetSource::manual(), repeated("\r\n", 120), std::nullopt), repeated("\r\n", 120)},
        {"skill, two lines of three", snippetOf(SnippetSource::claudeSkill(), "x", "one\ntwo\nthree"),
         "one\ntwo"},
        {"skill, empty lines are skipped",
         snippetOf(SnippetSource::claudeSkill(), "x", "\n\none\n\n\ntwo\nthree"), "one\ntwo"},
        {"document, CRLF line ends", snippetOf(SnippetSource::aiDoc(), "x", "one\r\ntwo\r\nthree"),
         "one\ntwo"},
        {"document, one line", snippetOf(SnippetSource::aiDoc(), "x", "only"), "only"},
        {"document, no description", snippetOf(SnippetSource::aiDoc(), "x", std::nullopt), std::nullopt},
        {"document, blank description", snippetOf(SnippetSource::aiDoc(), "x", "\n\n"), ""},
        {"env, source file", snippetOf(SnippetSource::envVar(), "x", "d", {{"sourceFile", ".env"}}), ".env"},
        {"env, description", snippetOf(SnippetSource::envVar(), "x", "d"), "d"},
        {"git ref, description first", snippetOf(SnippetSource::gitRef(), "x", "d", {{"lastCommit", "c"}}),
         "d"},
        {"git ref, last commit",
         snippetOf(SnippetSource::gitRef(), "x", std::nullopt,
                   {{"lastCommit", "2 days ago"}, {"type", "branch"}}),
         "Last commit: 2 days ago"},
        {"git ref, type", snippetOf(SnippetSource::gitRef(), "x", std::nullopt, {{"type", "tag"}}), "tag"},
        {"git ref, nothing", snippetOf(SnippetSource::gitRef(), "x", std::nullopt), std::nullopt},
        {"file with extension",
         snippetOf(SnippetSource::filePath(), "src/a.md", std::nullopt, {{"ext", "md"}}),
         "src/a.md · .md file"},
        {"file with empty extension",
         snippetOf(SnippetSource::filePath(), "Makefile", std::nullopt, {{"ext", ""}}), "Makefile"},
        {"npm script", snippetOf(SnippetSource::npmScript(), "npm run dev", "d"), "npm run dev"},
        {"custom, empty expansion", snippetOf(SnippetSource::custom("p"), "", "d"), "d"},
        {"remote, empty", snippetOf(SnippetSource::gitRemote(), "", std::nullopt), std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(model->expandedDetailText(c.snippet), c.text) << c.name;
    }
}

TEST(SettingsPreviewTest, ShowsFourSamplesInSearchMode) {
    ManualScheduler scheduler;
    auto preview = PopupViewModel::makeSettingsPreview(scheduler);
    EXPECT_EQ(preview->mode(), Mode::search);
    EXPECT_EQ(preview->statusContextText(), "4 results");
    EXPECT_EQ(preview->selectedSnippet()->id, "preview-skill");
    EXPECT_EQ(preview->popupHeight(), 265);
    EXPECT_EQ(preview->popupWidth(), 380);
    EXPECT_FALSE(preview->searchPresentation().has_value());
    EXPECT_FALSE(preview->projectRoot().has_value());
    EXPECT_EQ(preview->detailPreviewTiming(), DetailPreviewTiming::popup());

    const auto& samples = preview->viewState().resultList();
    ASSERT_EQ(samples.size(), 4u);
    const char* ids[] = {"preview-skill", "preview-npm", "preview-git", "preview-manual"};
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(samples[i].snippet->id, ids[i]);
        EXPECT_TRUE(samples[i].matchRanges.empty());
    }
    EXPECT_EQ(preview->expandedDetailText(*samples[2].snippet), "branch");
    EXPECT_EQ(preview->expandedDetailText(*samples[3].snippet), "Yesterday: ...\nToday: ...\nBlockers: ...");
    EXPECT_EQ(preview->expandedDetailText(*samples[0].snippet), "Motion design guidelines");

    // The same view model answers the keys and theme changes as the popup's own.
    preview->moveSelectionDown();
    EXPECT_EQ(preview->selectedSnippet()->id, "preview-npm");
    preview->moveSelectionUp();
    preview->moveSelectionUp();
    EXPECT_EQ(preview->selectedSnippet()->id, "preview-manual");
    ThemeConfig theme;
    theme.popupWidth = 450;
    theme.rowHeight = 40;
    preview->setThemeConfig(theme);
    EXPECT_EQ(preview->popupWidth(), 450);
    EXPECT_EQ(preview->popupHeight(), 40 * 6 + 12 + 36 + 25);
}

} // namespace
} // namespace korvane
