// The project follower inside the whole shell: application switches, configuration reloads and project
// changes, those found by a trigger among them.
#include "projectfollowerfixture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace korvane {
namespace {

using testing::Contains;
using testing::HasSubstr;
using testing::IsEmpty;
using testing::Not;

class ProjectFollowerTest : public test::ProjectFollowerFixture {
protected:
    // An xterm comes to the front whose shell works in `folder`; Korvane detects the project there.
    void openTerminalIn(const std::string& folder) {
        processTable->addProcess(77, 1);
        processTable->addProcess(78, 77, "pts/1", folder);
        activeApp->setFrontmost(FrontmostApplication{"xterm", 77}, 0x500001);
        workspace->activate({"xterm", "XTerm", 77});
        scheduler.advance(ProjectFollower::switchDetectionDelay);
        settle();
        ASSERT_EQ(coordinator->projectDetector().currentProjectRoot(), folder);
    }

    // The xterm's shell runs `cd folder`; its window stays in front.
    void shellMovesTo(const std::string& folder) { processTable->addProcess(78, 77, "pts/1", folder); }

    // The trigger and `query` typed with no time passing: no frame and no timer comes between the keys.
    void trigger(const std::string& query) {
        for (const char c : ";;" + query) {
            field->type(std::string(1, c));
            tapBackend->lastTap()->deliver(TapEvent{.characters = std::string(1, c)});
        }
        scheduler.runUntilIdle();
    }

    // The popup's first frame is out: the change finishes and its scan's rows reach the list, with the
    // file rows merged behind them.
    void frame() {
        popupFrames->notify();
        scheduler.runUntilIdle();
        scanPool.runAll();
        scheduler.advance(SearchAsyncUpdateEngine::fileQueryDebounce);
    }

