// The settings window used from the keyboard: Tab and Shift+Tab walk the same stops both ways, each
// one named, drawn focused and in view; the scope tabs keep the focus and their place; Delete on a row
// asks about that snippet by its key.
#include "settings/views/configurationview.h"
#include "settings/views/snippetlinebutton.h"
#include "settingsviewharness.h"
#include "uikit/capsulebutton.h"
#include "uikit/confirmation.h"

#include <QAccessible>
#include <QApplication>
#include <QImage>
#include <QLineEdit>
#include <QMessageBox>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <algorithm>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace korvane {
namespace {

// Thirty snippets (more than the list shows at once) and one application scope.
std::string thirtySnippets() {
    nlohmann::json snippets = nlohmann::json::array();
    for (int i = 0; i < 30; ++i) {
        snippets.push_back({{"key", "k" + std::to_string(i)}, {"expand", "Text " + std::to_string(i)}});
    }
    return nlohmann::json{{"trigger", ";;"},
                          {"snippets", snippets},
                          {"app_snippets", nlohmann::json::parse(R"([{"bundle_id": "xterm",
                              "app_name": "XTerm", "snippets": []}])")}}
        .dump();
}

QWidget* focused() {
    return QApplication::focusWidget();
}

QString accessibleName(QWidget* widget) {
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
    return accessible ? accessible->text(QAccessible::Name) : QString();
}

// What a stop is known by, also once the list shows its row in another widget.
std::string describe(QWidget* widget) {
    return widget ? (widget->objectName() + " '" + accessibleName(widget) + "'").toStdString() : "none";
}

// The widget alone, without its children: what it draws of itself.
QImage look(QWidget* widget) {
    QImage image(widget->size(), QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    widget->render(&image, QPoint(), QRegion(), QWidget::DrawWindowBackground);
    return image;
}

// Whether some of `widget` shows in its window: its ancestors' bounds clip it.
bool inView(const QWidget* widget) {
    QRect shown = widget->rect();
    for (const QWidget* inner = widget; !inner->isWindow(); inner = inner->parentWidget()) {
        shown.translate(inner->pos());
        shown &= inner->parentWidget()->rect();
    }
    return !shown.isEmpty();
}

void press(Qt::Key key) {
    QTest::keyClick(focused(), key);
    test::SettingsViewHarness::flushDeletes();
}

class KeyboardWalkTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(QTest::qWaitForWindowActive(h.window.get())); }

    // Walks with `key` from the focus until it is back where it began: the stops in the order met,
    // the first one first. On the way, each stop of `page` must say what it is, show its focus (it
    // draws itself otherwise than once the focus has moved on) and stand in view.
    std::vector<std::string> cycle(Qt::Key key, QWidget* page) {
        std::vector<std::string> stops{describe(focused())};
        for (int step = 0; step < 200; ++step) {
            QWidget* stop = focused();
            const std::string name = describe(stop);
            const bool checked = stop && page->isAncestorOf(stop);
            const QImage drawn = checked ? look(stop) : QImage();
            if (checked) {
                EXPECT_FALSE(accessibleName(stop).trimmed().isEmpty()) << name << " has no name";
                EXPECT_TRUE(inView(stop)) << name << " is out of view";
            }
            press(key);
            if (checked && stop->isVisible() && describe(stop) == name) {
                EXPECT_NE(look(stop), drawn) << name << " draws no focus";
            }
            if (describe(focused()) == stops.front()) {
                return stops;
            }
            stops.push_back(describe(focused()));
        }
        ADD_FAILURE() << "the focus never came back";
        return stops;
    }

    test::SettingsViewHarness h{thirtySnippets()};
};

// From the sidebar round the window and back, forwards and then backwards, on either page: Shift+Tab
// meets the stops Tab met, the rows' pencils and trash cans among them, in the reverse order.
TEST_F(KeyboardWalkTest, ShiftTabWalksBackTheStopsTabWalks) {
    for (const ConfigurationPage shown : {ConfigurationPage::snippets, ConfigurationPage::preferences}) {
        SCOPED_TRACE(shown == ConfigurationPage::snippets ? "snippets" : "preferences");
        h.window->view().setPage(shown);
        h.find<QWidget>("sidebar")->setFocus(Qt::TabFocusReason);
        const std::vector<std::string> forwards = cycle(Qt::Key_Tab, h.find<QWidget>("pages"));
        std::vector<std::string> backwards = cycle(Qt::Key_Backtab, h.find<QWidget>("pages"));
        ASSERT_FALSE(backwards.empty());
        std::reverse(backwards.begin() + 1, backwards.end());
        const auto differ =
            std::mismatch(forwards.begin(), forwards.end(), backwards.begin(), backwards.end());
        EXPECT_TRUE(differ.first == forwards.end() && differ.second == backwards.end())
            << "Tab met " << forwards.size() << " stops, Shift+Tab " << backwards.size() << "; at stop "
            << differ.first - forwards.begin() << " Tab met "
            << (differ.first == forwards.end() ? "nothing" : *differ.first) << ", Shift+Tab "
            << (differ.second == backwards.end() ? "nothing" : *differ.second);
        const std::vector<const char*> expected =
            shown == ConfigurationPage::snippets
                ? std::vector<const char*>{"deleteSnippet 'Delete snippet k29'",
                                           "editSnippet 'Edit snippet k0'", "tab:xterm 'XTerm'",
                                           "searchSnippets 'Search snippets...'"}
                : std::vector<const char*>{"eye 'Hide Git'", "badgeStyle 'Badge style'",
                                           "resetToDefaults 'Reset to Defaults'"};
        for (const char* stop : expected) {
            EXPECT_NE(std::find(forwards.begin(), forwards.end(), stop), forwards.end()) << stop;
        }
    }
}

