// The keyboard's focus frame on the settings window's symbol buttons, rows and standard controls, as
// drawn: it stands out at 3:1 from what lies around it in a light, a dark and a desktop's dark palette.
#include "model/colorcontrast.h"
#include "settings/views/configurationview.h"
#include "settingsviewharness.h"
#include "uikit/kittestsupport.h"

#include <QApplication>
#include <QHash>
#include <QImage>
#include <QTest>
#include <functional>
#include <gtest/gtest.h>

namespace korvane {
namespace {

const char* const file = R"({"trigger": ";;", "snippets": [{"key": "sig", "expand": "Best"}]})";

Color toColor(QRgb rgb) {
    const QColor color = QColor::fromRgb(rgb);
    return {color.redF(), color.greenF(), color.blueF(), 1};
}

QRgb mostCommon(const std::vector<QRgb>& pixels) {
    QHash<QRgb, int> counts;
    QRgb best = 0;
    int most = 0;
    for (const QRgb pixel : pixels) {
        if (++counts[pixel] > most) {
            most = counts[pixel];
            best = pixel;
        }
    }
    return best;
}

QImage picture(QWidget& window) {
    return window.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// A dark colour scheme as a desktop hands it to Qt: a blue selection that its style tints faintly for
// focus.
void useDesktopDarkPalette() {
    QPalette palette(QColor(49, 54, 59), QColor(42, 46, 50));
    palette.setColor(QPalette::WindowText, QColor(252, 252, 252));
    palette.setColor(QPalette::Base, QColor(27, 30, 32));
    palette.setColor(QPalette::Text, QColor(252, 252, 252));
    palette.setColor(QPalette::ButtonText, QColor(252, 252, 252));
    palette.setColor(QPalette::Highlight, QColor(61, 174, 233));
    palette.setColor(QPalette::HighlightedText, QColor(252, 252, 252));
    QApplication::setPalette(palette);
}

// Each control is given the focus; the frame is what changes in the window's picture when that focus
// is shown as one a key brought. Its colour (the most common of the changed pixels) is measured against
// what the pixels of that colour were without it.
TEST(FocusFrameTest, StandsOutAtThreeToOneInLightAndDark) {
    test::ensureKitApplication();
    const std::pair<const char*, std::function<void()>> palettes[] = {
        {"light", [] { test::useDarkPalette(false); }},
        {"dark", [] { test::useDarkPalette(true); }},
        {"desktop dark", useDesktopDarkPalette},
    };
    const std::pair<ConfigurationPage, const char*> controls[] = {
        {ConfigurationPage::snippets, "toggleSidebar"},
        {ConfigurationPage::snippets, "editSnippet"},
        {ConfigurationPage::snippets, "deleteSnippet"},
        {ConfigurationPage::snippets, "snippetLine"},
        {ConfigurationPage::preferences, "eye"},
        {ConfigurationPage::preferences, "colorWell"},
        {ConfigurationPage::preferences, "increment"},
        // The standard controls, framed by the application's style.
        {ConfigurationPage::snippets, "sidebar"},
        {ConfigurationPage::preferences, "caseSensitive"},
        {ConfigurationPage::preferences, "trigger"},
        {ConfigurationPage::preferences, "popupPosition"},
        {ConfigurationPage::preferences, "resetToDefaults"},
    };
    for (const auto& [paletteName, apply] : palettes) {
        apply();
        test::SettingsViewHarness h(file, std::nullopt);
        ASSERT_TRUE(QTest::qWaitForWindowActive(h.window.get()));
        for (const auto& [page, name] : controls) {
            SCOPED_TRACE(std::string(paletteName) + ": " + name);
            h.window->view().setPage(page);
            QWidget* control = h.visible<QWidget>(name);
            ASSERT_NE(control, nullptr);
            control->setFocus(Qt::OtherFocusReason);
            ASSERT_TRUE(control->hasFocus());
            h.window->setAttribute(Qt::WA_KeyboardFocusChange, false);
            const QImage plain = picture(*h.window);
            h.window->setAttribute(Qt::WA_KeyboardFocusChange, true);
            const QImage framed = picture(*h.window);
            const QRect around =
                QRect(control->mapTo(h.window.get(), QPoint()), control->size()).adjusted(-4, -4, 4, 4) &
                framed.rect();
            std::vector<QRgb> frame;
            std::vector<QRgb> under;
            for (int y = around.top(); y <= around.bottom(); ++y) {
                for (int x = around.left(); x <= around.right(); ++x) {
                    if (framed.pixel(x, y) != plain.pixel(x, y)) {
                        frame.push_back(framed.pixel(x, y));
                        under.push_back(plain.pixel(x, y));
                    }
                }
            }
            if (frame.empty()) {
                ADD_FAILURE() << "no focus frame drawn";
                continue;
            }
            const QRgb drawn = mostCommon(frame);
            // What the frame's own pixels were: beside it the style may change other pixels a little (a
            // button's outline tinted for the focus).
            std::vector<QRgb> underFrame;
            for (std::size_t i = 0; i < frame.size(); ++i) {
                if (frame[i] == drawn) {
                    underFrame.push_back(under[i]);
                }
            }
            const QRgb behind = mostCommon(underFrame);
            EXPECT_GE(contrastRatio(toColor(drawn), toColor(behind)), minimumTextContrast)
                << QColor(drawn).name().toStdString() << " on " << QColor(behind).name().toStdString();
        }
        h.window->setAttribute(Qt::WA_KeyboardFocusChange, false);
    }
    test::useDarkPalette(false);
}

} // namespace
} // namespace korvane
