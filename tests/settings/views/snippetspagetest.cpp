#include "settings/views/configurationview.h"
#include "settings/views/snippetlinebutton.h"
#include "settings/views/snippetrowcollapsed.h"
#include "settings/views/snippetrowexpanded.h"
#include "settings/views/snippetscopetabbar.h"
#include "settings/views/snippetstabview.h"
#include "settingsviewharness.h"
#include "uikit/animations.h"
#include "uikit/capsulebutton.h"
#include "uikit/confirmation.h"
#include "uikit/kittestsupport.h"

#include <QApplication>
#include <QComboBox>
#include <QGraphicsOpacityEffect>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <algorithm>
#include <gtest/gtest.h>

namespace korvane {
namespace {

const char* const twoSnippets = R"({"trigger": ";;", "snippets": [
  {"key": "sig", "expand": "Best regards", "label": "Signature"},
  {"key": "docs", "url": "https://example.org/docs", "description": "Team docs"}
], "settings": {"case_sensitive": false, "scan_depth": 5, "ignore_patterns": [], "max_branch_age_days": 90}})";

// "line" or a button's object name, and the key of the snippet row it stands in: where the focus is.
std::string focusedRow(const QWidget* widget) {
    const std::string what = qobject_cast<const SnippetLineButton*>(widget)
                                 ? "line"
                                 : (widget ? widget->objectName().toStdString() : std::string("nothing"));
    for (; widget; widget = widget->parentWidget()) {
        if (auto* row = qobject_cast<const SnippetRowCollapsed*>(widget)) {
            return what + " " + row->snippet().key;
        }
    }
    return what;
}

class SnippetsPageTest : public ::testing::Test {
protected:
    SnippetRowExpanded* editor() { return h->visible<SnippetRowExpanded>("snippetEditor"); }
    void type(const char* field, const QString& text) {
        auto* edit = h->visible<QLineEdit>(field, editor());
        ASSERT_NE(edit, nullptr) << field;
        edit->clear();
        QTest::keyClicks(edit, text);
    }
    std::vector<std::string> rowKeys() {
        std::vector<std::string> keys;
        for (auto* row : h->window->findChildren<SnippetRowCollapsed*>()) {
            if (row->isVisibleTo(h->window.get())) {
                keys.push_back(row->snippet().key);
            }
        }
        return keys;
    }
    QString emptyTitle() {
        auto* title = h->visible<QLabel>("emptyTitle");
        return title ? title->text() : QString();
    }

    std::unique_ptr<test::SettingsViewHarness> h = std::make_unique<test::SettingsViewHarness>(twoSnippets);
};

// "Add", type a key and a text, Return; one write 300 ms later, with no empty label or
// description keys, and the editor gone.
TEST_F(SnippetsPageTest, AddingASnippetWritesItOnce) {
    h->click("addSnippet");
    ASSERT_NE(editor(), nullptr);
    EXPECT_FALSE(h->visible<QPushButton>("save", editor())->isEnabled()) << "no key yet";
    type("key", "hi");
    h->visible<QPlainTextEdit>("expand", editor())->setPlainText("Hello there");
    QTest::keyClick(h->visible<QLineEdit>("key", editor()), Qt::Key_Return);
    EXPECT_EQ(editor(), nullptr);
    h->scheduler.advance(0.29);
    EXPECT_EQ(h->store->writes, 0);
    h->scheduler.advance(0.02);
    EXPECT_EQ(h->store->writes, 1);
    const auto snippets = h->file()["snippets"];
    ASSERT_EQ(snippets.size(), 3u);
    EXPECT_EQ(snippets[2], nlohmann::json::parse(R"({"key":"hi","expand":"Hello there"})"));
    EXPECT_EQ(rowKeys(), (std::vector<std::string>{"sig", "docs", "hi"}));
}