// Entered from either end while scrolled to its middle, the list brings the row the focus lands on
// into view.
TEST_F(KeyboardWalkTest, TheRowTheFocusEntersIsBroughtIntoView) {
    auto* list = h.find<QScrollArea>("snippetList");
    QScrollBar* bar = list->verticalScrollBar();
    auto wholly = [&](QWidget* widget) {
        const QRect place(widget->mapToGlobal(QPoint()), widget->size());
        return QRect(list->viewport()->mapToGlobal(QPoint()), list->viewport()->size()).contains(place);
    };
    for (const auto& [from, key] :
         {std::pair{"addSnippet", Qt::Key_Tab}, std::pair{"editConfigFile", Qt::Key_Backtab}}) {
        SCOPED_TRACE(from);
        bar->setValue(bar->maximum() / 2);
        h.visible<QWidget>(from)->setFocus(Qt::TabFocusReason);
        press(key);
        ASSERT_TRUE(list->isAncestorOf(focused())) << describe(focused());
        EXPECT_TRUE(wholly(focused())) << describe(focused());
    }
}

// Without a mouse: Space on a scope tab selects it and the keyboard stays on that tab, and the tabs,
// made anew on every change, keep their place in the Tab order, between the sidebar's toggle and the
// scope's own controls; the bar that holds them is no stop of its own.
TEST(ScopeTabsKeyboardTest, TabsKeepTheKeyboardAndTheirPlaceInTheTabOrder) {
    test::SettingsViewHarness h(R"({"trigger": ";;", "snippets": [], "app_snippets": [
        {"bundle_id": "xterm", "app_name": "XTerm", "snippets": []}],
        "settings": {"case_sensitive": false, "scan_depth": 5, "ignore_patterns": [], "max_branch_age_days": 90}})");
    ASSERT_TRUE(QTest::qWaitForWindowActive(h.window.get()));
    auto focusedName = [] { return focused() ? focused()->objectName().toStdString() : std::string(); };
    for (const char* tab : {"tab:xterm", "tab:global"}) {
        h.visible<CapsuleButton>(tab)->setFocus(Qt::TabFocusReason);
        press(Qt::Key_Space);
        EXPECT_TRUE(h.visible<CapsuleButton>(tab)->isSelected()) << tab;
        EXPECT_EQ(focusedName(), tab);
    }
    h.visible<CapsuleButton>("tab:xterm")->setFocus(Qt::TabFocusReason);
    press(Qt::Key_Space);
    std::vector<std::string> backwards;
    h.visible<QLineEdit>("searchSnippets")->setFocus(Qt::TabFocusReason);
    for (int i = 0; i < 5; ++i) {
        press(Qt::Key_Backtab);
        backwards.push_back(focusedName());
    }
    EXPECT_EQ(backwards, (std::vector<std::string>{"appPopupPosition", "addApp", "tab:xterm", "tab:global",
                                                   "toggleSidebar"}));
}

// Delete on a row asks about the snippet by its key, written so that no key from a project can hide,
// reorder or pass for another part of the question; cancelled, it deletes nothing.
TEST(DeleteQuestionTest, NamesTheSnippetByItsKeyAsWritten) {
    struct Case {
        std::string key;
        std::string question;
    };
    const Case cases[] = {
        {"sig", "Delete the snippet 'sig'?"},
        {"<b>all</b>", "Delete the snippet '<b>all</b>'?"},
        {"a\u202Elive", "Delete the snippet 'a<U+202E>live'?"},
        {"two\nlines", "Delete the snippet 'two\u21B5lines'?"},
        {std::string(100, 'k'),
         "Delete the snippet '" + std::string(60, 'k') + " \u2026 40 more characters not shown'?"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.question);
        test::SettingsViewHarness h(
            nlohmann::json{{"trigger", ";;"}, {"snippets", {{{"key", c.key}, {"expand", "text"}}}}}.dump());
        ASSERT_TRUE(QTest::qWaitForWindowActive(h.window.get()));
        auto* line = h.visible<SnippetLineButton>("snippetLine");
        ASSERT_NE(line, nullptr);
        line->setFocus(Qt::TabFocusReason);
        press(Qt::Key_Delete);
        QMessageBox* question = Confirmation::openUnder(h.window.get());
        ASSERT_NE(question, nullptr);
        EXPECT_EQ(question->text().toStdString(), c.question);
        EXPECT_EQ(question->windowTitle().toStdString(), c.question);
        EXPECT_EQ(question->textFormat(), Qt::PlainText) << "markup in a key is shown, not obeyed";
        h.answerConfirmation("cancel");
        h.settle();
        EXPECT_EQ(h.store->writes, 0);
    }
}

} // namespace
} // namespace korvane
