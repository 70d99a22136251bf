// Runs under scripts/xvfb-session: the settings window and the onboarding, built on the X display in
// the palettes a desktop really hands Qt (its own light one, and the one Qt reads from a dark colour
// scheme of the session), must draw every text they show, placeholders and secondary texts above all,
// at 3:1 or more against what lies behind it. Each text's colour is the one it is drawn with; what lies
// behind it is read from the window's rendered pixels. With KORVANE_SCREENSHOT_DIR set, it saves a
// picture of the screen in each state.
#include "../onboarding/views/onboardingviewtestsupport.h"
#include "../settings/views/settingsviewharness.h"
#include "model/colorcontrast.h"
#include "onboarding/views/typewriteranimationview.h"
#include "settings/views/configurationview.h"
#include "support/qtx11.h"
#include "textinkrecorder.h"
#include "uikit/animations.h"

#include <QAbstractButton>
#include <QApplication>
#include <QHash>
#include <QImage>
#include <QStyle>
#include <QTest>
#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

namespace korvane {
namespace {

// The colours of a dark desktop colour scheme (as a Plasma session keeps them), from which Qt builds
// the application's palette when the session is a KDE one.
const char* const darkColourScheme = R"([Colors:Button]
BackgroundNormal=49,54,59
ForegroundNormal=252,252,252

[Colors:Selection]
BackgroundNormal=61,174,233
ForegroundNormal=252,252,252

[Colors:Tooltip]
BackgroundNormal=49,54,59
ForegroundNormal=252,252,252

[Colors:View]
BackgroundAlternate=35,38,41
BackgroundNormal=27,30,32
ForegroundLink=29,153,243
ForegroundNormal=252,252,252
ForegroundVisited=155,89,182

[Colors:Window]
BackgroundNormal=32,35,38
ForegroundNormal=252,252,252
)";

const char* const sampleFile = R"({
  "trigger": ";;",
  "snippets": [
    {"key": "sig", "expand": "Best regards,\nAda", "label": "Signature"},
    {"key": "docs", "url": "https://example.org/docs", "description": "Team docs"},
    {"key": "date", "expand": "{{date}}"}
  ],
  "app_snippets": [
    {"bundle_id": "org.gnome.TextEditor", "app_name": "Text Editor", "snippets": [{"key": "todo", "expand": "TODO: "}]}
  ],
  "custom_providers": [{"id": "tickets", "label": "Tickets", "command": "echo", "mode": "live", "ttl": 60}]
})";

Color toColor(const QColor& color) {
    return {color.redF(), color.greenF(), color.blueF(), color.alphaF()};
}

// The colour most pixels of `box` have: the background, as the strokes of a text are a minority of it.
QColor mostCommonColor(const QImage& picture, const QRect& box) {
    QHash<QRgb, int> counts;
    const QRect inside = box & picture.rect();
    for (int y = inside.top(); y <= inside.bottom(); ++y) {
        for (int x = inside.left(); x <= inside.right(); ++x) {
            ++counts[picture.pixel(x, y)];
        }
    }
    QRgb best = 0;
    int most = 0;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
        if (it.value() > most) {
            most = it.value();
            best = it.key();
        }
    }
    return QColor::fromRgb(best);
}

std::string describe(const QWidget& widget) {
    return std::string(widget.metaObject()->className()) + " " + widget.objectName().toStdString();
}

struct Reading {
    std::string where;
    std::string text;
    QColor drawn;
    QColor behind;
    double contrast;
};

// A text in the desktop's own colour for selected items, on its selection colour (or the style's
// shade of it): the pair the desktop chose for every program, not one Korvane picks.
bool isDesktopSelection(const test::TextInkRecorder::Ink& ink, const QColor& behind) {
    const QPalette& palette = ink.widget->window()->palette();
    for (const auto group : {QPalette::Active, QPalette::Inactive}) {
        const QColor selection = palette.color(group, QPalette::Highlight);
        const int apart =
            std::max({std::abs(behind.red() - selection.red()), std::abs(behind.green() - selection.green()),
                      std::abs(behind.blue() - selection.blue())});
        if (ink.color == palette.color(group, QPalette::HighlightedText) && apart <= 16) {
            return true;
        }
    }
    return false;
}

