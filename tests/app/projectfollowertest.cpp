// The project follower inside the whole shell: application switches and configuration reloads.
#include "shellfixture.h"

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

} // namespace
} // namespace korvane
