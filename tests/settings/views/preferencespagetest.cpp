#include "popup/views/popupcontentview.h"
#include "popup/views/popupview.h"
#include "settings/appearancechoice.h"
#include "settings/views/categoriesconfigurationview.h"
#include "settings/views/configurationview.h"
#include "settings/views/popuppreviewsection.h"
#include "settings/views/preferencestabview.h"
#include "settings/views/settingstepper.h"
#include "settingsviewharness.h"
#include "uikit/kittestsupport.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QApplication>
#include <QColorDialog>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSpontaneKeyEvent>
#include <QTest>
#include <QToolButton>
#include <QWheelEvent>
#include <gtest/gtest.h>

namespace korvane {
namespace {

const char* const handEdited = R"({"trigger": ";;", "snippets": [],
  "settings": {"case_sensitive": false, "scan_depth": 0, "ignore_patterns": [], "max_branch_age_days": 0,
               "popup_position": "top-left", "font_size": 30, "row_padding": 30, "badge_palette": "loud",
               "popup_width": 700, "detail_width": 100, "material": "glass", "appearance": "light",
               "font_color": "#123456", "row_height": 26}})";

class PreferencesPageTest : public ::testing::Test {
protected:
    void SetUp() override { h.window->view().setPage(ConfigurationPage::preferences); }
    PreferencesTabView& page() { return h.window->view().preferencesPage(); }
    SettingStepper* stepper(const char* name) { return h.find<SettingStepper>(name); }
    nlohmann::json settings() { return h.file()["settings"]; }

    test::SettingsViewHarness h{handEdited};
};

// Stored values are shown as they are; showing them writes nothing; four quick presses write once.
TEST_F(PreferencesPageTest, SteppersShowStoredValuesAndDebounce) {
    EXPECT_EQ(stepper("scanDepth")->text(), "Scan depth: 0");
    EXPECT_EQ(stepper("fontSize")->text(), "Font size: 30");
    EXPECT_EQ(stepper("rowPadding")->text(), "Row padding: 30");
    EXPECT_EQ(stepper("maxBranchAge")->text(), "Max branch age (days): Disabled");
    h.settle();
    EXPECT_EQ(h.store->writes, 0);

    // The font size stepper: from the default 16, four presses a few milliseconds apart, one write of 20.
    AppConfig draft = h.viewModel->draftConfig();
    draft.settings.fontSize.reset();
    h.viewModel->setDraftConfig(draft);
    for (int i = 0; i < 4; ++i) {
        stepper("fontSize")->findChild<QToolButton*>("increment")->click();
        h.scheduler.advance(0.05);
    }
    EXPECT_EQ(h.store->writes, 0);
    h.settle();
    EXPECT_EQ(h.store->writes, 1);
    EXPECT_EQ(settings()["font_size"], 20);
    // Whole numbers are written as the user writes them, stepped or not: 20, not 20.0.
    for (const char* written : {"\"font_size\": 20,", "\"row_padding\": 30,", "\"row_height\": 26,"}) {
        EXPECT_NE(h.fileText().find(written), std::string::npos) << written << " in " << h.fileText();
    }
    stepper("fontSize")->increment();
    EXPECT_EQ(stepper("fontSize")->text(), "Font size: 20") << "stops at 20";

    stepper("rowHeight")->increment();
    EXPECT_EQ(stepper("rowHeight")->text(), "Row height: 28");
    stepper("maxBranchAge")->increment();
    EXPECT_EQ(stepper("maxBranchAge")->text(), "Max branch age (days): 1");
    stepper("scanDepth")->decrement();
    EXPECT_EQ(stepper("scanDepth")->text(), "Scan depth: 0") << "below the range, only up moves";
}