    // A project folder with a repository and an npm script named after it.
    std::string scriptedProject(const std::string& name) {
        const std::string path = (dir.path() / name).string();
        fileProbe->addDirectory(path + "/.git");
        dir.write(name + "/package.json", R"({"scripts": {")" + name + R"(build": "make"}})");
        return path;
    }
};

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

// A terminal's shell that moved to another project since its window came forward: the trigger detects
// that before the session begins, so the popup opens over the new project and the tray and the
// configuration follow it; and it reads only the terminal's own processes, never the whole process table.
TEST_F(ProjectFollowerTest, TheTriggerDetectsTheProjectBeforeTheSessionFromTheTerminalsOwnProcesses) {
    const std::string first = (dir.path() / "first").string();
    const std::string second = (dir.path() / "second").string();
    fileProbe->addDirectory(first + "/.git");
    fileProbe->addDirectory(second + "/.git");
    dir.write("second/.korvane.json",
              R"({"custom_providers": [{"id": "p", "label": "P", "command": "make"}]})");
    fileProbe->addFile(second + "/.korvane.json");
    openTerminalIn(first);

    shellMovesTo(second);
    type(";;");
    ASSERT_TRUE(popup->isVisible());
    EXPECT_EQ(coordinator->completionFlow().currentRoot(), second);
    EXPECT_EQ(coordinator->configManager()->currentConfigProjectRoot(), second);
    EXPECT_EQ(coordinator->statusBar()->menu()->actions().at(0)->text().toStdString(), "Project: second");
    EXPECT_EQ(trustItems(), std::vector<std::string>{"Trust commands of " + second + "…"});
    EXPECT_EQ(processTable->listings(), 0);
}

// The popup opened by a trigger that found another project shows that project at once and nothing of the
// one left behind; the new project's file, scan and tray follow the popup's first frame. A change found
// by a second trigger before that frame replaces the first, which is never applied.
TEST_F(ProjectFollowerTest, ATriggersChangeOfProjectIsFinishedAfterThePopupsFirstFrame) {
    const auto root = [&](const std::string& name) {
        const std::string path = scriptedProject(name);
        dir.write(name + "/.korvane.json",
                  R"({"snippets": [{"key": ")" + name + R"(note", "expand": "x"}]})");
        fileProbe->addFile(path + "/.korvane.json");
        return path;
    };
    const std::string first = root("first");
    const std::string second = root("second");
    const std::string third = root("third");
    openTerminalIn(first);

    const auto close = [&] {
        for (int times = 0; times < 2; ++times) {
            tapBackend->lastTap()->deliver(TapEvent{.keyCode = keycode::escape});
            scheduler.runUntilIdle();
        }
    };
    const auto rows = [&] {
        std::vector<std::string> labels;
        for (const auto& result : coordinator->popupController().viewModel().allResults()) {
            labels.push_back(result.snippet->label);
        }
        return labels;
    };
    const auto trayProject = [&] {
        return coordinator->statusBar()->menu()->actions().at(0)->text().toStdString();
    };
    ConfigManager& config = *coordinator->configManager();

    shellMovesTo(second);
    trigger("build");
    ASSERT_TRUE(popup->isVisible());
    EXPECT_EQ(coordinator->completionFlow().currentRoot(), second);
    EXPECT_THAT(rows(), Not(Contains("firstbuild")));
    EXPECT_NE(config.currentConfigProjectRoot(), second) << "the project file was read before the frame";
    EXPECT_NE(coordinator->scanPipeline()->lastScanRoot, second) << "the scan started before the frame";
    EXPECT_EQ(trayProject(), "Project: first");
    frame();
    EXPECT_EQ(config.currentConfigProjectRoot(), second);
    EXPECT_EQ(trayProject(), "Project: second");
    EXPECT_THAT(rows(), Contains("secondbuild")) << "the new project's rows reach the open popup";
    close();

    shellMovesTo(third);
    trigger("note");
    EXPECT_THAT(rows(), Not(Contains("secondnote")));
    close();
    ASSERT_FALSE(sessionActive());
    shellMovesTo(first);
    lines.clear();
    trigger("note");
    frame();
    EXPECT_THAT(lines.lines(), Not(Contains(HasSubstr("Project changed: third"))));
    EXPECT_EQ(config.currentConfigProjectRoot(), first);
    EXPECT_EQ(coordinator->scanPipeline()->lastScanRoot, first);
    EXPECT_THAT(rows(), Contains("firstnote"));
    EXPECT_THAT(rows(), Not(Contains("thirdnote")));
}

// The browser that opens over a project just entered counts nothing of what the project's reading
// brings until it has brought it: its scripts and branches are loading, not none.
TEST_F(ProjectFollowerTest, TheFirstBrowserOfANewProjectCountsNothingBeforeItsSourcesAreRead) {
    openTerminalIn(scriptedProject("first"));
    shellMovesTo(scriptedProject("second"));
    const auto category = [&](const std::string& id) {
        for (const auto& category : coordinator->popupController().viewModel().categories()) {
            if (category.id == id) {
                return category;
            }
        }
        ADD_FAILURE() << "no category " << id;
        return PopupViewModel::Category{};
    };
    trigger("");
    ASSERT_TRUE(popup->isVisible());
    EXPECT_TRUE(category("scripts").isLoading);
    EXPECT_TRUE(category("git").isLoading);
    EXPECT_FALSE(category("manual").isLoading) << "the user's own snippets are there";
    frame();
    EXPECT_FALSE(category("scripts").isLoading);
    EXPECT_EQ(category("scripts").count, 1u);
    EXPECT_FALSE(category("git").isLoading);
}

// The repository of the current project removed: the next popup offers none of its branches from its
// first search on, and the project's other rows come back as it is read again.
TEST_F(ProjectFollowerTest, TheBranchesOfARemovedRepositoryLeaveAtTheNextPopup) {
    const std::string root = scriptedProject("first");
    dir.write("first/.git/HEAD", "ref: refs/heads/main\n");
    const auto yesterday = std::chrono::duration_cast<std::chrono::seconds>(
        (std::chrono::system_clock::now() - std::chrono::hours(24)).time_since_epoch());
    processes->respond("refs/heads/", {.output = "feature-x\tAda\t1 day ago\t" +
                                                std::to_string(yesterday.count()) + "\tWork\n"});
    openTerminalIn(root);
    const auto rows = [&](const SnippetSource& source) {
        std::vector<std::string> labels;
        for (const auto& entry : coordinator->registry().indexedSnippets()) {
            if (entry.snippet().source == source) {
                labels.push_back(entry.snippet().label);
            }
        }
        return labels;
    };
    ASSERT_THAT(rows(SnippetSource::gitRef()), Contains("feature-x"));

    std::filesystem::remove_all(dir.path() / "first/.git");
    trigger("");
    EXPECT_THAT(rows(SnippetSource::gitRef()), IsEmpty()) << "offered when the popup opened";
    settle();
    EXPECT_THAT(rows(SnippetSource::gitRef()), IsEmpty());
    EXPECT_THAT(rows(SnippetSource::npmScript()), Contains("firstbuild"));
}

// A project file made in the current project after it was opened, read by the popup's refresh: the tray
// offers trust for its commands and the file search takes its include_paths, without another window.
TEST_F(ProjectFollowerTest, AProjectFileReadByTheRefreshReachesTheTrayAndTheFileSearch) {
    const std::string root = (dir.path() / "project").string();
    fileProbe->addDirectory(root + "/.git");
    dir.write("project/src/main.c", "int main(void) { return 0; }\n");
    dir.write("project/generated/made-by-build.c", "\n");
    dir.write("project/.git/HEAD", "ref: refs/heads/main\n");
    processes->respond("--absolute-git-dir", {.output = root + "\n" + root + "/.git\n"});
    processes->respond("--exclude-standard", {.output = "src/main.c\n"});
    openProject(root);
    ASSERT_EQ(trustItems(), std::vector<std::string>{"Trust this folder…"});
    const auto fileRows = [&] {
        std::vector<std::string> rows;
        for (const auto& result : coordinator->popupController().viewModel().allResults()) {
            rows.push_back(result.snippet->label);
        }
        return rows;
    };
    type(";;c");
    // The file index is built in the background first, then the query answered.
    settle();
    settle();
    ASSERT_THAT(fileRows(), Contains("src/main.c"));
    ASSERT_THAT(fileRows(), Not(Contains("generated/made-by-build.c")));

    dir.write("project/.korvane.json", R"({"include_paths": ["generated"],
        "custom_providers": [{"id": "deploy", "label": "Deploy", "command": "list-targets"}]})");
    fileProbe->addFile(root + "/.korvane.json");
    press(15, "r", keyflag::command);
    settle();
    EXPECT_EQ(trustItems(), std::vector<std::string>{"Trust commands of " + root + "…"});
    EXPECT_THAT(fileRows(), Contains("generated/made-by-build.c"));

    // From then on its edits are followed as those of a file that was there when the project opened.
    dir.write("project/.korvane.json", R"({"include_paths": ["generated"]})");
    watchSource->emit(root, FileEvent::write, ".korvane.json");
    scheduler.advance(1.0);
    settle();
    EXPECT_EQ(trustItems(), std::vector<std::string>{"Trust this folder…"});
}

// A day of moving among projects holds the manual snippet sets of one project at a time: each new
// project's set stayed cached for good.
TEST_F(ProjectFollowerTest, ChangesOfProjectKeepTheManualSnippetSetsOfOneProjectOnly) {
    const std::vector<std::string> roots{scriptedProject("north"), scriptedProject("south"),
                                         scriptedProject("east")};
    openTerminalIn(roots[0]);
    for (std::size_t change = 1; change <= 6; ++change) {
        shellMovesTo(roots[change % roots.size()]);
        trigger("");
        frame();
        tapBackend->lastTap()->deliver(TapEvent{.keyCode = keycode::escape});
    }
    EXPECT_EQ(coordinator->configManager()->mergedManualCache().size(), 1U);
}

} // namespace
} // namespace korvane