// The view model's messages show inside the open editor, which keeps the user's texts;
// switching a link to text saves the text and no link; Escape cancels.
TEST_F(SnippetsPageTest, EditorShowsErrorsInlineAndComposesOnlyTheChosenKind) {
    h->visible<SnippetLineButton>("snippetLine")->click(); // "sig"
    ASSERT_NE(editor(), nullptr);
    type("key", "docs");
    h->click("save");
    auto* error = h->visible<QLabel>("snippetError", editor());
    ASSERT_NE(error, nullptr);
    EXPECT_EQ(error->text(), "Key 'docs' already exists in this context");
    EXPECT_EQ(h->visible<QLineEdit>("key", editor())->text(), "docs") << "typed text survives the error";
    QTest::keyClick(h->visible<QLineEdit>("key", editor()), Qt::Key_Escape);
    EXPECT_EQ(editor(), nullptr);
    EXPECT_FALSE(h->viewModel->snippetError());

    // The link row opens in URL mode; Text with an empty body reaches the view model with neither kind.
    const auto lines = h->window->findChildren<SnippetLineButton*>("snippetLine");
    for (auto* line : lines) {
        if (focusedRow(line) == "line docs" && line->isVisibleTo(h->window.get())) {
            line->click();
        }
    }
    ASSERT_NE(editor(), nullptr);
    EXPECT_TRUE(editor()->isURL());
    h->click("typeText");
    EXPECT_EQ(editor()->composedSnippet(),
              (ManualSnippet{"docs", std::nullopt, std::nullopt, std::nullopt, "Team docs"}));
    h->click("save");
    EXPECT_EQ(h->visible<QLabel>("snippetError", editor())->text(),
              "Snippet 'docs' must have either 'expand' or 'url'");
    h->visible<QPlainTextEdit>("expand", editor())->setPlainText("see wiki");
    h->click("save");
    h->settle();
    EXPECT_EQ(h->file()["snippets"][1],
              nlohmann::json::parse(R"({"key":"docs","expand":"see wiki","description":"Team docs"})"));
    EXPECT_EQ(h->store->writes, 1);
}

// Deleting asks first; "Cancel" keeps the snippet, "Delete" removes it with one write.
TEST_F(SnippetsPageTest, DeletingAsksFirst) {
    auto* row = h->visible<SnippetRowCollapsed>("snippetRow");
    ASSERT_NE(row, nullptr);
    EXPECT_TRUE(h->visible<QAbstractButton>("deleteSnippet", row)->icon().isNull())
        << "hover buttons only while hovered";
    row->setHovered(true);
    h->click("deleteSnippet");
    EXPECT_TRUE(row->showingDeleteConfirmation());
    h->answerConfirmation("cancel");
    h->settle();
    EXPECT_EQ(rowKeys(), (std::vector<std::string>{"sig", "docs"}));
    EXPECT_EQ(h->store->writes, 0);

    row = h->visible<SnippetRowCollapsed>("snippetRow");
    row->setHovered(true);
    h->click("deleteSnippet");
    h->answerConfirmation("confirm");
    h->settle();
    EXPECT_EQ(rowKeys(), (std::vector<std::string>{"docs"}));
    EXPECT_EQ(h->store->writes, 1);
    EXPECT_EQ(h->file()["snippets"].size(), 1u);
}