// The colour text is kept as typed; "#12" alone writes nothing, and rides along later.
TEST_F(PreferencesPageTest, ColourTextAndWell) {
    auto* text = h.find<QLineEdit>("colorText");
    EXPECT_EQ(text->text(), "#123456");
    text->clear();
    QTest::keyClicks(text, "#12");
    h.settle();
    EXPECT_EQ(h.store->writes, 0);
    EXPECT_EQ(h.viewModel->draftConfig().settings.fontColor, "#12");
    stepper("rowPadding")->decrement();
    h.settle();
    EXPECT_EQ(settings()["font_color"], "#12");
    text->clear();
    QTest::keyClicks(text, "##1a2B3c");
    h.settle();
    EXPECT_EQ(settings()["font_color"], "##1a2B3c");
    text->selectAll();
    QTest::keyClick(text, Qt::Key_Backspace);
    h.settle();
    EXPECT_FALSE(settings().contains("font_color"));
    // Left empty, the field says that the default colour is in use, to the eye and to a screen reader.
    EXPECT_EQ(text->placeholderText(), "Default");
    EXPECT_EQ(QAccessible::queryAccessibleInterface(text)->text(QAccessible::Description), "Default");

    EXPECT_TRUE(PreferencesTabView::isSavableColorText("+12345"));
    EXPECT_FALSE(PreferencesTabView::isSavableColorText("#12345g"));
    EXPECT_EQ(PreferencesTabView::hexText(QColor(255, 127, 0)), "#FF7F00");
    EXPECT_EQ(PreferencesTabView::hexText(QColor::fromRgbF(1.0f, 0.5f, 0.0f)), "#FF7F00");
    h.click("colorWell");
    auto* dialog = h.window->findChild<QColorDialog*>("colorDialog");
    ASSERT_NE(dialog, nullptr);
    dialog->setCurrentColor(QColor(255, 127, 0));
    dialog->accept();
    h.settle();
    EXPECT_EQ(settings()["font_color"], "#FF7F00");
}

// Reset removes exactly the nine look keys and keeps position, trigger and the rest.
TEST_F(PreferencesPageTest, ResetRemovesExactlyTheLookKeys) {
    h.click("resetToDefaults");
    h.settle();
    EXPECT_EQ(h.store->writes, 1);
    const auto s = settings();
    for (const char* key : {"font_size", "font_color", "row_padding", "row_height", "badge_palette",
                            "popup_width", "detail_width", "material", "appearance"}) {
        EXPECT_FALSE(s.contains(key)) << key;
    }
    EXPECT_EQ(s["popup_position"], "top-left");
    EXPECT_EQ(s["scan_depth"], 0);
    EXPECT_EQ(h.file()["trigger"], ";;");
    EXPECT_EQ(stepper("rowHeight")->text(), "Row height: 32");
    EXPECT_TRUE(h.find<QPushButton>("appearance:dark")->isChecked()) << "no glass on this desktop";

    // The popup position's "Auto" removes the key; the trigger is stored as typed, empty included.
    auto* position = h.find<QComboBox>("popupPosition");
    EXPECT_EQ(position->currentText(), "Top Left");
    position->setCurrentIndex(0);
    emit position->activated(0);
    auto* trigger = h.find<QLineEdit>("trigger");
    trigger->clear();
    QTest::keyClicks(trigger, " ;");
    h.settle();
    EXPECT_FALSE(settings().contains("popup_position"));
    EXPECT_EQ(h.file()["trigger"], " ;");
    trigger->selectAll();
    QTest::keyClick(trigger, Qt::Key_Backspace);
    h.settle();
    EXPECT_EQ(h.file()["trigger"], "");
}

