// The project follower inside the whole shell: application switches and configuration reloads.
#include "platform/qt/qtalertpresenter.h"
#include "shellfixture.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTextEdit>
#include <QTimer>
#include <functional>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace korvane {
namespace {

using testing::Contains;
using testing::HasSubstr;
using testing::Not;
using ProjectFollowerTest = test::ShellFixture;

TEST_F(ProjectFollowerTest, RecentApplicationsKeepTheLastTenNewestFirstAndNeverKorvane) {
    for (int i = 0; i < 11; ++i) {
        workspace->activate({"app" + std::to_string(i), "App " + std::to_string(i), 100 + i});
    }
    workspace->activate({"app3", "App 3", 103});
    workspace->activate({"korvane", "Korvane", 1});
    settle();
    std::vector<std::string> ids;
    for (const auto& app : coordinator->projectFollower().recentAppHistory()) {
        ids.push_back(app.bundleID);
    }
    EXPECT_EQ(ids, (std::vector<std::string>{"app3", "app10", "app9", "app8", "app7", "app6", "app5", "app4",
                                             "app2", "app1"}));
    EXPECT_EQ(coordinator->projectFollower().lastNonKorvaneApp()->bundleID, "app3");
}

// Our own writes beside config.json (history, trust) and rewrites of the same bytes reload nothing;
// a real change does, and an empty trigger turns completion off instead of matching nothing.
TEST_F(ProjectFollowerTest, OnlyARealChangeOfTheConfigFileReloadsIt) {
    lines.clear();
    coordinator->projectFollower().reloadGlobalConfig();
    EXPECT_THAT(lines.lines(), Not(Contains("[Korvane] Global config reloaded, merged with project config")));
    writeConfig(R"({"trigger": "//", "snippets": [{"key": "sig", "expand": "Cheers"}]})");
    coordinator->projectFollower().reloadGlobalConfig();
    EXPECT_THAT(lines.lines(), Contains("[Korvane] Global config reloaded, merged with project config"));
    EXPECT_EQ(coordinator->triggerDetector().trigger(), "//");
    type("//sig");
    press(keycode::returnKey);
    EXPECT_EQ(field->text(), "Cheers");

    writeConfig(R"({"trigger": ""})");
    coordinator.reset();
    lines.clear();
    makeCoordinator();
    EXPECT_THAT(
        lines.lines(),
        Contains("[Korvane] Ready, but the trigger is empty: set \"trigger\" in config.json to activate."));
}

// Detection in a terminal lists every process: it runs once per change of the active window, and
// not between a trigger and the popup's first frame.
TEST_F(ProjectFollowerTest, TheProjectIsDetectedPerWindowChangeAndAfterTheTriggerNeverAtIt) {
    activeApp->setFrontmost(FrontmostApplication{"xterm", 77}, 0x500001);
    workspace->activate({"xterm", "XTerm", 77});
    scheduler.advance(ProjectFollower::switchDetectionDelay);
    settle();
    const int listings = processTable->listings();
    EXPECT_GT(listings, 0);
    type(";;");
    EXPECT_TRUE(popup->isVisible());
    EXPECT_EQ(processTable->listings(), listings);
    // Once the popup is up the project is looked at again: a shell that changed folder is noticed.
    scheduler.advance(CompletionFlow::triggerDetectionDelay);
    const int afterTrigger = processTable->listings();
    EXPECT_GT(afterTrigger, listings);
    type("si");
    press(keycode::escape);
    workspace->activate({"xterm", "XTerm", 77});
    scheduler.advance(ProjectFollower::switchDetectionDelay);
    settle();
    EXPECT_GT(processTable->listings(), afterTrigger);
}

// Trusting asks first, listing what it unlocks, and stores exactly what it showed: a file changed
// while the question was open is offered again.
TEST_F(ProjectFollowerTest, TrustIsGivenKnowinglyForWhatWasShown) {
    const auto projectFile = [&](const std::string& command) {
        dir.write("project/.korvane.json", R"({"snippets": [{"key": "sig", "expand": "evil"}],
            "custom_providers": [{"id": "p", "label": "P", "command": ")" +
                                               command + R"("}]})");
    };
    projectFile("make list");
    coordinator->projectFollower().handleProjectChange((dir.path() / "project").string(), "project");
    settle();

    ConfigManager& config = *coordinator->configManager();
    alerts->confirmAnswer = false;
    coordinator->projectFollower().trustProjectCommands(0);
    ASSERT_EQ(alerts->alerts().size(), 1u);
    EXPECT_EQ(alerts->alerts()[0].title, "Trust This Project?");
    EXPECT_THAT(alerts->alerts()[0].message, HasSubstr("Commands it will run:\n    make list"));
    EXPECT_THAT(alerts->alerts()[0].message, HasSubstr("Snippets of yours it will replace:\n    sig"));
    EXPECT_EQ(config.projectsAwaitingTrust().size(), 1u);

    alerts->confirmAnswer = true;
    alerts->onShow = [&](const FakeAlertPresenter::Alert&) {
        projectFile("make worse");
        coordinator->projectFollower().handleProjectConfigChange();
    };
    coordinator->projectFollower().trustProjectCommands(0);
    alerts->onShow = nullptr;
    ASSERT_EQ(config.projectsAwaitingTrust().size(), 1u);
    EXPECT_THAT(config.projectsAwaitingTrust()[0].commands, testing::ElementsAre("make worse"));

    coordinator->projectFollower().trustProjectCommands(0);
    EXPECT_TRUE(config.projectsAwaitingTrust().empty());
    EXPECT_EQ(alerts->alerts().size(), 3u);
}

// The user's own folder, with no project file asking for trust, is trusted from the tray too, after a
// confirmation that says what that changes; a project file asking for trust is offered on its own.
TEST_F(ProjectFollowerTest, TheCurrentFolderIsTrustedFromTheTrayOnceConfirmed) {
    const auto menuItem = [&](const std::string& title) -> QAction* {
        for (QAction* action : coordinator->statusBar()->menu()->actions()) {
            if (action->text().toStdString() == title) {
                return action;
            }
        }
        return nullptr;
    };
    const std::string mine = (dir.path() / "mine").string();
    std::filesystem::create_directories(mine);
    coordinator->projectFollower().handleProjectChange(mine, "mine");
    settle();
    ASSERT_NE(menuItem("Trust this folder…"), nullptr);
    for (const bool answer : {false, true}) {
        alerts->confirmAnswer = answer;
        menuItem("Trust this folder…")->trigger();
        EXPECT_EQ(coordinator->configManager()->folderAwaitingTrust().has_value(), !answer);
    }
    EXPECT_EQ(alerts->alerts()[0].title, "Trust This Folder?");
    EXPECT_THAT(alerts->alerts()[0].message, HasSubstr("'" + mine + "'?\n\nYour own commands"));
    EXPECT_THAT(alerts->alerts()[0].message, HasSubstr("hooks, filters, aliases"));
    EXPECT_EQ(menuItem("Trust this folder…"), nullptr);

    dir.write("mine/.korvane.json", R"({"custom_providers": [{"id": "own", "label": "O", "command": "y"}]})");
    coordinator->projectFollower().handleProjectConfigChange();
    EXPECT_EQ(menuItem("Trust this folder…"), nullptr);
    EXPECT_NE(menuItem("Trust commands of " + mine + "…"), nullptr);
}

// What a modal box showed, and how it was answered.
struct ShownBox {
    std::string text;
    std::vector<std::string> buttons;
    bool fitsTheScreen = false;
    bool buttonsInSight = true;
};

// Reads the modal box that `open` brings up, then presses its button labelled `press`, if it has one,
// or closes it.
ShownBox readBox(const std::function<void()>& open, const QString& press) {
    ShownBox shown;
    QTimer::singleShot(0, [&] {
        QWidget* box = QApplication::activeModalWidget();
        ASSERT_NE(box, nullptr);
        shown.fitsTheScreen = box->screen()->availableGeometry().contains(box->frameGeometry());
        for (const QLabel* label : box->findChildren<QLabel*>()) {
            shown.text += label->text().toStdString() + "\n";
        }
        for (const QTextEdit* view : box->findChildren<QTextEdit*>()) {
            shown.text += view->toPlainText().toStdString() + "\n";
        }
        QPushButton* pressed = nullptr;
        for (QPushButton* button : box->findChildren<QPushButton*>()) {
            shown.buttonsInSight &= box->rect().contains(button->mapTo(box, button->rect().bottomRight()));
            shown.buttons.push_back(button->text().toStdString() + (button->isDefault() ? " (default)" : ""));
            pressed = button->text() == press ? button : pressed;
        }
        pressed != nullptr ? pressed->click() : (void)box->close();
    });
    open();
    return shown;
}

// The tray's item opens the real box on the small offscreen screen. A command longer than any line is
// shown to its last character, the tail a cut would hide among them, with both buttons in sight and
// "Cancel" the default. A request too long to show whole is not offered: the box says why and holds no
// button that trusts.
TEST_F(ProjectFollowerTest, TheTrayShowsTheWholeRequestInTheRealBoxOrSaysWhyNot) {
    alertsPort = std::make_shared<QtAlertPresenter>();
    coordinator.reset();
    makeCoordinator();
    const std::string root = (dir.path() / "project").string();
    const auto projectFile = [&](const std::string& command) {
        dir.write("project/.korvane.json",
                  R"({"custom_providers": [{"id": "p", "label": "P", "command": ")" + command + R"("}]})");
    };
    const auto fromTray = [&](const QString& press) {
        return readBox(
            [&] {
                for (QAction* action : coordinator->statusBar()->menu()->actions()) {
                    if (action->text().toStdString() == "Trust commands of " + root + "…") {
                        action->trigger();
                    }
                }
            },
            press);
    };
    std::string command = "./configure --prefix=/usr";
    for (int part = 0; command.size() < 582; ++part) {
        command += " --enable-part-" + std::to_string(part);
    }
    command = command.substr(0, 582) + "; touch /tmp/pwned";
    projectFile(command);
    coordinator->projectFollower().handleProjectChange(root, "project");
    settle();
    ConfigManager& config = *coordinator->configManager();

    const ShownBox asked = fromTray(QStringLiteral("Cancel"));
    EXPECT_LE(QApplication::primaryScreen()->availableGeometry().height(), 800);
    EXPECT_TRUE(asked.fitsTheScreen);
    EXPECT_TRUE(asked.buttonsInSight);
    EXPECT_THAT(asked.buttons, testing::UnorderedElementsAre("Trust", "Cancel (default)"));
    std::string unwrapped = asked.text;
    for (auto at = unwrapped.find("\n    "); at != std::string::npos; at = unwrapped.find("\n    ", at)) {
        unwrapped.erase(at, 5);
    }
    EXPECT_THAT(unwrapped,
                HasSubstr("Commands it will run:" + command + "\n\nTrust covers exactly this text"));
    EXPECT_EQ(config.projectsAwaitingTrust().size(), 1u);

    projectFile(std::string(60'000, 'x') + "; touch /tmp/pwned");
    coordinator->projectFollower().handleProjectConfigChange();
    const ShownBox refused = fromTray(QStringLiteral("Trust"));
    EXPECT_THAT(refused.buttons, Not(Contains(HasSubstr("Trust"))));
    EXPECT_THAT(refused.text, HasSubstr("asks to trust more than Korvane can show"));
    EXPECT_THAT(refused.text, HasSubstr("Read its .korvane.json yourself"));
    EXPECT_EQ(config.projectsAwaitingTrust().size(), 1u);

    projectFile(command);
    coordinator->projectFollower().handleProjectConfigChange();
    fromTray(QStringLiteral("Trust"));
    EXPECT_TRUE(config.projectsAwaitingTrust().empty());
}

} // namespace
} // namespace korvane
