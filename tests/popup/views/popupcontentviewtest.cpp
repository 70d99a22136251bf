#include "popup/views/popupcontentview.h"

#include "popup/badgecolors.h"
#include "popup/namedcolors.h"
#include "popup/popuptestsupport.h"
#include "popup/popuptheme.h"
#include "popup/views/browsermodeview.h"
#include "popup/views/categorysidebarview.h"
#include "popup/views/detailcolumnview.h"
#include "popup/views/popupview.h"
#include "popup/views/quickreferenceview.h"
#include "viewtestsupport.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <gtest/gtest.h>

namespace korvane {
namespace {

using test::snapshot;

class PopupContentViewTest : public ::testing::Test, public test::PopupHarness {
protected:
    void SetUp() override {
        test::ensureOffscreenApplication();
        view = std::make_unique<PopupContentView>(model);
        view->surface().setPaintLog(&log);
    }

    // Renders the popup at its own size, as the window would show it.
    const PaintLog& render(const std::string& name) {
        log.clear();
        const QSize size(static_cast<int>(model->popupWidth()), static_cast<int>(model->popupHeight()));
        snapshot(name, *view, size);
        return log;
    }

    static SnippetSection category(const std::string& id, const std::string& title, SnippetSource source,
                                   std::optional<std::string> alias, std::size_t items) {
        SnippetSection section(id, title, {std::move(source)});
        section.scopeHint = std::move(alias);
        for (std::size_t i = 0; i < items; ++i) {
            section.results.push_back(test::result(id + "-item-" + std::to_string(i)));
        }
        return section;
    }

    static SearchRow scope(const std::string& id, std::vector<std::string> aliases, std::string title,
                           std::vector<SnippetSource> sources, bool active) {
        ScopeDefinition definition{id,
                                   aliases.front(),
                                   aliases,
                                   std::move(title),
                                   "All git refs (branches, tags, remotes)",
                                   std::move(sources)};
        return SearchRow{SearchRowKind::scope(definition, "scopes", active), "scope:" + id, "scopes", true};
    }