// Glass on a desktop without it stores the material, keeps the colour row usable and
// says why; Dark and Light write both fields; the preview follows at once.
TEST_F(PreferencesPageTest, AppearanceChoiceAndPreview) {
    auto* reason = h.find<QLabel>("glassReason");
    EXPECT_TRUE(h.find<QPushButton>("appearance:glass")->isChecked());
    EXPECT_EQ(reason->text(), PreferencesTabView::glassUnavailableOnThisDesktop());
    EXPECT_TRUE(h.find<QWidget>("colorWell")->isEnabled());
    h.click("appearance:dark");
    h.settle();
    EXPECT_EQ(settings()["material"], "solid");
    EXPECT_EQ(settings()["appearance"], "dark");
    EXPECT_FALSE(reason->isVisibleTo(h.window.get()));
    h.click("appearance:glass");
    h.settle();
    EXPECT_EQ(settings()["material"], "glass");
    EXPECT_EQ(settings()["appearance"], "dark");

    h.capabilities->setSupportsGlass(true);
    h.capabilities->setReduceTransparency(true);
    h.viewModel->setDraftConfig(h.viewModel->draftConfig());
    EXPECT_EQ(reason->text(), "Disabled by Reduce Transparency");
    EXPECT_TRUE(h.find<QWidget>("colorWell")->isEnabled());
    h.capabilities->setReduceTransparency(false);
    h.viewModel->setDraftConfig(h.viewModel->draftConfig());
    EXPECT_FALSE(h.find<QWidget>("colorWell")->isEnabled()) << "ignored while glass is drawn";
    h.capabilities->setSupportsGlass(false);

    PopupPreviewSection& preview = page().preview();
    EXPECT_EQ(preview.size(), QSize(400, 200)) << "a stored 700 is drawn 600 wide, capped at 400";
    EXPECT_EQ(PopupPreviewSection::frameWidth(ThemeConfig{}), 380);
    // A screen reader tells its sample rows apart from the popup's own list.
    auto* sample = preview.findChild<PopupView*>();
    ASSERT_NE(sample, nullptr);
    EXPECT_EQ(QAccessible::queryAccessibleInterface(sample)->text(QAccessible::Name).toStdString(),
              "Preview completions");
    stepper("rowHeight")->increment();
    EXPECT_EQ(preview.previewVM()->themeConfig().rowHeight, 28) << "before any save";
    // The runtime's reading of an unknown palette, not the minimal style.
    EXPECT_EQ(preview.previewVM()->themeConfig().badgePalette, BadgePalette::pastel);
    const int selected = preview.previewVM()->selectedIndex();
    QTest::mouseClick(&preview, Qt::LeftButton, {}, QPoint(50, 120));
    EXPECT_EQ(preview.previewVM()->selectedIndex(), selected);
    h.click("appearance:light");
    EXPECT_DOUBLE_EQ(PopupPreviewSection::backdropLevel(preview.previewVM()->themeConfig()), 0.85);

    for (bool dark : {false, true}) {
        test::useDarkPalette(dark);
        test::snapshotWidget(std::string("preview-") + (dark ? "dark" : "light"), preview, preview.size());
        h.click(dark ? "appearance:dark" : "appearance:light");
    }
    test::useDarkPalette(false);
}

// One notch of the wheel at the centre of `control`, delivered through its window as the desktop would.
void turnWheelOver(QWidget& window, QWidget& control, int delta) {
    const QPoint at = control.mapTo(&window, control.rect().center());
    QWheelEvent wheel(QPointF(at), QPointF(window.mapToGlobal(at)), QPoint(), QPoint(0, delta), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    // As from the desktop (sendEvent would take that away): only such an event goes on to the parents
    // of a widget that ignores it.
    QSpontaneKeyEvent::setSpontaneous(&wheel);
    qApp->notify(window.windowHandle(), &wheel);
}

// The wheel over a picker, a stepper or the colour well scrolls the page on and changes no setting,
// on either page; nothing is written.
TEST(ValueControlWheelTest, TheWheelScrollsThePageAndChangesNothing) {
    test::SettingsViewHarness h(R"({"trigger": ";;", "snippets": [],
      "app_snippets": [{"bundle_id": "org.gnome.TextEditor", "app_name": "Text Editor", "snippets": []}],
      "settings": {"case_sensitive": false, "scan_depth": 5, "ignore_patterns": [], "max_branch_age_days": 90,
                   "popup_position": "center", "badge_palette": "saturated"}})");
    const std::string before = h.fileText();
    h.viewModel->setSelectedAppBundleId("org.gnome.TextEditor");
    turnWheelOver(*h.window, *h.visible("appPopupPosition"), -120);

    h.window->view().setPage(ConfigurationPage::preferences);
    auto* page = h.find<QScrollArea>("preferencesScroll");
    QScrollBar* bar = page->verticalScrollBar();
    ASSERT_GT(bar->maximum(), 0);
    for (const char* name : {"scanDepth", "maxBranchAge", "popupPosition", "fontSize", "colorWell",
                             "rowPadding", "rowHeight", "badgeStyle"}) {
        QWidget* control = h.find(name);
        ASSERT_NE(control, nullptr) << name;
        page->ensureWidgetVisible(control, 0, page->viewport()->height() / 3);
        const int scrolled = bar->value();
        turnWheelOver(*h.window, *control, scrolled == bar->maximum() ? 120 : -120);
        EXPECT_NE(bar->value(), scrolled) << "the page did not scroll over " << name;
    }
    h.settle();
    EXPECT_EQ(h.store->writes, 0);
    EXPECT_EQ(h.fileText(), before);
}

