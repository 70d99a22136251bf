#include "app/statusbarcontroller.h"

#include "app/trayicons.h"
#include "platform/fake/fakeaccessibilitytrust.h"
#include "platform/fake/fakesecureinputprobe.h"
#include "shelltestsupport.h"
#include "support/logcapture.h"

#include <QAction>
#include <QFontMetrics>
#include <QImage>
#include <QKeySequence>
#include <QMenu>
#include <QPainter>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace korvane {
namespace {

// One menu entry as the user sees it; a separator has the title "---". Qt counts a hidden entry as
// disabled, whatever it was set to.
struct Entry {
    std::string title;
    bool enabled;
    bool visible;
    std::string shortcut;

    bool operator==(const Entry&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Entry& e) {
    return out << "{\"" << e.title << "\", " << e.enabled << ", " << e.visible << ", \"" << e.shortcut
               << "\"}";
}

std::vector<Entry> entries(const QMenu& menu) {
    std::vector<Entry> result;
    for (const QAction* action : menu.actions()) {
        result.push_back({action->isSeparator() ? "---" : action->text().toStdString(), action->isEnabled(),
                          action->isVisible(), action->shortcut().toString().toStdString()});
    }
    return result;
}

QAction* item(const QMenu& menu, const std::string& title) {
    for (QAction* action : menu.actions()) {
        if (action->text().toStdString() == title) {
            return action;
        }
    }
    return nullptr;
}

class StatusBarControllerTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::ensureShellApplication();
        owned = std::make_unique<StatusBarController>(probe, trust);
        owned->setup();
    }

    test::LogCapture log;
    std::shared_ptr<FakeSecureInputProbe> probe = std::make_shared<FakeSecureInputProbe>();
    std::shared_ptr<FakeAccessibilityTrust> trust = std::make_shared<FakeAccessibilityTrust>();
    std::unique_ptr<StatusBarController> owned;
    StatusBarController& controller() { return *owned; }
};

TEST_F(StatusBarControllerTest, MenuHoldsTwelveEntriesInOrderAndFollowsItsState) {
    const std::vector<Entry> initial{
        {"Project: (none)", false, true, ""},
        {"0 snippets loaded", false, true, ""},
        {"", false, false, ""},
        {"Update Available", false, false, ""},
        {"---", true, true, ""},
        {"Edit", true, true, ""},
        {"Configuration", true, true, "Ctrl+,"},
        {"Check for Updates…", true, true, ""},
        {"Onboarding", true, true, ""},
        {"---", true, true, ""},
        {"Secure input active (completions paused)", false, false, ""},
        {"Quit Korvane", true, true, "Ctrl+Q"},
    };
    EXPECT_EQ(entries(*controller().menu()), initial);

    controller().setConfigError("line 3: unexpected \"}\"");
    EXPECT_EQ(entries(*controller().menu())[2],
              (Entry{"⚠ Config error: line 3: unexpected \"}\"", false, true, ""}));
    controller().setConfigError(std::nullopt);
    EXPECT_EQ(entries(*controller().menu())[2],
              (Entry{"⚠ Config error: line 3: unexpected \"}\"", false, false, ""}));

    // A long message is cut to a menu's width; its tooltip holds it whole.
    const std::string longMessage = "settings.font_color: " + std::string(400, 'x');
    controller().setConfigError(longMessage);
    const QAction* error = controller().menu()->actions()[2];
    EXPECT_LE(QFontMetrics(controller().menu()->font()).horizontalAdvance(error->text()),
              StatusBarController::configErrorMaxWidth);
    EXPECT_TRUE(error->text().endsWith(QChar(0x2026))) << error->text().toStdString();
    EXPECT_EQ(error->toolTip().toStdString(), "⚠ Config error: " + longMessage);
    controller().setConfigError(std::nullopt);

    for (const auto& [count, title] :
         std::vector<std::pair<std::size_t, std::string>>{{0, "0 snippets loaded"},
                                                          {1, "1 snippet loaded"},
                                                          {2, "2 snippets loaded"},
                                                          {11, "11 snippets loaded"}}) {
        controller().setSnippetCount(count);
        EXPECT_EQ(entries(*controller().menu())[1].title, title);
    }

    controller().setProjectTitle("Project: korvane");
    controller().setUpdateAvailable("1.2");
    EXPECT_EQ(entries(*controller().menu())[3], (Entry{"Update Available: v1.2", true, true, ""}));
    // A rebuilt menu starts from its initial titles but keeps announcing the update.
    controller().buildMenu();
    std::vector<Entry> rebuilt = initial;
    rebuilt[3] = {"Update Available: v1.2", true, true, ""};
    EXPECT_EQ(entries(*controller().menu()), rebuilt);

    // With no update feed there is nothing to check, also after a rebuild.
    controller().setCanCheckForUpdates(false);
    controller().buildMenu();
    EXPECT_EQ(entries(*controller().menu())[7], (Entry{"Check for Updates…", false, true, ""}));
}

TEST(TrayIconsTest, EveryGlyphReadsOnLightAndDarkTrays) {
    test::ensureShellApplication();
    for (const char* name : {"korvane", "changes-prevent", "go-down"}) {
        const QImage glyph = trayGlyph(name).toImage();
        for (const QColor tray : {QColor(Qt::white), QColor(Qt::black)}) {
            QImage shown(glyph.size(), QImage::Format_RGB32);
            shown.fill(tray);
            QPainter(&shown).drawImage(0, 0, glyph);
            int contrasting = 0;
            for (int y = 0; y < shown.height(); ++y) {
                for (int x = 0; x < shown.width(); ++x) {
                    contrasting += std::abs(qGray(shown.pixel(x, y)) - qGray(tray.rgb())) > 128;
                }
            }
            EXPECT_GE(contrasting, 20) << name << " on " << tray.name().toStdString();
        }
    }
}