// A keyboard user tabs from the search field to a row: its line draws the style's focus ring, and
// the row shows its pencil and trash, which Tab reaches next. Return opens the row's editor, as Space
// does, and Delete asks as the trash does.
TEST_F(SnippetsPageTest, KeyboardUsersSeeTheFocusEditAndDelete) {
    ASSERT_TRUE(QTest::qWaitForWindowActive(h->window.get()));
    auto press = [&](Qt::Key key) { QTest::keyClick(QApplication::focusWidget(), key); };
    auto* search = h->visible<QLineEdit>("searchSnippets");
    QTest::mouseClick(search, Qt::LeftButton, {}, search->rect().center());
    for (int i = 0; i < 4 && !qobject_cast<SnippetLineButton*>(QApplication::focusWidget()); ++i) {
        press(Qt::Key_Tab);
    }
    auto* line = qobject_cast<SnippetLineButton*>(QApplication::focusWidget());
    ASSERT_NE(line, nullptr);
    // The line says what the row holds; its pencil and trash what they do, and to which snippet.
    EXPECT_EQ(line->accessibleName(), "sig (Signature): Best regards");
    auto* row = qobject_cast<SnippetRowCollapsed*>(line->parentWidget());
    auto* pencil = h->visible<QAbstractButton>("editSnippet", row);
    auto* trash = h->visible<QAbstractButton>("deleteSnippet", row);
    ASSERT_NE(pencil, nullptr);
    ASSERT_NE(trash, nullptr);
    EXPECT_EQ(pencil->accessibleName(), "Edit snippet sig");
    EXPECT_EQ(trash->accessibleName(), "Delete snippet sig");
    EXPECT_FALSE(pencil->icon().isNull()) << "the row's buttons show while it has the focus";

    // The ring: the line's edge is drawn otherwise while it has the focus than once the focus has
    // moved on to the pencil of the same row.
    const QRect place(line->mapTo(h->window.get(), QPoint()), line->size());
    const QImage focused = h->window->grab(place).toImage();
    press(Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), pencil);
    const QImage unfocused = h->window->grab(place).toImage();
    int ringPixels = 0;
    for (int y = 0; y < focused.height(); ++y) {
        ringPixels += focused.pixel(0, y) != unfocused.pixel(0, y) ? 1 : 0;
        ringPixels += focused.pixel(focused.width() - 1, y) != unfocused.pixel(focused.width() - 1, y);
    }
    EXPECT_GE(ringPixels, focused.height()) << "no focus ring on the line's edges";
    press(Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), trash);
    press(Qt::Key_Tab);
    ASSERT_NE(QApplication::focusWidget(), nullptr);
    EXPECT_EQ(focusedRow(QApplication::focusWidget()), "line docs");
    EXPECT_EQ(QApplication::focusWidget()->accessibleName(), "docs: https://example.org/docs");
    EXPECT_TRUE(pencil->icon().isNull()) << "the buttons go with the focus";

    press(Qt::Key_Return);
    ASSERT_NE(editor(), nullptr);
    EXPECT_EQ(h->visible<QLineEdit>("key", editor())->text(), "docs");
    h->click("cancel");

    for (auto* sig : h->window->findChildren<SnippetLineButton*>("snippetLine")) {
        if (focusedRow(sig) == "line sig" && sig->isVisible()) {
            sig->setFocus(Qt::TabFocusReason);
        }
    }
    press(Qt::Key_Delete);
    QMessageBox* question = Confirmation::openUnder(h->window.get());
    ASSERT_NE(question, nullptr) << "Delete on a row asks first";
    EXPECT_EQ(question->text(), "Delete the snippet 'sig'?");
    h->answerConfirmation("confirm");
    h->settle();
    EXPECT_EQ(rowKeys(), (std::vector<std::string>{"docs"}));
    EXPECT_EQ(h->file()["snippets"].size(), 1u);
    EXPECT_EQ(h->store->writes, 1);

    // The keyboard goes on from the row that took the deleted one's place, and from "Add" once the
    // list is empty: the focus never rests unseen on the list itself.
    auto focusNow = [&] { return h->window->focusWidget(); };
    ASSERT_NE(focusNow(), nullptr);
    EXPECT_EQ(focusedRow(focusNow()), "line docs");
    QTest::keyClick(focusNow(), Qt::Key_Delete);
    h->answerConfirmation("confirm");
    EXPECT_TRUE(rowKeys().empty());
    EXPECT_EQ(focusNow(), h->visible<QPushButton>("addSnippet"));
}