// Opens the picker's list with the keyboard, moves to `row` and takes it with Return, as a user does.
void chooseWithKeys(QComboBox& picker, int row) {
    picker.setFocus();
    QTest::keyClick(&picker, Qt::Key_F4);
    ASSERT_TRUE(picker.view()->isVisible()) << "the list did not open";
    QAbstractItemView* list = picker.view();
    while (list->currentIndex().row() < row) {
        QTest::keyClick(list, Qt::Key_Down);
    }
    while (list->currentIndex().row() > row) {
        QTest::keyClick(list, Qt::Key_Up);
    }
    QTest::keyClick(list, Qt::Key_Return);
}

// The badge style picker shows the palette the popup draws, as the preview does: minimal without a
// setting, pastel for a text that names none (with its warning). Taking the palette shown again leaves
// the file as it was; another one is written, and Reset shows minimal again.
TEST(BadgeStylePickerTest, ShowsThePaletteInEffectAndTakingItAgainWritesNothing) {
    struct Case {
        std::string stored; // the setting's JSON text; empty: no setting
        QString shown;
        BadgePalette drawn;
    };
    const Case cases[] = {
        {"", "Minimal", BadgePalette::minimal},
        {"\"saturated\"", "Saturated", BadgePalette::saturated},
        {"\"pastel\"", "Pastel", BadgePalette::pastel},
        {"\"Minimal\"", "Pastel", BadgePalette::pastel},
        {"\"loud\"", "Pastel", BadgePalette::pastel},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored);
        const std::string palette = c.stored.empty() ? "" : ", \"badge_palette\": " + c.stored;
        test::SettingsViewHarness h(R"({"trigger": ";;", "snippets": [], "settings": {"case_sensitive": false,
            "scan_depth": 5, "ignore_patterns": [], "max_branch_age_days": 90)" +
                                    palette + "}}");
        h.window->view().setPage(ConfigurationPage::preferences);
        const std::string before = h.fileText();
        auto* picker = h.find<QComboBox>("badgeStyle");
        EXPECT_EQ(picker->currentText(), c.shown);
        EXPECT_EQ(h.window->view().preferencesPage().preview().previewVM()->themeConfig().badgePalette,
                  c.drawn);
        chooseWithKeys(*picker, picker->currentIndex());
        h.settle();
        EXPECT_EQ(h.store->writes, 0);
        EXPECT_EQ(h.fileText(), before);
        EXPECT_EQ(picker->currentText(), c.shown);
    }
    test::SettingsViewHarness h(R"({"trigger": ";;", "snippets": [], "settings": {"case_sensitive": false,
        "scan_depth": 5, "ignore_patterns": [], "max_branch_age_days": 90}})");
    h.window->view().setPage(ConfigurationPage::preferences);
    auto* picker = h.find<QComboBox>("badgeStyle");
    chooseWithKeys(*picker, 1);
    h.settle();
    EXPECT_EQ(h.file()["settings"]["badge_palette"], "saturated");
    h.click("resetToDefaults");
    h.settle();
    EXPECT_FALSE(h.file()["settings"].contains("badge_palette"));
    EXPECT_EQ(picker->currentText(), "Minimal");
}

