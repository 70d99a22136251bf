#include "config/settingsconfig.h"
#include "config/themeconfig.h"
#include "platform/qt/qtdesktopcoordinates.h"
#include "popup/legiblebadgecolors.h"
#include "popup/namedcolors.h"
#include "popup/popuptestsupport.h"
#include "popup/popuptheme.h"
#include "popup/views/popupstatusbarview.h"
#include "popup/views/popupview.h"
#include "popup/views/scopedetailpanelview.h"
#include "popup/views/searchbarheaderview.h"
#include "popup/views/snippetrowview.h"
#include "viewtestsupport.h"

#include <QAccessible>
#include <QFont>
#include <QGuiApplication>
#include <QScreen>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>

namespace korvane {
namespace {

using test::snapshot;
using test::testContext;

class PopupViewsTest : public ::testing::Test {
protected:
    void SetUp() override { test::ensureOffscreenApplication(); }

    static Snippet snippet(std::string label, SnippetSource source = SnippetSource::manual()) {
        Snippet s;
        s.id = "manual:" + label;
        s.label = std::move(label);
        s.source = std::move(source);
        return s;
    }

    // Paints one row 380 x 32 and returns the log.
    static PaintLog paintRow(const Snippet& s, const TextRanges& ranges, double width = 380,
                             ThemeConfig theme = PopupTheme::defaultTheme()) {
        PaintLog log;
        PaintContext context = testContext(log);
        context.theme = theme;
        snapshot("row", QSize(static_cast<int>(width), 32), [&](QPainter& painter) {
            SnippetRowView(s, ranges, true, SnippetRowView::BadgePosition::trailing)
                .paint(painter, QRectF(0, 0, width, 32), context);
        });
        return log;
    }
};

TEST_F(PopupViewsTest, RowSetsMatchedCharactersHeavierAndDimsTheRest) {
    const Color primary = PopupSurfaceStyle::solid(PopupTheme::defaultTheme()).textPrimary;
    struct Case {
        const char* label;
        TextRanges ranges;
        std::vector<std::pair<std::string, bool>> runs;
    } cases[] = {
        {"r\xc3\xa9sum\xc3\xa9", {{0, 2}}, {{"r\xc3\xa9", true}, {"sum\xc3\xa9", false}}},
        {"\xf0\x9f\x9a\x80 launch",
         {{0, 1}, {2, 4}},
         {{"\xf0\x9f\x9a\x80", true}, {" ", false}, {"la", true}, {"unch", false}}},
        {"plain", {}, {{"plain", false}}},
    };
    for (const auto& c : cases) {
        const auto texts = paintRow(snippet(c.label), c.ranges).withRole("row.label");
        ASSERT_EQ(texts.size(), c.runs.size()) << c.label;
        for (std::size_t i = 0; i < texts.size(); ++i) {
            EXPECT_EQ(texts[i].text, c.runs[i].first);
            EXPECT_EQ(texts[i].weight, c.runs[i].second ? QFont::DemiBold : QFont::Normal);
            EXPECT_EQ(texts[i].color, c.runs[i].second ? primary : withOpacity(primary, 0.5));
            EXPECT_EQ(texts[i].pixelSize, 16);
            EXPECT_EQ(texts[i].family, "JetBrains Mono");
        }
    }
}

TEST_F(PopupViewsTest, LongLabelIsCutAtItsTailWithinTheRoomBesideTheBadge) {
    const auto log = paintRow(snippet("a-very-long-snippet-label-that-cannot-possibly-fit"), {{0, 6}}, 260);
    const auto label = log.withRole("row.label");
    ASSERT_FALSE(label.empty());
    EXPECT_EQ(label.front().text, "a-very");
    EXPECT_TRUE(label.back().text.ends_with("\xe2\x80\xa6")) << label.back().text;
    const auto badge = log.withRole("row.badge");
    ASSERT_EQ(badge.size(), 1u);
    EXPECT_LE(label.back().rect.right(), badge.front().rect.left());
}

TEST_F(PopupViewsTest, BadgeNamesTheSourceAndMarksLinks) {
    struct Case {
        SnippetSource source;
        std::optional<std::string> url;
        std::optional<std::string> badgeText;
        std::string shown;
        bool marker;
    } cases[] = {
        {SnippetSource::manual(), std::nullopt, std::nullopt, "User", false},
        {SnippetSource::manual(), std::string("https://example.invalid"), std::nullopt, "User", true},
        {SnippetSource::manual(), std::string(""), std::nullopt, "User", false},
        {SnippetSource::gitRef(), std::nullopt, std::string("PR"), "PR", false},
        {SnippetSource::npmScript(), std::nullopt, std::nullopt, "npm", false},
    };
    for (const auto& c : cases) {
        Snippet s = snippet("item", c.source);
        s.url = c.url;
        s.badgeText = c.badgeText;
        const auto log = paintRow(s, {});
        const auto badge = log.withRole("row.badge");
        ASSERT_EQ(badge.size(), 1u);
        EXPECT_EQ(badge.front().text, c.shown);
        EXPECT_EQ(badge.front().pixelSize, 10);
        EXPECT_EQ(badge.front().weight, QFont::DemiBold);
        EXPECT_EQ(badge.front().family,
                  c.source.kind() == SnippetSource::Kind::npmScript ? "JetBrains Mono" : "Inter");
        EXPECT_EQ(log.withRole("row.urlMarker").size(), c.marker ? 1u : 0u) << c.shown;
        if (c.marker) {
            EXPECT_DOUBLE_EQ(log.withRole("row.urlMarker").front().rect.height(), 8);
        }
    }
}

// A selected "Doc" row in the default dark theme draws its badge in the colours that read there, not
// the palette's indigo that read at 1.4:1 on the selection over a light desktop.
TEST_F(PopupViewsTest, TheBadgeOfASelectedRowIsDrawnInColoursThatRead) {
    const ThemeConfig theme = PopupTheme::defaultTheme();
    const auto badge = paintRow(snippet("CLAUDE.md", SnippetSource::aiDoc()), {}).withRole("row.badge");
    ASSERT_EQ(badge.size(), 1u);
    const PopupSurfaceStyle surface = PopupSurfaceStyle::solid(theme);
    const Color legible = legibleBadgeColors(theme.badgePalette, SnippetSource::aiDoc(), surface, true).text;
    EXPECT_EQ(badge.front().color, legible);
    EXPECT_NE(legible, badgeColors(theme.badgePalette, SnippetSource::aiDoc(), false).text);
}

TEST(ScopeDetailPanelViewTest, ListsEachSourceLabelOnce) {
    EXPECT_EQ(ScopeDetailPanelView::sourceLabels({SnippetSource::gitRef(), SnippetSource::gitRemote()}),
              "Git");
    EXPECT_EQ(ScopeDetailPanelView::sourceLabels(
                  {SnippetSource::manual(), SnippetSource::gitRemote(), SnippetSource::gitRef()}),
              "User, Git");
}

TEST_F(PopupViewsTest, UnusableFontSizesDrawAtASaneSize) {
    for (const double size : {std::numeric_limits<double>::quiet_NaN(),
                              std::numeric_limits<double>::infinity(), 1e300, 0.0, -4.0, 1e-9}) {
        ThemeConfig theme = PopupTheme::defaultTheme();
        theme.fontSize = size;
        const auto texts = paintRow(snippet("sized"), {{0, 2}}, 380, theme).texts();
        ASSERT_FALSE(texts.empty());
        for (const auto& text : texts) {
            EXPECT_GE(text.pixelSize, 1) << size;
            EXPECT_LE(text.pixelSize, 72) << size;
        }
    }
}

// What the header paints, and says to assistive technology.
TEST_F(PopupViewsTest, HeaderShowsTriggerChipQueryCaretAndCountOrSpinner) {
    const Color orange = namedColor(NamedColor::orange);
    const Color red = namedColor(NamedColor::red);
    struct Case {
        const char* name;
        std::optional<QueryChip> chip;
        bool loading;
        bool disabled;
        std::vector<std::pair<std::string, std::string>> shown; // role, text
        std::optional<Color> chipColor;
        std::string said;
    } cases[] = {
        {"plain",
         std::nullopt,
         false,
         false,
         {{"header.trigger", ";;"}, {"header.query", "dep"}, {"header.caret", "|"}, {"header.count", "3"}},
         {},
         "dep, 3 results"},
        {"app chip",
         QueryChip::app(),
         false,
         false,
         {{"header.chip", "@app"}, {"header.count", "3"}},
         orange,
         "@app dep, 3 results"},
        {"pending scope",
         QueryChip::scopePending(),
         false,
         false,
         {{"header.chip", "@..."}},
         namedColor(NamedColor::secondary),
         "@... dep, 3 results"},
        {"disabled scope",
         QueryChip::app(),
         false,
         true,
         {{"header.chip", "@app"}, {"header.disabled", "disabled"}},
         withOpacity(red, 0.8),
         "@app disabled dep, 3 results"},
        {"loading", std::nullopt, true, false, {{"header.spinner", "spinner"}}, {}, "dep, Loading..."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PaintLog log;
        const PaintContext context = testContext(log);
        ScopeRegistry registry;
        SearchBarHeaderView header({"dep", c.chip, &registry, 3, ";;", c.loading, c.disabled});
        snapshot(std::string("header-") + c.name, QSize(380, 37),
                 [&](QPainter& painter) { header.paint(painter, QRectF(0, 0, 380, 37), context, 0.7, 0); });
        for (const auto& [role, text] : c.shown) {
            const auto drawn = log.withRole(role);
            ASSERT_EQ(drawn.size(), 1u) << role;
            EXPECT_EQ(drawn.front().text, text);
        }
        EXPECT_EQ(log.withRole("header.count").empty(), c.loading);
        EXPECT_EQ(header.accessibleText(), c.said);
        EXPECT_EQ(log.withRole("header.symbol").front().pixelSize, 15);
        if (c.chipColor) {
            EXPECT_EQ(log.withRole("header.chip").front().color, *c.chipColor);
            EXPECT_EQ(log.withRole("header.chip").front().pixelSize, 15);
        }
        if (!c.loading) {
            EXPECT_EQ(log.withRole("header.count").front().pixelSize, 14);
        }
        if (c.disabled) {
            EXPECT_EQ(log.withRole("header.disabled").front().color, withOpacity(red, 0.7));
            EXPECT_EQ(log.withRole("header.disabled").front().pixelSize, 14);
        }
    }
}

TEST_F(PopupViewsTest, StatusBarKeepsTheHintsWholeAndCutsTheContext) {
    struct Case {
        std::optional<std::string> context;
        bool cut;
    } cases[] = {
        {std::nullopt, false},
        {std::string("3 results"), false},
        {std::string("a context text far too long to share the bar with the keyboard hints"), true},
    };
    for (const auto& c : cases) {
        PaintLog log;
        const PaintContext context = testContext(log);
        snapshot("statusbar", QSize(380, 25), [&](QPainter& painter) {
            PopupStatusBarView(c.context, PopupView::searchHints)
                .paint(painter, QRectF(0, 0, 380, 25), context);
        });
        const auto hints = log.withRole("status.hints");
        ASSERT_EQ(hints.size(), 1u);
        EXPECT_EQ(hints.front().text, PopupView::searchHints);
        EXPECT_EQ(hints.front().pixelSize, 11);
        EXPECT_NEAR(hints.front().rect.right(), 372, 0.5);
        const auto shown = log.withRole("status.context");
        ASSERT_EQ(shown.size(), c.context ? 1u : 0u);
        if (c.context) {
            EXPECT_EQ(shown.front().text.ends_with("\xe2\x80\xa6"), c.cut);
            EXPECT_LE(shown.front().rect.right(), hints.front().rect.left());
        }
    }
}

class PopupViewTest : public PopupViewsTest, public test::PopupHarness {
protected:
    void SetUp() override {
        PopupViewsTest::SetUp();
        model->setMode(PopupMode::search);
        view = std::make_unique<PopupView>(model);
        view->setPaintLog(&log);
    }

    const PaintLog& render(const std::string& name) {
        log.clear();
        snapshot(name, *view,
                 QSize(static_cast<int>(model->popupWidth()), static_cast<int>(model->popupHeight())));
        return log;
    }

    PaintLog log;
    std::unique_ptr<PopupView> view;
};

TEST_F(PopupViewTest, BannerMessagesAndEmptyState) {
    searchEmpty(SearchEmptyState::Style::standard);
    model->setRefreshing(true);
    const auto& refreshing = render("popup-empty-refreshing");
    ASSERT_EQ(refreshing.withRole("list.banner").size(), 1u);
    EXPECT_EQ(refreshing.withRole("list.banner").front().text, "Refreshing...");
    EXPECT_EQ(refreshing.withRole("list.banner").front().pixelSize, 10);
    EXPECT_EQ(refreshing.joined("list.message"), "No matches");
    EXPECT_EQ(refreshing.withRole("list.message").front().pixelSize, 13);
    EXPECT_EQ(refreshing.joined("status.context"), "Refreshing\xe2\x80\xa6");

    model->setRefreshing(false);
    auto p = test::presentation({test::headerRow("Git"), test::scopeRow("git"), test::snippetRow("main")});
    p.message = "Pick a scope";
    present(std::move(p));
    const auto& presented = render("popup-presentation");
    EXPECT_TRUE(presented.withRole("list.banner").empty());
    EXPECT_EQ(presented.joined("list.message"), "Pick a scope");
    EXPECT_EQ(presented.joined("list.sectionTitle"), "Git");
    EXPECT_EQ(presented.joined("list.scopeAliases"), "@git");
    EXPECT_LT(presented.withRole("list.message").front().rect.bottom(),
              presented.withRole("list.sectionTitle").front().rect.top());
}

TEST_F(PopupViewTest, ListScrollsTheTargetIntoTheMiddleAndKeepsTheSelectionInViewWhenRowsAreReplaced) {
    std::vector<std::string> ids;
    for (int i = 0; i < 40; ++i) {
        ids.push_back("r" + std::to_string(i));
    }
    search(ids);
    render("popup-list-top");
    EXPECT_EQ(view->list().scrollOffset(), 0);
    for (int i = 0; i < 20; ++i) {
        model->moveSelectionDown();
    }
    const auto& scrolled = render("popup-list-scrolled");
    const auto& rows = view->list().rows();
    const auto selected =
        std::find_if(rows.begin(), rows.end(), [](const auto& row) { return row.isSelected; });
    ASSERT_NE(selected, rows.end());
    EXPECT_EQ(selected->id, "r20");
    const auto placed = view->list().visibleRect(*selected);
    ASSERT_TRUE(placed);
    EXPECT_NEAR(placed->center().y(), view->listRect().center().y(), 1);
    // Only the rows in view are painted.
    EXPECT_LE(scrolled.withRole("row.badge").size(), 12u);

    // New results in another order, the selection restored to the same snippet: the target does not
    // change, yet the row moved far below the view.
    std::vector<std::string> reordered(ids.rbegin(), ids.rend());
    std::rotate(reordered.begin(), reordered.begin() + 14, reordered.end());
    search(reordered);
    model->selectSnippet("r20");
    render("popup-list-replaced");
    const auto& after = view->list().rows();
    const auto again =
        std::find_if(after.begin(), after.end(), [](const auto& row) { return row.isSelected; });
    ASSERT_NE(again, after.end());
    EXPECT_EQ(again->id, "r20");
    EXPECT_TRUE(view->list().visibleRect(*again).has_value());
}

TEST_F(PopupViewTest, WholePopupRendersWithItsRoundedSurface) {
    search({"deploy", "deploy-staging", "docs"});
    model->setCurrentQuery("dep");
    const auto& painted = render("popup-search");
    EXPECT_EQ(painted.joined("header.query"), "dep");
    EXPECT_EQ(painted.withRole("row.badge").size(), 3u);
    const QImage image = snapshot("popup-search-corner", *view, QSize(380, 265));
    // Outside the rounded corner the backdrop shows; inside, the surface.
    EXPECT_NE(image.pixelColor(20, 20), image.pixelColor(30, 30));
}

TEST_F(PopupViewTest, WithoutACompositorALightPopupStandsApartFromAWhiteWindow) {
    SettingsConfig settings;
    settings.appearance = "light";
    settings.material = "solid";
    model->setThemeConfig(ThemeConfig::fromSettings(settings, false));
    search({"deploy"});
    const QSize size(static_cast<int>(model->popupWidth()), static_cast<int>(model->popupHeight()));
    for (const bool compositor : {false, true}) {
        view->setGlassSupported(compositor);
        view->resize(size);
        QImage shown(size, QImage::Format_RGB32);
        shown.fill(Qt::white);
        view->render(&shown, QPoint(0, 0), QRegion(), QWidget::DrawChildren);
        const int edge = qGray(shown.pixel(0, size.height() / 2));
        // Only without a compositor is there no window shadow to do it.
        if (compositor) {
            EXPECT_GT(edge, 200);
        } else {
            EXPECT_LT(edge, 200);
        }
    }
}

TEST_F(PopupViewTest, PaintedRowsAreAccessibleChildren) {
    auto p =
        test::presentation({test::headerRow("Files"), test::snippetRow("deploy"), test::snippetRow("docs")},
                           std::string("snippet:docs"));
    present(std::move(p));
    render("popup-accessible");
    view->show();
    QAccessibleInterface* list = QAccessible::queryAccessibleInterface(view.get());
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->role(), QAccessible::List);
    ASSERT_EQ(list->childCount(), 3);
    EXPECT_EQ(list->child(0)->text(QAccessible::Name).toStdString(), "Files, 0 items");
    EXPECT_EQ(list->child(0)->role(), QAccessible::StaticText);
    EXPECT_EQ(list->child(1)->text(QAccessible::Name).toStdString(), "deploy, User");
    EXPECT_FALSE(list->child(1)->state().selected);
    EXPECT_TRUE(list->child(2)->state().selected);
    EXPECT_EQ(list->indexOfChild(list->child(2)), 2);
    EXPECT_EQ(list->child(2)->parent(), list);

    // A section's header tells how many items it holds, one in the singular.
    present(test::presentation({test::headerRow("Snippets", 1), test::snippetRow("deploy"),
                                test::headerRow("Scopes", 2), test::scopeRow("git"), test::scopeRow("tag")}));
    render("popup-accessible-headers");
    ASSERT_EQ(list->childCount(), 5);
    EXPECT_EQ(list->child(0)->text(QAccessible::Name).toStdString(), "Snippets, 1 item");
    EXPECT_EQ(list->child(2)->text(QAccessible::Name).toStdString(), "Scopes, 2 items");
}

TEST_F(PopupViewsTest, DesktopCoordinatesTurnQtsYDownIntoTheBottomLeftOrigin) {
    const QRectF primary = QGuiApplication::primaryScreen()->geometry();
    const double bottom = primary.top() + primary.height();
    EXPECT_EQ(QtDesktopCoordinates::toScreen(QPointF(10, 20)),
              (ScreenPoint{10 - primary.left(), bottom - 20}));
    const ScreenRect frame{100, 50, 380, 265};
    const QRectF placed = QtDesktopCoordinates::fromScreen(frame);
    EXPECT_DOUBLE_EQ(placed.top(), bottom - 50 - 265);
    EXPECT_EQ(QtDesktopCoordinates::toScreen(placed), frame);
}

} // namespace
} // namespace korvane