// Search, empty states and one editor at a time.
TEST_F(SnippetsPageTest, SearchEmptyStatesAndSingleEditor) {
    auto* search = h->visible<QLineEdit>("searchSnippets");
    QTest::keyClicks(search, "SIGN");
    EXPECT_EQ(rowKeys(), (std::vector<std::string>{"sig"})) << "labels match regardless of case";
    search->clear();
    QTest::keyClicks(search, "team");
    EXPECT_TRUE(rowKeys().empty()) << "descriptions are not searched";
    EXPECT_EQ(emptyTitle(), "No matching snippets");
    EXPECT_EQ(h->visible<QPushButton>("addSnippetEmpty"), nullptr);
    search->clear();
    QTest::keyClicks(search, "  ");
    EXPECT_EQ(emptyTitle(), "No matching snippets") << "spaces are a query";
    search->clear();

    h->visible<SnippetLineButton>("snippetLine")->click();
    auto* first = editor();
    ASSERT_NE(first, nullptr);
    h->click("addSnippet");
    test::SettingsViewHarness::flushDeletes();
    EXPECT_EQ(h->window->findChildren<SnippetRowExpanded*>().size(), 1u) << "adding closes the row's editor";
    EXPECT_EQ(rowKeys().size(), 2u);

    // Emptying the scope shows the full empty state; its button opens only the editor.
    AppConfig none = h->viewModel->draftConfig();
    none.snippets.clear();
    h->viewModel->setIsAddingNewSnippet(false);
    h->viewModel->setDraftConfig(none);
    EXPECT_EQ(emptyTitle(), "No snippets yet");
    h->click("addSnippetEmpty");
    EXPECT_EQ(emptyTitle(), "");
    EXPECT_NE(editor(), nullptr);
}

// The rows of a long list that stand in the list's view, top to bottom, with their tops in the view.
std::vector<std::pair<int, SnippetRowCollapsed*>> rowsInView(QScrollArea& list) {
    std::vector<std::pair<int, SnippetRowCollapsed*>> rows;
    for (auto* row : list.findChildren<SnippetRowCollapsed*>()) {
        const QRect place(row->mapTo(list.viewport(), QPoint(0, 0)), row->size());
        if (row->isVisibleTo(&list) && place.intersects(list.viewport()->rect())) {
            rows.emplace_back(place.top(), row);
        }
    }
    std::sort(rows.begin(), rows.end());
    return rows;
}