TEST(AppearanceChoiceTest, ReadsAndWritesTheTwoSettings) {
    EXPECT_EQ(appearanceChoice(std::nullopt, PopupAppearance::light, true), AppearanceChoice::glass);
    EXPECT_EQ(appearanceChoice(std::nullopt, PopupAppearance::light, false), AppearanceChoice::light);
    EXPECT_EQ(appearanceChoice(PopupMaterial::solid, std::nullopt, true), AppearanceChoice::dark);
    EXPECT_EQ(appearanceChoice(PopupMaterial::glass, PopupAppearance::light, false), AppearanceChoice::glass);
    EXPECT_FALSE(appearanceChoiceFromString("Glass"));
    SettingsConfig settings;
    settings.appearance = "light";
    applyAppearanceChoice(AppearanceChoice::glass, settings);
    EXPECT_EQ(settings.material, "glass");
    EXPECT_EQ(settings.appearance, "light");
    applyAppearanceChoice(AppearanceChoice::dark, settings);
    EXPECT_EQ(settings.material, "solid");
    EXPECT_EQ(settings.appearance, "dark");
}

// The eye toggle and drag store the providers arrays; hidden rows cannot be dragged or dropped on.
TEST(SourcesListTest, ToggleAndDragStoreTheProviders) {
    test::SettingsViewHarness h(R"({"trigger": ";;", "snippets": [],
      "settings": {"case_sensitive": false, "scan_depth": 5, "ignore_patterns": [], "max_branch_age_days": 90},
      "custom_providers": [{"id": "tickets", "label": "Tickets", "command": "echo"}]})");
    h.window->view().setPage(ConfigurationPage::preferences);
    auto& sources = h.window->view().preferencesPage().sources();
    EXPECT_EQ(sources.count(), 9);
    sources.toggle("git");
    h.settle();
    EXPECT_EQ(
        h.file()["providers"],
        nlohmann::json::parse(R"(["recent","files","app","manual","skills","docs","scripts","tickets"])"));
    auto* gitEye = h.visible<QAbstractButton>("eye", h.visible<QWidget>("source:git"));
    ASSERT_NE(gitEye, nullptr);
    EXPECT_EQ(gitEye->accessibleName(), "Show Git");
    EXPECT_TRUE(h.visible<QLabel>("label", h.visible<QWidget>("source:git"))->font().strikeOut());

    sources.move({0}, 8); // "recent" to the end of the shown rows
    sources.move({8}, 0); // the hidden row: ignored
    sources.move({1}, 9); // below the first hidden row: ignored
    h.settle();
    EXPECT_EQ(
        h.file()["providers"],
        nlohmann::json::parse(R"(["files","app","manual","skills","docs","scripts","tickets","recent"])"));
    gitEye->click();
    h.settle();
    EXPECT_EQ(h.file()["providers"].back(), "git");

    using V = std::vector<std::string>;
    const V shown{"a", "b", "c"};
    EXPECT_EQ(CategoriesConfigurationView::movedShownIds(shown, {2}, 0), (V{"c", "a", "b"}));
    EXPECT_EQ(CategoriesConfigurationView::movedShownIds(shown, {0}, 3), (V{"b", "c", "a"}));
    EXPECT_EQ(CategoriesConfigurationView::movedShownIds(shown, {0}, 1), (V{"a", "b", "c"}));
    EXPECT_EQ(CategoriesConfigurationView::movedShownIds(shown, {0, 2}, 2), (V{"b", "a", "c"}));
    EXPECT_FALSE(CategoriesConfigurationView::movedShownIds(shown, {3}, 0));
    EXPECT_FALSE(CategoriesConfigurationView::movedShownIds(shown, {0}, 4));
}