// The settings window's preview of the popup draws the popup as the popup draws itself, in the colours
// of the popup's theme.
bool inPopupPreview(const QWidget* widget) {
    for (; widget != nullptr; widget = widget->parentWidget()) {
        if (widget->objectName() == QStringLiteral("popupPreview")) {
            return true;
        }
    }
    return false;
}

// Every text that an enabled widget of a shown window draws, placeholders and secondary texts among
// them, with the contrast it reaches against the window's pixels behind it.
std::vector<Reading> readEveryText() {
    std::vector<Reading> readings;
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (!window->isVisible()) {
            continue;
        }
        const QImage picture = window->grab().toImage();
        for (const test::TextInkRecorder::Ink& ink : test::TextInkRecorder::record(*window)) {
            // A switched-off control may be faint (WCAG asks nothing of it); an invisible text is not drawn.
            if (!ink.widget || !ink.widget->isEnabled() || ink.color.alpha() == 0 ||
                inPopupPreview(ink.widget)) {
                continue;
            }
            const QColor behind = mostCommonColor(picture, ink.box);
            if (isDesktopSelection(ink, behind)) {
                continue;
            }
            const double contrast =
                contrastRatio(composite(toColor(ink.color), toColor(behind)), toColor(behind));
            readings.push_back({describe(*window) + " / " + describe(*ink.widget), ink.text.toStdString(),
                                ink.color, behind, contrast});
        }
    }
    return readings;
}

void screenshot(const std::string& name) {
    if (const char* dir = std::getenv("KORVANE_SCREENSHOT_DIR")) {
        const std::string command =
            "import -window root '" + std::string(dir) + "/" + name + ".png' >/dev/null 2>&1";
        EXPECT_EQ(std::system(command.c_str()), 0);
    }
}

// One state of a window: made by `open`, which returns what keeps it alive, and a few of the
// placeholders and secondary texts it must show, each whole on one line (so that a window that drew
// nothing cannot pass).
struct Screen {
    std::string name;
    std::function<std::shared_ptr<void>()> open;
    std::vector<std::string> shows;
};

std::shared_ptr<test::SettingsViewHarness>
settings(const std::function<void(test::SettingsViewHarness&)>& act) {
    auto harness = std::make_shared<test::SettingsViewHarness>(sampleFile, std::nullopt);
    act(*harness);
    return harness;
}

std::shared_ptr<test::OnboardingFixture> onboarding(bool granted, OnboardingStep step) {
    auto flow = std::make_shared<test::OnboardingFixture>(granted);
    flow->model->setCurrentStep(step);
    flow->advance(0);
    return flow;
}

// The welcome step with the demonstration's mock popup open.
std::shared_ptr<test::OnboardingFixture> demonstrationPopup() {
    auto flow = onboarding(true, OnboardingStep::welcome);
    auto* demo = dynamic_cast<TypewriterAnimationView*>(flow->window->findChild<QWidget*>("typewriter"));
    for (int tenth = 0; demo != nullptr && !demo->animation().showPopup() && tenth < 100; ++tenth) {
        flow->advance(0.1);
    }
    return flow;
}

void clearSnippets(test::SettingsViewHarness& h) {
    AppConfig empty = h.viewModel->draftConfig();
    empty.snippets.clear();
    h.viewModel->setDraftConfig(empty);
}