// Three thousand snippets: the list holds widgets for a screenful of rows, and wherever it is
// scrolled or searched, the rows in view are an unbroken run of the view model's list that fills
// the view, so nothing is missing or out of order. Tab walks on past the last row in view.
TEST_F(SnippetsPageTest, ALongListBuildsOnlyTheRowsInView) {
    h = std::make_unique<test::SettingsViewHarness>(test::SettingsViewHarness::manySnippetsFile(3000));
    auto* list = h->find<QScrollArea>("snippetList");
    QScrollBar* bar = list->verticalScrollBar();
    EXPECT_LE(h->window->findChildren<SnippetRowCollapsed*>().size(), 40u);

    auto checkView = [&](const char* where) {
        SCOPED_TRACE(where);
        const auto listed = h->viewModel->filteredSnippets();
        const auto rows = rowsInView(*list);
        ASSERT_FALSE(rows.empty());
        const auto first = std::find(listed.begin(), listed.end(), rows.front().second->snippet());
        ASSERT_NE(first, listed.end());
        for (std::size_t i = 0; i < rows.size(); ++i) {
            ASSERT_LT(first + i, listed.end());
            EXPECT_EQ(rows[i].second->snippet(), *(first + i)) << "row " << i;
            if (i > 0) {
                EXPECT_EQ(rows[i].first, rows[i - 1].first + rows[i - 1].second->height() + 1);
            }
        }
        EXPECT_LE(rows.front().first, 0);
        const auto& [top, last] = rows.back();
        EXPECT_TRUE(top + last->height() >= list->viewport()->height() || last->snippet() == listed.back());
        EXPECT_EQ(bar->value() == 0, first == listed.begin());
        EXPECT_EQ(bar->value() == bar->maximum(), last->snippet() == listed.back());
    };
    checkView("top");
    bar->setValue(bar->maximum() / 2);
    checkView("middle");
    bar->setValue(bar->maximum());
    checkView("bottom");

    // Tab from the last row in view reaches the next snippet, past the focused row's pencil and
    // trash, and brings it into view; Shift+Tab goes back to the trash before it.
    ASSERT_TRUE(QTest::qWaitForWindowActive(h->window.get()));
    bar->setValue(bar->maximum() / 3);
    auto* last = rowsInView(*list).back().second;
    const std::string lastKey = last->snippet().key;
    auto* line = last->findChild<SnippetLineButton*>("snippetLine");
    line->setFocus();
    for (const int step : {1, 2}) {
        for (const char* button : {"editSnippet", "deleteSnippet"}) {
            QTest::keyClick(h->window->focusWidget(), Qt::Key_Tab);
            EXPECT_EQ(h->window->focusWidget()->objectName(), button);
        }
        QTest::keyClick(h->window->focusWidget(), Qt::Key_Tab);
        auto* focused = qobject_cast<SnippetLineButton*>(h->window->focusWidget());
        ASSERT_NE(focused, nullptr);
        const std::string key = "key" + std::to_string(std::stoi(lastKey.substr(3)) + step);
        EXPECT_EQ(focusedRow(focused), "line " + key);
        const QRect place(focused->mapTo(list->viewport(), QPoint(0, 0)), focused->size());
        EXPECT_TRUE(list->viewport()->rect().contains(place)) << key;
    }
    QTest::keyClick(h->window->focusWidget(), Qt::Key_Backtab);
    EXPECT_EQ(h->window->focusWidget()->accessibleName().toStdString(),
              "Delete snippet key" + std::to_string(std::stoi(lastKey.substr(3)) + 1));

    // Editing in place: the editor stands where its row stood and the rows go on right below it,
    // also once it has grown to show an error.
    const auto before = rowsInView(*list);
    auto* opened = before[2].second;
    const int openedTop = opened->y();
    const ManualSnippet after = before[3].second->snippet();
    opened->findChild<SnippetLineButton*>("snippetLine")->click();
    ASSERT_NE(editor(), nullptr);
    type("key", "key0");
    h->click("save");
    ASSERT_TRUE(h->visible<QLabel>("snippetError", editor()));
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(editor()->y(), openedTop);
    EXPECT_EQ(editor()->height(), editor()->sizeHint().height());
    const auto rows = rowsInView(*list);
    const auto next = std::find_if(rows.begin(), rows.end(),
                                   [&](const auto& row) { return row.second->snippet() == after; });
    ASSERT_NE(next, rows.end());
    EXPECT_EQ(next->second->y(), editor()->y() + editor()->height() + 1);
    h->click("cancel");

    QTest::keyClicks(h->visible<QLineEdit>("searchSnippets"), "number 2");
    checkView("searched");
    bar->setValue(bar->maximum());
    checkView("searched, bottom");
    EXPECT_LE(h->window->findChildren<SnippetRowCollapsed*>().size(), 40u);
}