// Without a mouse: Tab reaches the first source, which draws the style's focus ring; Alt+Down moves it
// one place at a time, the keyboard staying on it, and the order is saved once, as a drag saves it.
// Tab then still goes from the list's last row on to the next section.
TEST(SourcesListTest, KeysMoveAFocusedSource) {
    test::SettingsViewHarness h(R"({"trigger": ";;", "snippets": [],
      "settings": {"case_sensitive": false, "scan_depth": 5, "ignore_patterns": [], "max_branch_age_days": 90}})");
    h.window->view().setPage(ConfigurationPage::preferences);
    ASSERT_TRUE(QTest::qWaitForWindowActive(h.window.get()));
    auto press = [](Qt::Key key, Qt::KeyboardModifiers modifiers = {}) {
        QTest::keyClick(QApplication::focusWidget(), key, modifiers);
        test::SettingsViewHarness::flushDeletes();
    };
    auto focusedName = [] {
        return QApplication::focusWidget() ? QApplication::focusWidget()->objectName() : QString();
    };
    h.find<QLineEdit>("trigger")->setFocus(Qt::MouseFocusReason);
    for (int i = 0; i < 20 && !focusedName().startsWith("source:"); ++i) {
        press(Qt::Key_Tab);
    }
    ASSERT_EQ(focusedName(), "source:recent");

    QWidget* row = QApplication::focusWidget();
    const QImage focused = row->grab().toImage();
    press(Qt::Key_Tab);
    ASSERT_EQ(focusedName(), "eye");
    const QImage unfocused = row->grab().toImage();
    int ringPixels = 0;
    for (int x = 0; x < focused.width(); ++x) {
        for (int y = 0; y < focused.height(); ++y) {
            const bool edge = x < 4 || y < 3 || x >= focused.width() - 4 || y >= focused.height() - 3;
            ringPixels += edge && focused.pixel(x, y) != unfocused.pixel(x, y) ? 1 : 0;
        }
    }
    EXPECT_GE(ringPixels, focused.width()) << "no focus ring around the focused source";
    press(Qt::Key_Backtab);
    ASSERT_EQ(focusedName(), "source:recent");

    QScrollBar* pageBar = h.find<QScrollArea>("preferencesScroll")->verticalScrollBar();
    const int pageTop = pageBar->value();
    press(Qt::Key_Down, Qt::AltModifier);
    press(Qt::Key_Down, Qt::AltModifier);
    EXPECT_EQ(focusedName(), "source:recent") << "the keyboard stays on the moved source";
    EXPECT_EQ(pageBar->value(), pageTop) << "the page stays where it was";
    press(Qt::Key_Up, Qt::AltModifier);
    press(Qt::Key_Down, Qt::AltModifier);
    h.settle();
    EXPECT_EQ(h.file()["providers"],
              nlohmann::json::parse(R"(["files","app","recent","manual","skills","git","docs","scripts"])"));
    EXPECT_EQ(h.store->writes, 1);

    h.find<QWidget>("source:scripts")->setFocus(Qt::TabFocusReason);
    press(Qt::Key_Down, Qt::AltModifier);
    press(Qt::Key_Tab);
    press(Qt::Key_Tab);
    EXPECT_EQ(focusedName(), "popupPosition") << "Tab leaves the rebuilt list for the next section";
    h.settle();
    EXPECT_EQ(h.store->writes, 1) << "the last source does not move down";
}

// Space on a source's eye button hides or shows it, and the keyboard stays on that button, which now
// stands in the rebuilt row at the source's new place, with the page where it was.
TEST(SourcesListTest, TheKeyboardStaysOnTheEyeItPressed) {
    test::SettingsViewHarness h(R"({"trigger": ";;", "snippets": [],
      "settings": {"case_sensitive": false, "scan_depth": 5, "ignore_patterns": [], "max_branch_age_days": 90}})");
    h.window->view().setPage(ConfigurationPage::preferences);
    ASSERT_TRUE(QTest::qWaitForWindowActive(h.window.get()));
    auto focusedEye = [] {
        QWidget* focus = QApplication::focusWidget();
        return focus && focus->objectName() == "eye" ? focus->accessibleName().toStdString() : std::string();
    };
    QScrollBar* pageBar = h.find<QScrollArea>("preferencesScroll")->verticalScrollBar();
    h.find<QWidget>("source:recent")->findChild<QToolButton*>("eye")->setFocus(Qt::TabFocusReason);
    const int pageTop = pageBar->value();
    for (const char* expected : {"Show Recent", "Hide Recent"}) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
        test::SettingsViewHarness::flushDeletes();
        EXPECT_EQ(focusedEye(), expected);
        EXPECT_EQ(pageBar->value(), pageTop);
    }
    h.settle();
    EXPECT_EQ(h.file()["providers"],
              nlohmann::json::parse(R"(["files","app","manual","skills","git","docs","scripts","recent"])"));
}

} // namespace
} // namespace korvane