    PaintLog log;
    std::unique_ptr<PopupContentView> view;
};

TEST_F(PopupContentViewTest, EachModeShowsItsContentAndHints) {
    search({"deploy", "deploy-staging", "docs"});
    model->setCurrentQuery("dep");
    const auto& searching = render("content-search");
    EXPECT_EQ(searching.joined("header.query"), "dep");
    EXPECT_EQ(searching.joined("status.hints"), "↑↓ navigate · Space detail · Tab accept");
    EXPECT_EQ(model->popupHeight(), 265);
    EXPECT_EQ(view->surface().height(), 265);
    EXPECT_FALSE(view->browser().isVisible());
    EXPECT_FALSE(view->detailColumn().isVisible());

    model->showBrowser({category("user", "User", SnippetSource::manual(), "@user", 3),
                        category("git", "Git", SnippetSource::gitRef(), "@GIT", 0)},
                       false);
    const auto& browsing = render("content-browser");
    EXPECT_EQ(browsing.joined("status.hints"), "↑↓ navigate · ←→ panels · Tab accept");
    EXPECT_EQ(browsing.joined("sidebar.name"), "UserGit");
    EXPECT_EQ(browsing.joined("sidebar.alias"), "@u@g");
    EXPECT_EQ(browsing.joined("sidebar.count"), "30");
    EXPECT_EQ(view->browser().width(), 441);
    const QRectF gitAlias = browsing.withRole("sidebar.alias").back().rect;

    // A category still loading shows no count, its alias staying put, and says so.
    auto loadingGit = category("git", "Git", SnippetSource::gitRef(), "@GIT", 0);
    loadingGit.isLoading = true;
    model->showBrowser({category("user", "User", SnippetSource::manual(), "@user", 3), loadingGit}, false);
    const auto& loading = render("content-browser-loading-count");
    EXPECT_EQ(loading.joined("sidebar.count"), "3");
    EXPECT_EQ(loading.withRole("sidebar.alias").back().rect, gitAlias);
    std::vector<std::string> said;
    for (const auto& row : view->browser().accessibleCategories()) {
        said.push_back(row.name);
    }
    EXPECT_EQ(said, (std::vector<std::string>{"User, @u, 3 items", "Git, @g, loading"}));

    model->showHelp();
    const auto& help = render("content-help");
    EXPECT_TRUE(help.withRole("status.hints").empty());
    EXPECT_EQ(help.joined("help.title"), "Korvane Quick Reference");
    EXPECT_EQ(view->quickReference().width(), 380);
    EXPECT_EQ(model->popupHeight(), 450);
    EXPECT_EQ(PopupContentView::keyboardHints(PopupMode::help), "");
}

TEST_F(PopupContentViewTest, DetailColumnStandsOnTheNamedSideWithItsDividerAndKeepsItsWidth) {
    present(test::presentation(
        {scope("git", {"git", "g"}, "Git Refs", {SnippetSource::gitRef(), SnippetSource::gitRemote()}, false),
         test::scopeRow("branch")}));
    ASSERT_TRUE(model->isDetailColumnVisible());
    struct Case {
        PopupViewModel::DetailPanelSide side;
        const char* name;
        int detailX;
        int listX;
    } cases[] = {
        {PopupViewModel::DetailPanelSide::right, "content-detail-right", 381, 0},
        {PopupViewModel::DetailPanelSide::left, "content-detail-left", 0, 271},
    };
    for (const auto& c : cases) {
        model->setDetailPanelSide(c.side);
        render(c.name);
        EXPECT_EQ(model->popupWidth(), 651);
        EXPECT_EQ(view->detailColumn().geometry(),
                  QRect(c.detailX, 37, 270, view->surface().height() - 37 - 25))
            << c.name;
        EXPECT_EQ(view->surface().listRect().left(), c.listX) << c.name;
        EXPECT_EQ(view->surface().listRect().width(), 380) << c.name;
    }

    // Focus moves only the outline's opacity, never the layout.
    const QRect before = view->detailColumn().geometry();
    EXPECT_EQ(view->detailColumn().outlineOpacity(), 0);
    model->setFocusedPanel(PopupViewModel::FocusedPanel::detail);
    render("content-detail-focused");
    EXPECT_EQ(view->detailColumn().outlineOpacity(), 0.5);
    EXPECT_EQ(view->detailColumn().geometry(), before);
}

TEST_F(PopupContentViewTest, ScopePanelAndRowSayActiveOnlyForTheAppliedScope) {
    for (const bool active : {false, true}) {
        present(test::presentation({scope("git", {"git", "g"}, "Git Refs",
                                          {SnippetSource::gitRef(), SnippetSource::gitRemote()}, active)}));
        const auto& painted = render(active ? "content-scope-active" : "content-scope-inactive");
        EXPECT_EQ(view->detailColumn().content(), DetailColumnView::Content::scope);
        EXPECT_EQ(painted.joined("scope.title"), "Git Refs");
        EXPECT_EQ(painted.withRole("scope.active").size(), active ? 1u : 0u);
        EXPECT_EQ(painted.joined("scope.rowTitle"), "AliasesPrimarySources");
        EXPECT_EQ(painted.joined("scope.rowValue"), "@git, @g@gitGit");
        EXPECT_EQ(painted.withRole("scope.title").front().pixelSize, 16);
        EXPECT_EQ(painted.withRole("scope.rowTitle").front().pixelSize, 11);
        // A screen reader is told the tag too, on the panel and on the scope's row.
        EXPECT_EQ(view->detailColumn().title(),
                  active ? "Scope details for Git Refs, active" : "Scope details for Git Refs");
        EXPECT_EQ(view->surface().accessibleRows().front().name,
                  active ? "Scope: Git Refs, @git, active" : "Scope: Git Refs, @git");
    }
}

TEST_F(PopupContentViewTest, DetailContentPrefersScopeThenShellThenPreviewElseBlank) {
    search({"alpha", "beta"});
    model->setMode(PopupMode::search);
    auto shell = std::make_shared<Snippet>();
    shell->id = shell->label = "shell";
    auto preview = std::make_shared<Snippet>();
    preview->id = preview->label = "preview";
    struct Case {
        PopupViewModel::SnippetPtr shell;
        PopupViewModel::SnippetPtr preview;
        DetailColumnView::Content content;
        const char* title;
    } cases[] = {
        {shell, preview, DetailColumnView::Content::snippet, "shell"},
        {nullptr, preview, DetailColumnView::Content::snippet, "preview"},
        {nullptr, nullptr, DetailColumnView::Content::blank, ""},
    };
    for (const auto& c : cases) {
        detail->shell = c.shell;
        detail->preview = c.preview;
        EXPECT_EQ(view->detailColumn().content(), c.content);
        view->detailColumn().sync();
        EXPECT_EQ(view->detailColumn().title(), c.title);
    }
}

TEST_F(PopupContentViewTest, BrowserKeepsTheSelectedCategoryInViewWhenCategoriesOverflow) {
    std::vector<SnippetSection> few;
    std::vector<SnippetSection> many;
    const SnippetSource sources[] = {SnippetSource::manual(), SnippetSource::gitRef(),
                                     SnippetSource::npmScript(), SnippetSource::makeTarget(),
                                     SnippetSource::claudeSkill()};
    for (int i = 0; i < 16; ++i) {
        auto section =
            category("cat" + std::to_string(i), "Cat " + std::to_string(i), sources[i % 5],
                     i % 3 == 0 ? std::optional<std::string>("@c" + std::to_string(i)) : std::nullopt, 2);
        if (i < 4) {
            few.push_back(section);
        }
        many.push_back(std::move(section));
    }
    model->showBrowser(few, false);
    model->moveBrowserFocus(false);
    render("content-browser-few");
    EXPECT_EQ(view->browser().sidebarOffset(), 0);

    model->showBrowser(many, false);
    model->moveBrowserFocus(false);
    const PaintContext context = view->paintContext();
    const double rowHeight = CategorySidebarView::rowHeight(context);
    ASSERT_GT(16 * rowHeight, view->browser().height()) << "the rows must overflow";
    for (int i = 0; i < 14; ++i) {
        model->moveSelectionDown();
    }
    ASSERT_EQ(model->selectedCategoryIndex(), 14);
    const auto& painted = render("content-browser-many");
    const auto names = painted.withRole("sidebar.name");
    const auto selected = std::find_if(names.begin(), names.end(),
                                       [](const PaintedText& text) { return text.text == "Cat 14"; });
    ASSERT_NE(selected, names.end());
    EXPECT_GE(selected->rect.top(), 0);
    EXPECT_LE(selected->rect.bottom(), view->browser().height());
    EXPECT_GT(view->browser().sidebarOffset(), 0);

    // Back to the first: the column scrolls back to its top.
    for (int i = 0; i < 14; ++i) {
        model->moveSelectionUp();
    }
    render("content-browser-many-top");
    EXPECT_EQ(view->browser().sidebarOffset(), 0);
}

TEST_F(PopupContentViewTest, ItemsShowLoadingEmptyAndInlineDetailAndCentreTheSelection) {
    auto user = category("user", "User", SnippetSource::manual(), "@user", 30);
    for (std::size_t i = 0; i < user.results.size(); ++i) {
        auto snippet = std::make_shared<Snippet>(*user.results[i].snippet);
        snippet->expansion =
            "echo line one of item " + std::to_string(i) + "\nsecond line\nthird line\nfourth line";
        user.results[i].snippet = snippet;
    }
    auto empty = category("docs", "Docs", SnippetSource::aiDoc(), "@doc", 0);
    empty.helpText = "Add CLAUDE.md or AGENTS.md to the project to see its documents here";
    model->showBrowser({user, empty, category("make", "Make", SnippetSource::makeTarget(), "@make", 0)},
                       false);
    for (int i = 0; i < 20; ++i) {
        model->moveSelectionDown();
    }
    scheduler.advance(1);
    ASSERT_TRUE(model->expandedSnippet());
    const auto& scrolled = render("content-browser-items-detail");
    const auto details = scrolled.withRole("items.detail");
    ASSERT_EQ(details.size(), 3u);
    EXPECT_EQ(details.front().text, "echo line one of item 20");
    const auto items = view->browser().items();
    const auto centred = items.centringOffset(view->paintContext(), view->browser().itemsRect().width(),
                                              view->browser().itemsRect().height(), 20);
    ASSERT_TRUE(centred);
    EXPECT_EQ(view->browser().itemsOffset(), *centred);
    EXPECT_GT(*centred, 0);

    model->moveBrowserFocus(false);
    model->moveSelectionDown();
    const auto& help = render("content-browser-empty-help");
    EXPECT_EQ(view->browser().itemsOffset(), 0);
    EXPECT_NE(help.joined("items.empty").find("CLAUDE.md"), std::string::npos);
    EXPECT_GT(help.withRole("items.empty").size(), 1u) << "the help text wraps";

    model->moveSelectionDown();
    EXPECT_EQ(render("content-browser-empty").joined("items.empty"), "No items");

    model->setLoadingCategories({"make", "user"});
    const auto& loading = render("content-browser-loading");
    EXPECT_EQ(loading.joined("items.loading"), "Loading...");
    EXPECT_TRUE(loading.withRole("items.label").empty());
    EXPECT_EQ(loading.withRole("items.loading").front().pixelSize, 12);
}

TEST_F(PopupContentViewTest, QuickReferenceNumbersItsLinesAndScrollsALineToTheTop) {
    model->showHelp();
    render("content-help-top");
    const auto lines = QuickReferenceView::lines(view->paintContext(), 380);
    ASSERT_EQ(lines.size(), 25u);
    EXPECT_EQ(lines[16].key, "Shortcuts");
    EXPECT_EQ(lines[17].key, "Tab / Return");
    EXPECT_EQ(lines[15].key, "@<custom>");
    EXPECT_EQ(lines[24].kind, QuickReferenceView::Line::Kind::footer);

    for (int i = 0; i < 5; ++i) {
        model->scrollHelpDown();
    }
    const auto& scrolled = render("content-help-line5");
    EXPECT_EQ(view->quickReference().scrollOffset(), lines[5].top);
    // Every description starts at the same place beside the 100 pt key column, long keys wrap.
    for (const auto& text : scrolled.withRole("help.description")) {
        EXPECT_EQ(text.rect.left(), 12 + 100 + 8) << text.text;
    }
    const auto keys = scrolled.withRole("help.key");
    for (const auto& key : keys) {
        EXPECT_LE(key.rect.right(), 12 + 100 + 0.5) << key.text;
    }
    EXPECT_TRUE(std::any_of(keys.begin(), keys.end(), [](const PaintedText& key) {
        return key.text == "@url, @link,";
    })) << "the url row's aliases wrap inside the key column";

    for (int i = 0; i < 40; ++i) {
        model->scrollHelpDown();
    }
    render("content-help-end");
    const double end = QuickReferenceView::contentHeight(lines) - view->quickReference().height();
    EXPECT_DOUBLE_EQ(view->quickReference().scrollOffset(), end);

    // Entering help again starts at the title whatever the offset was.
    model->exitHelpMode();
    model->showHelp();
    render("content-help-again");
    EXPECT_EQ(view->quickReference().scrollOffset(), 0);
}

// The quick reference names the keys as they are pressed on this desktop: Ctrl with the letter, never
// the Command key of another system.
TEST_F(PopupContentViewTest, QuickReferenceNamesTheShortcutsAsPressedHere) {
    model->showHelp();
    // The "Shortcuts" title at the top of the view.
    for (int i = 0; i < 16; ++i) {
        model->scrollHelpDown();
    }
    const auto& painted = render("content-help-shortcuts");
    const auto sections = painted.withRole("help.section");
    const auto shortcuts = std::find_if(sections.begin(), sections.end(),
                                        [](const PaintedText& text) { return text.text == "Shortcuts"; });
    ASSERT_NE(shortcuts, sections.end());
    // Each key below the title beside the description drawn on its line.
    std::vector<std::string> rows;
    for (const auto& key : painted.withRole("help.key")) {
        for (const auto& description : painted.withRole("help.description")) {
            if (key.rect.top() > shortcuts->rect.top() &&
                std::abs(description.rect.center().y() - key.rect.center().y()) < 2) {
                rows.push_back(key.text + " " + description.text);
            }
        }
    }
    EXPECT_EQ(rows, (std::vector<std::string>{"Tab / Return Accept and insert", "Space Toggle detail panel",
                                              "Ctrl+C Copy to clipboard", "Ctrl+O Open URL in browser",
                                              "Ctrl+R Refresh snippets", "Ctrl+S Save to config",
                                              "Escape Dismiss"}));
    for (const auto& text : painted.texts()) {
        EXPECT_EQ(text.text.find("Cmd"), std::string::npos) << text.text;
        EXPECT_EQ(text.text.find("\u2318"), std::string::npos) << text.text;
    }
}

TEST_F(PopupContentViewTest, QuickReferenceSizesFollowTheFontSizeRoundingHalvesUp) {
    model->showHelp();
    struct Case {
        double fontSize;
        int title, section, row, footer;
    } cases[] = {{16, 16, 14, 13, 11}, {15, 15, 13, 12, 11}, {20, 20, 17, 16, 14}};
    for (const auto& c : cases) {
        ThemeConfig theme = PopupTheme::defaultTheme();
        theme.fontSize = c.fontSize;
        model->setThemeConfig(theme);
        const auto& painted = render("content-help-font");
        EXPECT_EQ(painted.withRole("help.title").front().pixelSize, c.title);
        EXPECT_EQ(painted.withRole("help.section").front().pixelSize, c.section);
        EXPECT_EQ(painted.withRole("help.key").front().pixelSize, c.row);
        view->quickReference().sync(true);
    }
}

TEST_F(PopupContentViewTest, HeightsStandOnTheRowFloors) {
    std::vector<std::string> twelve;
    for (int i = 0; i < 12; ++i) {
        twelve.push_back("snippet-" + std::to_string(i));
    }
    struct Step {
        const char* name;
        std::function<void()> apply;
        double height;
    } steps[] = {
        {"content-floor-three",
         [&] {
             search({"deploy", "deploy-staging", "docs"});
         },
         265},
        {"content-floor-twelve", [&] { search(twelve); }, 10 * 32 + 12 + 36 + 25},
        // The session keeps the rows it reached, so two results keep the popup as tall.
        {"content-floor-kept",
         [&] {
             search({"deploy", "docs"});
         },
         10 * 32 + 12 + 36 + 25},
    };
    for (const auto& step : steps) {
        step.apply();
        render(step.name);
        EXPECT_EQ(model->popupHeight(), step.height) << step.name;
        EXPECT_EQ(view->surface().height(), step.height) << step.name;
    }

    model->reset();
    model->setMode(PopupMode::search);
    searchEmpty(SearchEmptyState::Style::compact);
    render("content-floor-compact-empty");
    EXPECT_EQ(model->popupHeight(), 48 + 25);
}

TEST_F(PopupContentViewTest, ReservedDetailSlotShowsTheSelectedSnippetBesideTheList) {
    search({"deploy", "deploy-staging", "docs"});
    auto shown = std::make_shared<Snippet>(*model->selectedSnippet());
    shown->label = "deploy";
    detail->shell = shown;
    detail->onReserveDetailSlot(shown);
    ASSERT_TRUE(model->isDetailColumnVisible());
    const auto& painted = render("content-detail-snippet");
    EXPECT_EQ(view->detailColumn().content(), DetailColumnView::Content::snippet);
    EXPECT_EQ(painted.joined("detail.title"), "deploy");
    EXPECT_EQ(view->detailColumn().width(), 270);
}

TEST(PopupContentViewSpringTest, ModeSpringRisesToOneWithoutOvershoot) {
    EXPECT_DOUBLE_EQ(PopupContentView::modeSpring(0), 0);
    EXPECT_DOUBLE_EQ(PopupContentView::modeSpring(1), 1);
    double last = 0;
    for (int i = 1; i <= 100; ++i) {
        const double x = PopupContentView::modeSpring(i / 100.0);
        EXPECT_GE(x, last);
        EXPECT_LE(x, 1);
        last = x;
    }
    EXPECT_GT(PopupContentView::modeSpring(0.5), 0.7) << "most of the way after half the time";
}

TEST(CategorySidebarViewTest, ShortAliasesAndDotColours) {
    using Category = PopupViewModel::Category;
    const auto make = [](std::string id, std::optional<std::string> alias,
                         std::vector<SnippetSource> sources = {}) {
        return Category{std::move(id), "name", std::move(sources), 0, std::move(alias)};
    };
    EXPECT_EQ(CategorySidebarView::shortAlias(make("git", "@GIT")), "@g");
    EXPECT_EQ(CategorySidebarView::shortAlias(make("x", std::nullopt)), "--");
    EXPECT_EQ(CategorySidebarView::shortAlias(make("recent-files", "@zzz")), "@f");
    EXPECT_EQ(CategorySidebarView::shortAlias(make("deploy", "@Deploy")), "@deploy");

    const Category make_ = make("make", "@make", {SnippetSource::makeTarget()});
    EXPECT_EQ(CategorySidebarView::dotColor(make_, true, BadgePalette::minimal),
              withOpacity(saturatedBadgeColor(SnippetSource::makeTarget()), 0.8));
    EXPECT_EQ(CategorySidebarView::dotColor(make_, false, BadgePalette::pastel),
              withOpacity(badgeBaseColor(SnippetSource::makeTarget()), 0.5));
    EXPECT_EQ(CategorySidebarView::dotColor(make("recent", "@r", {SnippetSource::manual()}), false,
                                            BadgePalette::pastel),
              withOpacity(namedColor(NamedColor::secondary), 0.5));
    EXPECT_EQ(CategorySidebarView::dotColor(make("x", std::nullopt), true, BadgePalette::saturated),
              withOpacity(namedColor(NamedColor::secondary), 0.8));
}

} // namespace
} // namespace korvane