// Typed into the search field of a list scrolled to its middle, a search shows its results from the
// first, and so does each further keystroke once its results are scrolled; erasing it brings the full
// list back where the user left it. Another scope's list shows from its first snippet too.
TEST_F(SnippetsPageTest, ASearchShowsItsResultsFromTheFirst) {
    h = std::make_unique<test::SettingsViewHarness>(test::SettingsViewHarness::manySnippetsFile(3000));
    auto* list = h->find<QScrollArea>("snippetList");
    QScrollBar* bar = list->verticalScrollBar();
    auto topKey = [&] { return rowsInView(*list).front().second->snippet().key; };
    bar->setValue(bar->maximum() / 2);
    const int middle = bar->value();
    const std::string middleKey = topKey();

    auto* search = h->visible<QLineEdit>("searchSnippets");
    QTest::mouseClick(search, Qt::LeftButton, {}, search->rect().center());
    ASSERT_EQ(h->window->focusWidget(), search);
    QTest::keyClicks(h->window->focusWidget(), "number 2");
    EXPECT_EQ(bar->value(), 0);
    EXPECT_EQ(topKey(), "key2");
    bar->setValue(bar->maximum());
    QTest::keyClicks(h->window->focusWidget(), "9");
    EXPECT_EQ(bar->value(), 0) << "a changed search starts from its first result";
    EXPECT_EQ(topKey(), "key29");

    QTest::keyClick(h->window->focusWidget(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(h->window->focusWidget(), Qt::Key_Backspace);
    EXPECT_EQ(search->text(), "");
    EXPECT_EQ(bar->value(), middle);
    EXPECT_EQ(topKey(), middleKey);

    // Another scope is another list: it shows from its first snippet, wherever the last one stood.
    nlohmann::json file = h->file();
    file["app_snippets"] = nlohmann::json::parse(R"([{"bundle_id": "xterm", "app_name": "XTerm"}])");
    for (int i = 0; i < 500; ++i) {
        file["app_snippets"][0]["snippets"].push_back({{"key", "x" + std::to_string(i)}, {"expand", "x"}});
    }
    h = std::make_unique<test::SettingsViewHarness>(file.dump());
    list = h->find<QScrollArea>("snippetList");
    bar = list->verticalScrollBar();
    for (const auto& [tab, first] : {std::pair{"tab:xterm", "x0"}, std::pair{"tab:global", "key0"}}) {
        bar->setValue(bar->maximum() / 2);
        h->click(tab);
        EXPECT_EQ(bar->value(), 0) << tab;
        EXPECT_EQ(topKey(), first);
    }
}

// After "Add" (a real click) the cursor is in the new snippet's key field, in view at the end of a
// long list, and typing goes there.
TEST_F(SnippetsPageTest, AddPutsTheCursorInTheKeyField) {
    h = std::make_unique<test::SettingsViewHarness>(test::SettingsViewHarness::manySnippetsFile(3000));
    auto* add = h->visible<QPushButton>("addSnippet");
    QTest::mouseClick(add, Qt::LeftButton, {}, add->rect().center());
    ASSERT_NE(editor(), nullptr);
    auto* key = h->visible<QLineEdit>("key", editor());
    EXPECT_EQ(h->window->focusWidget(), key);
    auto* list = h->find<QScrollArea>("snippetList");
    EXPECT_TRUE(
        list->viewport()->rect().contains(QRect(key->mapTo(list->viewport(), QPoint()), key->size())));
    QTest::keyClicks(h->window->focusWidget(), "new");
    EXPECT_EQ(key->text(), "new");
}

// Return or Space on a row of a long list scrolled to its middle opens its editor with the cursor in
// the key; Escape, "Cancel" or a save closes it and leaves the focus on the row it stood for, with
// the list where it was. A new snippet's editor hands the focus back to "Add", or to the new row.
TEST_F(SnippetsPageTest, TheEditorTakesTheFocusAndGivesItBack) {
    h = std::make_unique<test::SettingsViewHarness>(test::SettingsViewHarness::manySnippetsFile(3000));
    ASSERT_TRUE(QTest::qWaitForWindowActive(h->window.get()));
    auto press = [](Qt::Key key) { QTest::keyClick(QApplication::focusWidget(), key); };
    auto focused = [] { return focusedRow(QApplication::focusWidget()); };
    auto* list = h->find<QScrollArea>("snippetList");
    QScrollBar* bar = list->verticalScrollBar();
    bar->setValue(bar->maximum() / 2);
    const int scrolled = bar->value();
    // The last row wholly in view: the editor, taller, reaches below the view.
    SnippetRowCollapsed* row = nullptr;
    for (const auto& [top, shown] : rowsInView(*list)) {
        row = top + shown->height() <= list->viewport()->height() ? shown : row;
    }
    ASSERT_NE(row, nullptr);
    const std::string key = row->snippet().key;
    row->findChild<SnippetLineButton*>("snippetLine")->setFocus(Qt::TabFocusReason);

    struct Round {
        Qt::Key opener;
        std::function<void()> close;
        std::string row;
    };
    const Round rounds[] = {
        {Qt::Key_Return, [&] { press(Qt::Key_Escape); }, key},
        {Qt::Key_Space,
         [&] {
             auto* cancel = h->visible<QPushButton>("cancel", editor());
             QTest::mouseClick(cancel, Qt::LeftButton, {}, cancel->rect().center());
         },
         key},
        {Qt::Key_Return, [&] { press(Qt::Key_Return); }, key + "2"},
    };
    for (const Round& round : rounds) {
        SCOPED_TRACE(round.row);
        press(round.opener);
        ASSERT_NE(editor(), nullptr);
        EXPECT_EQ(QApplication::focusWidget(), h->visible<QLineEdit>("key", editor()));
        QTest::keyClicks(QApplication::focusWidget(), "2");
        round.close();
        EXPECT_EQ(editor(), nullptr);
        EXPECT_EQ(focused(), "line " + round.row);
        EXPECT_EQ(bar->value(), scrolled);
    }
    press(Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget()->objectName(), "editSnippet") << "Tab goes on within the row";

    h->visible<QPushButton>("addSnippet")->setFocus(Qt::TabFocusReason);
    press(Qt::Key_Space);
    press(Qt::Key_Escape);
    EXPECT_EQ(focused(), "addSnippet");
    press(Qt::Key_Space);
    QTest::keyClicks(QApplication::focusWidget(), "new");
    h->visible<QPlainTextEdit>("expand", editor())->setPlainText("Hello");
    press(Qt::Key_Return);
    EXPECT_EQ(focused(), "line new");
    EXPECT_EQ(bar->value(), bar->maximum()) << "the new row is in view at the end";
    h->settle();
    EXPECT_EQ(h->file()["snippets"][std::stoi(key.substr(3))]["key"], key + "2");
    EXPECT_EQ(h->file()["snippets"].back()["key"], "new");
}

// A deleted row and a closed editor leave with a fade where they stood, while the list beneath
// already shows the change.
TEST_F(SnippetsPageTest, RowsLeaveWithAFade) {
    Animations::setEnabled(true);
    struct AnimationsOff {
        ~AnimationsOff() { Animations::setEnabled(false); }
    } restore;
    auto expectFadeAt = [&](const QRect& place) {
        auto* picture = h->visible<QLabel>("fadingPicture");
        ASSERT_NE(picture, nullptr);
        EXPECT_EQ(picture->size(), place.size());
        EXPECT_LE((picture->pos() - place.topLeft()).manhattanLength(), 8);
        EXPECT_NE(qobject_cast<QGraphicsOpacityEffect*>(picture->graphicsEffect()), nullptr);
        QTRY_VERIFY_WITH_TIMEOUT(h->visible<QLabel>("fadingPicture") == nullptr, 2000);
    };

    auto* row = h->visible<SnippetRowCollapsed>("snippetRow");
    const QRect rowPlace = row->geometry();
    row->setHovered(true);
    h->click("deleteSnippet");
    h->answerConfirmation("confirm");
    EXPECT_EQ(rowKeys(), (std::vector<std::string>{"docs"}));
    expectFadeAt(rowPlace);

    h->visible<SnippetLineButton>("snippetLine")->click();
    ASSERT_NE(editor(), nullptr);
    const QRect editorPlace = editor()->geometry();
    h->click("cancel");
    EXPECT_EQ(editor(), nullptr);
    expectFadeAt(editorPlace);
}

// The per-application popup position: shown without writing; "Auto" removes the stored position.
TEST_F(SnippetsPageTest, ApplicationPopupPosition) {
    h = std::make_unique<test::SettingsViewHarness>(R"({"trigger": ";;", "snippets": [], "app_snippets": [
        {"bundle_id": "xterm", "app_name": "XTerm", "snippets": [], "popup_position": "bottom-left"}],
        "settings": {"case_sensitive": false, "scan_depth": 5, "ignore_patterns": [], "max_branch_age_days": 90}})");
    auto* position = h->find<QComboBox>("appPopupPosition");
    EXPECT_FALSE(position->isVisibleTo(h->window.get())) << "hidden in the global scope";
    h->click("tab:xterm");
    EXPECT_TRUE(position->isVisibleTo(h->window.get()));
    EXPECT_EQ(position->currentText(), "Bottom Left");
    h->settle();
    EXPECT_EQ(h->store->writes, 0);
    position->setCurrentIndex(0);
    emit position->activated(0);
    h->settle();
    EXPECT_EQ(h->store->writes, 1);
    EXPECT_FALSE(h->file()["app_snippets"][0].contains("popup_position"));
    position->setCurrentIndex(7);
    emit position->activated(7);
    h->settle();
    EXPECT_EQ(h->file()["app_snippets"][0]["popup_position"], "bottom-right");

    // A selection that names no configured application selects no tab, not even "Global", and the
    // picker shows "Auto" for it.
    h->viewModel->setSelectedAppBundleId("gone");
    EXPECT_FALSE(h->visible<CapsuleButton>("tab:global")->isSelected());
    EXPECT_FALSE(h->visible<CapsuleButton>("tab:xterm")->isSelected());
    EXPECT_EQ(position->currentText(), "Auto (use global default)");
    EXPECT_EQ(emptyTitle(), "No snippets yet");
}

