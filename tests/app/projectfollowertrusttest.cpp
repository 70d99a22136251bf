// The project follower inside the whole shell: the trust of a project's commands and of its folder, given
// from the tray, read from the store on disk and taken back.
#include "config/projecttruststore.h"
#include "platform/qt/qtalertpresenter.h"
#include "projectfollowerfixture.h"
#include "support/gitreachanswer.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTextEdit>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace korvane {
namespace {

namespace fs = std::filesystem;
using testing::Contains;
using testing::ElementsAre;
using testing::HasSubstr;
using testing::IsEmpty;
using testing::Not;
using testing::UnorderedElementsAre;

constexpr const char* kTrustReloadLine = "[Korvane] Trusted projects file changed, project trust reloaded";

class ProjectFollowerTrustTest : public test::ProjectFollowerFixture {
protected:
    QAction* menuItem(const std::string& title) const {
        for (QAction* action : coordinator->statusBar()->menu()->actions()) {
            if (action->text().toStdString() == title) {
                return action;
            }
        }
        return nullptr;
    }

    // Less than a second of virtual time, the scans it starts included.
    void followTheStore() {
        scheduler.advance(0.7);
        settle();
    }

    fs::path trustStore() const { return configDir / ProjectTrustStore::kFileName; }

    // The store's text with `changed` applied, as a user edits it.
    std::string storeText(const std::function<void(nlohmann::json&)>& changed) const {
        auto json = nlohmann::json::parse(test::readAll(trustStore()));
        changed(json);
        return json.dump(2);
    }

    std::vector<std::string> storeKeys() const {
        std::vector<std::string> keys;
        const auto json = nlohmann::json::parse(test::readAll(trustStore()));
        for (const auto& [key, value] : json.items()) {
            keys.push_back(key);
        }
        return keys;
    }

    // What the scans hold of the custom provider `id`, by key.
    std::vector<std::string> customKeys(const std::string& id) const {
        std::vector<std::string> keys;
        for (const auto& entry : coordinator->registry().indexedSnippets()) {
            if (entry.snippet().source == SnippetSource::custom(id)) {
                keys.push_back(entry.snippet().label);
            }
        }
        return keys;
    }