TEST_F(StatusBarControllerTest, SecureInputIconWinsOverTheUpdateAndGivesItBack) {
    EXPECT_EQ(controller().iconName(), StatusBarController::normalIconName);
    controller().setUpdateAvailable("2.0");
    EXPECT_EQ(controller().iconName(), "go-down");
    EXPECT_EQ(controller().iconDescription(), "Update Available");

    probe->enabled = true;
    controller().secureInputTimerFired();
    EXPECT_EQ(controller().iconName(), "changes-prevent");
    EXPECT_EQ(controller().iconDescription(), "Korvane");
    EXPECT_TRUE(item(*controller().menu(), "Secure input active (completions paused)")->isVisible());

    // An update announced while secure input is on does not take the icon from it.
    controller().setUpdateAvailable("2.1");
    EXPECT_EQ(controller().iconName(), "changes-prevent");

    probe->enabled = false;
    controller().secureInputTimerFired();
    EXPECT_EQ(controller().iconName(), "go-down");
    EXPECT_FALSE(item(*controller().menu(), "Secure input active (completions paused)")->isVisible());

    controller().clearUpdateNotice();
    EXPECT_EQ(controller().iconName(), StatusBarController::normalIconName);
    EXPECT_EQ(controller().iconDescription(), "Korvane");
    EXPECT_FALSE(item(*controller().menu(), "Update Available: v2.1")->isVisible());
}

TEST_F(StatusBarControllerTest, OpeningTheMenuFollowsTheAccessibilityPermission) {
    trust->trusted = false;
    Q_EMIT controller().menu()->aboutToShow();
    QAction* onboarding = controller().menu()->actions()[8];
    EXPECT_EQ(onboarding->text().toStdString(), "Finish Setup");
    EXPECT_EQ(onboarding->toolTip().toStdString(), "Setup incomplete");
    EXPECT_EQ(controller().onboardingMenuItemSymbolName(), "dialog-warning");

    trust->trusted = true;
    Q_EMIT controller().menu()->aboutToShow();
    EXPECT_EQ(onboarding->text().toStdString(), "Onboarding");
    EXPECT_EQ(controller().onboardingMenuItemSymbolName(), "help-about");
}

TEST_F(StatusBarControllerTest, TrustOffersStandBelowTheProjectLineAndSurviveARebuild) {
    std::vector<std::size_t> trusted;
    controller().setProjectTrustOffers({"alpha", "beta"},
                                       [&](std::size_t index) { trusted.push_back(index); });
    controller().buildMenu();
    auto menu = entries(*controller().menu());
    ASSERT_EQ(menu.size(), 14u);
    EXPECT_EQ(menu[1].title, "Trust commands of alpha…");
    EXPECT_EQ(menu[2].title, "Trust commands of beta…");
    EXPECT_EQ(menu[3].title, "0 snippets loaded");
    item(*controller().menu(), "Trust commands of beta…")->trigger();
    EXPECT_EQ(trusted, std::vector<std::size_t>{1});

    controller().setProjectTrustOffers({}, nullptr);
    EXPECT_EQ(entries(*controller().menu()).size(), 12u);

    // Folder names come from whatever the project holds: shown with nothing hidden, "&" as itself.
    controller().setProjectTrustOffers({"/tmp/a&b\u202Egpj.sh"}, nullptr);
    controller().setProjectTitle("Project: x&y\u202E");
    EXPECT_EQ(entries(*controller().menu())[1].title, "Trust commands of /tmp/a&&b<U+202E>gpj.sh…");
    EXPECT_EQ(controller().menu()->actions().front()->text().toStdString(), "Project: x&&y<U+202E>");
    controller().setProjectTrustOffers({}, nullptr);

    // A trusted folder is said first, with which trust is in effect and the way to take it back, also
    // after a rebuild.
    int stopped = 0;
    controller().setTrustedFolder("/src/a&b\u202E", StatusBarController::FolderTrust::folderAlone,
                                  [&] { ++stopped; });
    controller().setProjectTrustOffers({"/src/a&b"}, nullptr);
    controller().buildMenu();
    menu = entries(*controller().menu());
    ASSERT_EQ(menu.size(), 15u);
    EXPECT_EQ(menu[1], (Entry{"Trusted: /src/a&&b<U+202E> (folder only)", false, true, ""}));
    EXPECT_EQ(menu[2], (Entry{"Stop Trusting This Folder", true, true, ""}));
    EXPECT_EQ(menu[3].title, "Trust commands of /src/a&&b…");
    item(*controller().menu(), "Stop Trusting This Folder")->trigger();
    EXPECT_EQ(stopped, 1);
    controller().setProjectTrustOffers({}, nullptr);
    controller().setTrustedFolder("/src/p", StatusBarController::FolderTrust::projectAndFolder, nullptr);
    EXPECT_EQ(entries(*controller().menu())[1].title, "Trusted: /src/p (project's commands and folder)");
    controller().setTrustedFolder(std::nullopt, StatusBarController::FolderTrust::folderAlone, nullptr);
    EXPECT_EQ(entries(*controller().menu()).size(), 12u);
}

} // namespace
} // namespace korvane