// A link that is present but empty opens the editor as text, as its row shows it, so that it can be
// saved; a real link opens as a link. Empty optional fields compose as absent.
TEST(SnippetEditorTest, SeedsTheKindTheRowShows) {
    test::ensureKitApplication();
    SnippetRowExpanded emptyLink(ManualSnippet{"k", "x", "", std::nullopt, std::nullopt}, std::nullopt, {},
                                 {});
    EXPECT_FALSE(emptyLink.isURL());
    EXPECT_TRUE(emptyLink.canSave());
    EXPECT_EQ(emptyLink.composedSnippet(),
              (ManualSnippet{"k", "x", std::nullopt, std::nullopt, std::nullopt}));
    SnippetRowExpanded link(ManualSnippet{"k", std::nullopt, "https://e.org", "", ""}, std::nullopt, {}, {});
    EXPECT_TRUE(link.isURL());
    EXPECT_EQ(link.composedSnippet(),
              (ManualSnippet{"k", std::nullopt, "https://e.org", std::nullopt, std::nullopt}));
    SnippetRowExpanded fresh(std::nullopt, std::nullopt, {}, {});
    EXPECT_FALSE(fresh.isURL());
    EXPECT_FALSE(fresh.canSave());
}

// The row's symbol and preview follow the snippet's fields.
TEST(SnippetLineTest, KindAndPreview) {
    struct Case {
        ManualSnippet snippet;
        const char* symbol;
        const char* preview;
    };
    const Case cases[] = {
        {{"a", "x", "", std::nullopt, std::nullopt}, "text.alignleft", "x"},
        {{"b", "x", "https://e.org", std::nullopt, std::nullopt}, "arrow.up.forward.square", "x"},
        {{"c", std::nullopt, "https://e.org", std::nullopt, std::nullopt},
         "arrow.up.forward.square",
         "https://e.org"},
        {{"d", "", std::nullopt, std::nullopt, std::nullopt}, "text.alignleft", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.snippet.key);
        EXPECT_STREQ(SnippetLineButton::kindSymbol(c.snippet), c.symbol);
        EXPECT_EQ(SnippetLineButton::previewText(c.snippet), QString(c.preview));
    }
}

} // namespace
} // namespace korvane
