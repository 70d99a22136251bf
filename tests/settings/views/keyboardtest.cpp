// The settings window used from the keyboard: Delete on a row asks about that snippet by its key.
#include "settings/views/snippetlinebutton.h"
#include "settingsviewharness.h"
#include "uikit/confirmation.h"

#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <gtest/gtest.h>
#include <string>

namespace korvane {
namespace {

QWidget* focused() {
    return QApplication::focusWidget();
}

void press(Qt::Key key) {
    QTest::keyClick(focused(), key);
    test::SettingsViewHarness::flushDeletes();
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
