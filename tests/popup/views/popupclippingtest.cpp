#include "config/settingsconfig.h"
#include "config/themeconfig.h"
#include "popup/popuptestsupport.h"
#include "popup/views/browsermodeview.h"
#include "popup/views/popupcontentview.h"
#include "popup/views/popupview.h"
#include "viewtestsupport.h"

#include <QImage>
#include <fmt/format.h>
#include <functional>
#include <gtest/gtest.h>

namespace korvane {
namespace {

using test::PopupHarness;
using test::snapshot;

std::vector<std::string> keys(int count) {
    std::vector<std::string> ids;
    for (int i = 0; i < count; ++i) {
        ids.push_back(fmt::format("k{:04}", i));
    }
    return ids;
}

void useAppearance(PopupViewModel& model, const char* appearance) {
    SettingsConfig settings;
    settings.appearance = appearance;
    settings.material = "solid";
    model.setThemeConfig(ThemeConfig::fromSettings(settings, false));
}

// 99 results in search mode, or, without rows, the same results behind an empty list: the same
// header count and status line over nothing.
void searchNinetyNine(PopupHarness& harness, bool rows) {
    harness.model->setMode(PopupMode::search);
    if (rows) {
        harness.search(keys(99));
        return;
    }
    SearchPresentation empty;
    empty.snippetResults = test::results(keys(99));
    harness.present(std::move(empty));
}

void searchBesideDetail(PopupHarness& harness, bool rows) {
    searchNinetyNine(harness, rows);
    auto shown = std::make_shared<Snippet>();
    shown->id = shown->label = "k0000";
    shown->expansion = std::string(40, '\n') + "a detail far longer than its column";
    harness.detail->shell = shown;
    harness.detail->onReserveDetailSlot(shown);
}

// A category of 99 items beside more categories than the sidebar holds. The surface paints no rows
// in browser mode, so the same state draws the reference.
void browseNinetyNine(PopupHarness& harness, bool) {
    std::vector<SnippetSection> sections;
    for (int i = 0; i < 16; ++i) {
        SnippetSection section("cat" + std::to_string(i), "Cat " + std::to_string(i),
                               {SnippetSource::manual()});
        section.results = test::results(i == 0 ? keys(99) : keys(2));
        sections.push_back(std::move(section));
    }
    harness.model->showBrowser(sections, false);
}

// Rows that do not fit are cut at the edges of the area they scroll in: nothing of them shows over
// the header above it or the status bar below it, wherever the selection has scrolled the list.
// Each rendering of the popup (its real widgets and paint code) is compared, outside that area, with
// the popup's surface drawn over the same state with no rows at all.
TEST(PopupClippingTest, RowsNeverShowOutsideTheAreaTheyScrollIn) {
    test::ensureOffscreenApplication();
    struct Case {
        const char* name;
        std::function<void(PopupHarness&, bool)> arrange;
        // The rows' area in the content view's coordinates.
        std::function<QRect(PopupContentView&)> area;
    };
    const auto listArea = [](PopupContentView& view) { return view.surface().listRect().toRect(); };
    const Case cases[] = {
        {"search", searchNinetyNine, listArea},
        {"search-detail", searchBesideDetail, listArea},
        {"browser", browseNinetyNine, [](PopupContentView& view) { return view.browser().geometry(); }},
    };
    for (const Case& c : cases) {
        for (const char* appearance : {"light", "dark"}) {
            PopupHarness shown;
            PopupHarness empty;
            useAppearance(*shown.model, appearance);
            useAppearance(*empty.model, appearance);
            c.arrange(shown, true);
            c.arrange(empty, false);
            PopupContentView view(shown.model);
            PopupView reference(empty.model);

            // Down past the last row in view and back up, one step at a time.
            for (int step = 0; step <= 30; ++step) {
                if (step > 0 && step <= 15) {
                    shown.model->moveSelectionDown();
                } else if (step > 15) {
                    shown.model->moveSelectionUp();
                }
                const std::string name = fmt::format("clip-{}-{}-{:02}", c.name, appearance, step);
                const QSize size(static_cast<int>(shown.model->popupWidth()),
                                 static_cast<int>(shown.model->popupHeight()));
                const QImage painted = snapshot(name, view, size);
                const QImage bare = snapshot(name + "-reference", reference, size);
                const QRect area = c.area(view);
                ASSERT_GT(area.height(), 0) << name;
                int differing = 0;
                QPoint first;
                // The snapshots set the popup 20 pixels into a backdrop.
                for (int y = 0; y < size.height(); ++y) {
                    if (y >= area.top() && y <= area.bottom()) {
                        continue;
                    }
                    for (int x = 0; x < size.width(); ++x) {
                        if (painted.pixel(x + 20, y + 20) != bare.pixel(x + 20, y + 20) && differing++ == 0) {
                            first = QPoint(x, y);
                        }
                    }
                }
                EXPECT_EQ(differing, 0) << name << ": first at " << first.x() << "," << first.y()
                                        << ", rows' area " << area.top() << "-" << area.bottom();
            }
        }
    }
}

} // namespace
} // namespace korvane