    // The shell commands run since the request numbered `from`, with "git" for each run of git that
    // keeps a repository's own programs from running under a command in an untrusted folder.
    std::vector<std::string> runsSince(std::size_t from) const {
        std::vector<std::string> runs;
        const auto requests = processes->requests();
        for (std::size_t index = from; index < requests.size(); ++index) {
            runs.push_back(requests[index].executable == "/bin/sh" ? requests[index].arguments.back()
                                                                   : "git");
        }
        return runs;
    }
};

// Trusting asks first, listing what it unlocks, and stores exactly what it showed: a file changed
// while the question was open is offered again.
TEST_F(ProjectFollowerTrustTest, TrustIsGivenKnowinglyForWhatWasShown) {
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
TEST_F(ProjectFollowerTrustTest, TheCurrentFolderIsTrustedFromTheTrayOnceConfirmed) {
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

// A command of the user's that waits for the trust of the folder it would run in: the tray's question
// names what keeps it waiting, the file and the setting, as the log line does.
TEST_F(ProjectFollowerTrustTest, TheFoldersQuestionNamesWhatKeepsTheCommandsWaiting) {
    using namespace std::string_literals;
    writeConfig(
        R"({"trigger": ";;", "custom_providers": [{"id": "gst", "label": "Gst", "command": "gst"}]})");
    coordinator->projectFollower().reloadGlobalConfig();
    const std::string mine = (dir.path() / "mine").string();
    // The folder's repository sets a pager, a program.
    processes->respond("--show-toplevel", {.output = test::repositoryPathsAnswer(mine)});
    processes->respond("-z", {.output = "local\0file:.git/config\0core.pager\nless\0"s});
    fileProbe->addDirectory(mine + "/.git");
    dir.write("mine/notes.txt", "mine\n");
    openProject(mine);
    EXPECT_THAT(lines.lines(), Contains(HasSubstr("Custom provider 'gst' not run: it waits")));
    ASSERT_NE(menuItem("Trust this folder…"), nullptr);
    alerts->confirmAnswer = false;
    menuItem("Trust this folder…")->trigger();
    ASSERT_EQ(alerts->alerts().size(), 1u);
    EXPECT_THAT(alerts->alerts()[0].message,
                HasSubstr("What keeps your own commands from running there now:\n    " + mine +
                          "/.git/config sets core.pager: starts a program"));
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
TEST_F(ProjectFollowerTrustTest, TheTrayShowsTheWholeRequestInTheRealBoxOrSaysWhyNot) {
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

// Trust taken back or given in the store on disk, by a plain write, by a rename over it or with the whole
// file, holds within a second whatever window is open: the project's command, its snippet that replaces the
// user's "sig", what the command printed and the tray follow. Korvane's own writes reload nothing.
TEST_F(ProjectFollowerTrustTest, TrustChangedInTheStoreOnDiskHoldsWithinASecond) {
    const std::string root = (dir.path() / "project").string();
    dir.write("project/.korvane.json", R"({"snippets": [{"key": "sig", "expand": "Project sig"}],
        "custom_providers": [{"id": "deploy", "label": "Deploy", "command": "list-targets"}]})");
    fileProbe->addFile(root + "/.korvane.json");
    processes->respond("list-targets", {.output = "prod\tmake deploy-prod\n"});
    openProject(root);
    ASSERT_EQ(trustItems(), std::vector<std::string>{"Trust commands of " + root + "…"});
    ASSERT_TRUE(ProjectTrustStore(trustStore()).trustFolder("/elsewhere").has_value());
    coordinator->projectFollower().trustProjectCommands(0);
    settle();
    const std::vector<std::string> trustedItems{"Trusted: " + root + " (project's commands and folder)",
                                                "Stop Trusting This Folder"};
    ASSERT_EQ(trustItems(), trustedItems);
    ASSERT_THAT(customKeys("deploy"), ElementsAre("prod"));
    watchSource->emit(trustStore().string(), FileEvent::write);
    lines.clear();
    followTheStore();
    EXPECT_THAT(lines.lines(), Not(Contains(kTrustReloadLine))) << "Korvane's own write";

    const std::string trusted = test::readAll(trustStore());
    const std::string untrusted = storeText([&](nlohmann::json& json) { json.erase(root); });
    const struct {
        const char* name;
        std::function<void(const std::string&)> write;
    } edits[] = {
        {"plain write",
         [&](const std::string& text) {
             std::ofstream(trustStore(), std::ios::trunc) << text;
             watchSource->emit(trustStore().string(), FileEvent::write);
         }},
        {"rename over",
         [&](const std::string& text) {
             const fs::path written = dir.write("config/trusted-projects.json.new", text);
             fs::permissions(written, fs::perms::owner_read | fs::perms::owner_write);
             fs::rename(written, trustStore());
             watchSource->drop(trustStore().string());
             watchSource->emit(configDir.string(), FileEvent::write, ProjectTrustStore::kFileName);
         }},
        // The whole file removed takes every trust back; written anew, it gives it again.
        {"removed, then made anew",
         [&](const std::string& text) {
             if (text == untrusted) {
                 fs::remove(trustStore());
                 watchSource->drop(trustStore().string());
             } else {
                 dir.write("config/trusted-projects.json", text);
                 fs::permissions(trustStore(), fs::perms::owner_read | fs::perms::owner_write);
             }
             watchSource->emit(configDir.string(), FileEvent::write, ProjectTrustStore::kFileName);
         }},
    };
    for (const auto& edit : edits) {
        SCOPED_TRACE(edit.name);
        type(" ;;sig");
        ASSERT_TRUE(popup->isVisible());
        ASSERT_EQ(coordinator->popupController().viewModel().selectedSnippet()->expansion, "Project sig");
        const std::size_t before = processes->requests().size();
        edit.write(untrusted);
        followTheStore();
        EXPECT_EQ(trustItems(), std::vector<std::string>{"Trust commands of " + root + "…"});
        EXPECT_THAT(customKeys("deploy"), IsEmpty()) << "what the command printed goes with its trust";
        EXPECT_THAT(runsSince(before), Not(Contains("list-targets")));
        // The open popup shows the user's own snippet again, and inserts it.
        EXPECT_EQ(coordinator->popupController().viewModel().selectedSnippet()->expansion, "Best,\nAda");
        const std::size_t typed = field->text().size();
        press(keycode::returnKey);
        EXPECT_EQ(field->text().substr(typed - 6), " Best,\nAda");

        // Trust written back by hand is taken too.
        edit.write(trusted);
        followTheStore();
        EXPECT_EQ(trustItems(), trustedItems);
        EXPECT_THAT(runsSince(before), Contains("list-targets"));
        EXPECT_THAT(customKeys("deploy"), ElementsAre("prod"));
    }
    EXPECT_THAT(storeKeys(), UnorderedElementsAre("folder:/elsewhere", root));
}

// An edit that changes what a trusted project asks trust for voids the trust, as "Stop Trusting" does:
// what the project's commands printed leaves the registry at once, before any scan, whichever file the
// edit was in, and the tray asks again.
TEST_F(ProjectFollowerTrustTest, AnEditThatVoidsTheTrustTakesTheCommandsOutputAtOnce) {
    const std::string root = (dir.path() / "project").string();
    const std::string projectFile = R"({"snippets": [{"key": "note", "expand": "a note"}],
        "custom_providers": [{"id": "services", "label": "Services", "command": "list-services"}]})";
    const std::string userConfig =
        R"({"trigger": ";;", "snippets": [{"key": "sig", "expand": "Best,\nAda"}]})";
    processes->respond("list-services", {.output = "api\tmake api\nweb\tmake web\n"});
    dir.write("project/.korvane.json", projectFile);
    fileProbe->addFile(root + "/.korvane.json");
    openProject(root);
    const struct {
        const char* name;
        std::function<void()> edit;
    } edits[] = {
        {"the project's file gains a snippet with a line break",
         [&] {
             dir.write(
                 "project/.korvane.json",
                 R"({"snippets": [{"key": "note", "expand": "a note"}, {"key": "two", "expand": "a\nb"}],
                 "custom_providers": [{"id": "services", "label": "Services", "command": "list-services"}]})");
             coordinator->projectFollower().handleProjectConfigChange();
         }},
        {"the user's file gains the key of the project's snippet",
         [&] {
             writeConfig(R"({"trigger": ";;", "snippets": [{"key": "note", "expand": "mine"}]})");
             coordinator->projectFollower().reloadGlobalConfig();
         }},
    };
    for (const auto& edit : edits) {
        SCOPED_TRACE(edit.name);
        dir.write("project/.korvane.json", projectFile);
        coordinator->projectFollower().handleProjectConfigChange();
        writeConfig(userConfig);
        coordinator->projectFollower().reloadGlobalConfig();
        settle();
        coordinator->projectFollower().trustProjectCommands(0);
        settle();
        ASSERT_THAT(customKeys("services"), ElementsAre("api", "web"));

        edit.edit();
        EXPECT_THAT(customKeys("services"), IsEmpty());
        EXPECT_EQ(trustItems(), std::vector<std::string>{"Trust commands of " + root + "…"});
        const std::size_t before = processes->requests().size();
        settle();
        EXPECT_THAT(customKeys("services"), IsEmpty());
        EXPECT_THAT(runsSince(before), Not(Contains("list-services")));
    }
}

// "Stop Trusting This Folder" takes back the folder's own entry and that of the project rooted there, as
// removing both by hand does, and keeps every other entry; trusting again undoes it.
TEST_F(ProjectFollowerTrustTest, StopTrustingThisFolderTakesItsEntriesOutOfTheStore) {
    writeConfig(
        R"({"trigger": ";;", "custom_providers": [{"id": "mine", "label": "Mine", "command": "my-list"}]})");
    coordinator->projectFollower().reloadGlobalConfig();
    // The folders are no repositories.
    processes->respond("--show-toplevel", {.exitStatus = 128});
    processes->respond("index", {.exitStatus = 128});
    const std::string mine = (dir.path() / "mine").string();
    const std::string project = (dir.path() / "project").string();
    fileProbe->addDirectory(mine + "/.git");
    dir.write("mine/notes.txt", "mine\n");
    dir.write("project/.korvane.json",
              R"({"custom_providers": [{"id": "deploy", "label": "Deploy", "command": "list-targets"}]})");
    fileProbe->addFile(project + "/.korvane.json");
    const struct {
        std::string root;
        std::string offer;
        std::string trusted;
    } folders[] = {{mine, "Trust this folder…", "Trusted: " + mine + " (folder only)"},
                   {project, "Trust commands of " + project + "…",
                    "Trusted: " + project + " (project's commands and folder)"}};
    for (const auto& folder : folders) {
        SCOPED_TRACE(folder.root);
        openProject(folder.root);
        ASSERT_EQ(trustItems(), std::vector<std::string>{folder.offer});
        // Another program trusts the folder and one elsewhere; the user trusts what the tray offers.
        ProjectTrustStore other(trustStore());
        ASSERT_TRUE(other.trustFolder("/elsewhere").has_value());
        ASSERT_TRUE(other.trustFolder(folder.root).has_value());
        watchSource->emit(configDir.string(), FileEvent::write, ProjectTrustStore::kFileName);
        followTheStore();
        if (folder.root == project) {
            coordinator->projectFollower().trustProjectCommands(0);
            settle();
            ASSERT_THAT(storeKeys(), UnorderedElementsAre("folder:/elsewhere", "folder:" + project, project));
        }
        ASSERT_EQ(trustItems(), (std::vector<std::string>{folder.trusted, "Stop Trusting This Folder"}));

        const std::size_t before = processes->requests().size();
        menuItem("Stop Trusting This Folder")->trigger();
        settle();
        EXPECT_TRUE(alerts->alerts().empty() || alerts->alerts().back().title != "Stop Trusting Failed");
        EXPECT_EQ(storeKeys(), std::vector<std::string>{"folder:/elsewhere"});
        EXPECT_EQ(trustItems(), std::vector<std::string>{folder.offer});
        // The user's own command runs there again as in any folder not trusted, with git's settings for
        // one (what git said the folder holds is kept while the folder stays as it was).
        const auto runs = runsSince(before);
        EXPECT_THAT(runs, Contains("my-list"));
        EXPECT_THAT(runs, Not(Contains("list-targets")));
        const auto requests = processes->requests();
        const auto command =
            std::find_if(requests.begin() + static_cast<std::ptrdiff_t>(before), requests.end(),
                         [](const ProcessRequest& request) { return request.arguments.back() == "my-list"; });
        ASSERT_NE(command, requests.end());
        EXPECT_THAT(command->environment,
                    Contains(std::pair<std::string, std::string>("GIT_CONFIG_KEY_0", "core.hookspath")));

        menuItem(folder.offer)->trigger();
        settle();
        EXPECT_EQ(trustItems(), (std::vector<std::string>{folder.trusted, "Stop Trusting This Folder"}))
            << "trusting again undoes it";
        menuItem("Stop Trusting This Folder")->trigger();
        settle();
    }
}

} // namespace
} // namespace korvane