std::vector<Screen> screens() {
    using Harness = test::SettingsViewHarness;
    return {
        {"settings-snippets",
         [] { return settings([](Harness&) {}); },
         {"Search snippets...", "~/.config/korvane/config.json"}},
        {"settings-app-snippets",
         [] { return settings([](Harness& h) { h.click("tab:org.gnome.TextEditor"); }); },
         {"Popup position:"}},
        {"settings-snippet-editing",
         [] { return settings([](Harness& h) { h.visible<QAbstractButton>("snippetLine")->click(); }); },
         {"Description (optional)"}},
        {"settings-app-capture",
         [] { return settings([](Harness& h) { h.click("addApp"); }); },
         {"Bundle ID:", "App Name:"}},
        {"settings-installed-apps",
         [] {
             return settings([](Harness& h) {
                 h.click("addApp");
                 h.click("browseInstalledApps");
             });
         },
         {"Search apps..."}},
        {"settings-no-snippets",
         [] { return settings(clearSnippets); },
         {"Snippets let you expand short keys into text or open URLs."}},
        {"settings-new-snippet",
         [] {
             return settings([](Harness& h) {
                 clearSnippets(h);
                 h.click("addSnippetEmpty");
             });
         },
         {"Key", "Label (optional)", "Description (optional)"}},
        {"settings-preferences",
         [] {
             return settings([](Harness& h) {
                 h.window->view().setPage(ConfigurationPage::preferences);
                 h.window->resize(ConfigurationWindow::width, 1700);
             });
         },
         {"Choose which sources appear in completions. Drag to reorder, toggle to show or hide."}},
        {"onboarding-welcome", [] { return onboarding(false, OnboardingStep::welcome); }, {"Step 1 of 3"}},
        {"onboarding-welcome-demo-popup", demonstrationPopup, {"Tab accept"}},
        {"onboarding-experience-locked",
         [] { return onboarding(false, OnboardingStep::experience); },
         {"Grant accessibility permission in Step 1 to try this"}},
        {"onboarding-experience-open",
         [] { return onboarding(true, OnboardingStep::experience); },
         {";; here"}},
        {"onboarding-ready", [] { return onboarding(false, OnboardingStep::ready); }, {"Step 3 of 3"}},
        {"onboarding-ready-granted", [] { return onboarding(true, OnboardingStep::ready); }, {"Step 3 of 3"}},
    };
}

class LegibleTextsX11Test : public testing::Test {
protected:
    static void SetUpTestSuite() {
        // A KDE session with a dark colour scheme: Qt reads the scheme into the application's palette.
        const char* config = std::getenv("XDG_CONFIG_HOME");
        ASSERT_NE(config, nullptr);
        std::filesystem::create_directories(config);
        std::ofstream(std::filesystem::path(config) / "kdeglobals") << darkColourScheme;
        setenv("XDG_CURRENT_DESKTOP", "KDE", 1);
        setenv("KDE_FULL_SESSION", "true", 1);
        setenv("KDE_SESSION_VERSION", "5", 1);
        unsetenv("QT_QPA_PLATFORMTHEME");
        test::ensureX11Application("korvane_x11_legibletexts_tests");
        Animations::setEnabled(false);
    }
};

TEST_F(LegibleTextsX11Test, EveryTextReadsAtThreeToOneInLightAndDark) {
    ASSERT_NE(QApplication::instance(), nullptr) << "no X display";
    const QPalette dark = QApplication::palette();
    ASSERT_LT(dark.color(QPalette::Window).lightnessF(), 0.5)
        << "the session's dark colour scheme was not read";
    const QPalette light = QApplication::style()->standardPalette();
    for (const auto& [scheme, palette] : {std::pair{"light", light}, std::pair{"dark", dark}}) {
        for (const Screen& screen : screens()) {
            SCOPED_TRACE(screen.name + " " + scheme);
            QApplication::setPalette(palette);
            std::shared_ptr<void> shown = screen.open();
            for (QWidget* window : QApplication::topLevelWidgets()) {
                if (window->isVisible()) {
                    EXPECT_TRUE(QTest::qWaitForWindowExposed(window)) << describe(*window);
                }
            }
            QApplication::processEvents();
            screenshot(screen.name + "-" + scheme);
            const std::vector<Reading> readings = readEveryText();
            for (const std::string& text : screen.shows) {
                EXPECT_TRUE(std::any_of(readings.begin(), readings.end(),
                                        [&](const Reading& reading) { return reading.text == text; }))
                    << "\"" << text << "\" is not measured";
            }
            for (const Reading& reading : readings) {
                EXPECT_GE(reading.contrast, minimumTextContrast)
                    << "\"" << reading.text << "\" in " << reading.where << ": drawn in "
                    << reading.drawn.name(QColor::HexArgb).toStdString() << " on "
                    << reading.behind.name().toStdString();
            }
            shown.reset();
            test::SettingsViewHarness::flushDeletes();
        }
    }
}

} // namespace
} // namespace korvane
