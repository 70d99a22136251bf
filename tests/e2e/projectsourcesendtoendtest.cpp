// What the korvane binary shows of a project while its sources load and after they changed under it,
// under scripts/xvfb-session: a shell in an xterm moved between two projects with `cd`, the popup's
// frames grabbed from the screen (fixtures/sidebarframes.py) and its rows read over the accessibility
// bus as often as the bus answers (fixtures/rowwatch.py).
#include "endtoendsupport.h"

#include <algorithm>
#include <filesystem>
#include <functional>
#include <iostream>
#include <optional>
#include <gmock/gmock.h>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace korvane {
namespace {

namespace fs = std::filesystem;
using namespace test::e2e;
using nlohmann::json;
using testing::Contains;
using testing::HasSubstr;
using testing::IsEmpty;
using testing::Not;

constexpr const char* kGit = "git -c user.name=Ada -c user.email=ada@example.com -c init.defaultBranch=main";

class ProjectSourcesEndToEndTest : public IsolatedKorvaneTest {
protected:
    void arrange() override {
        alpha = project("alpha");
        beta = project("beta");
        // The user's own command answers after a second: each reading of a project ends that late,
        // well after the popup's first frames.
        dir.write(
            "home/.config/korvane/config.json",
            R"({"custom_providers": [{"id": "slow", "label": "Slow", "command": "sleep 1; echo slow-one"}]})");
        skipOnboarding();
        isolateEnvironment(
            {"KORVANE_TEST_HOOKS=1", "QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1", "QT_QPA_PLATFORM=xcb"});
        ASSERT_TRUE(startKorvane()) << readAll(errFile());
    }

    // A repository with files, two branches, two npm scripts and a guide.
    fs::path project(const std::string& name) {
        for (int i = 1; i <= 4; ++i) {
            dir.write("home/projects/" + name + "/" + name + "-" + std::to_string(i) + ".txt", "x\n");
        }
        dir.write("home/projects/" + name + "/package.json",
                  R"({"name": ")" + name + R"(", "scripts": {"build": "true", "lint": "true"}})");
        dir.write("home/projects/" + name + "/README.md", "# " + name + "\n");
        const fs::path folder = home / "projects" / name;
        EXPECT_EQ(run("cd " + quoted(folder) + " && " + kGit + " init -q && " + kGit + " add -A && " + kGit +
                      " commit -qm one && " + kGit + " branch " + name + "-line"),
                  0);
        return folder;
    }

    // A shell in an xterm at the top left of the screen, working in `folder`.
    bool openShell(const fs::path& folder) {
        if (!openXterm("korvane-shell", folder,
                       "touch " + quoted(readyFile("korvane-shell")) + " && PS1='$ ' exec sh -i",
                       "70x12+0+0")) {
            return false;
        }
        shell = output("pgrep -P " + std::to_string(helpers.back()));
        return !shell.empty() && waitForLine(projectLine(folder));
    }

    // The shell clears its screen, so that the prompt and the popup opened there stand where they stood
    // before, and moves to `folder`, a sibling of its folder.
    bool cd(const fs::path& folder) {
        return key("ctrl+u") && type("clear; cd ../" + folder.filename().string()) && key("Return") &&
               pollUntil([&] { return output("readlink /proc/" + shell + "/cwd") == folder.string(); });
    }

    // Starts `fixture` with `arguments` in the background and waits until it printed its first line.
    pid_t startFixture(const std::string& fixture, const std::string& arguments, const fs::path& out) {
        const pid_t pid = spawn({"/bin/sh", "-c", "exec " + fixtureCommand(fixture, arguments)}, environment,
                                out, root / (fixture + ".err"));
        EXPECT_TRUE(
            pollUntil([&] { return readAll(out).find('\n') != std::string::npos || ended(pid); }, 15.0))
            << readAll(root / (fixture + ".err"));
        return pid;
    }

    static std::string fixture(const fs::path& out) { return out.stem().string(); }

    // The completion rows once `done` holds for them within 5 s; none, with the rows last read printed,
    // when it never does.
    static std::optional<std::vector<std::string>>
    rowsUntil(const std::function<bool(const std::vector<std::string>&)>& done) {
        std::vector<std::string> rows;
        if (pollUntil([&] { return done(rows = accessibleItems("rows")); }, 5.0)) {
            return rows;
        }
        std::cout << "[ rows     ] " << testing::PrintToString(rows) << "\n";
        return std::nullopt;
    }

    // Waits for the fixture `pid` to end; what it printed after its first line.
    std::vector<std::string> finished(pid_t pid, const fs::path& out) {
        if (!pollUntil([&] { return ended(pid); }, 30.0)) {
            ADD_FAILURE() << fixture(out) << " did not end";
            stop(pid);
        }
        auto printed = lines(readAll(out));
        if (!printed.empty()) {
            printed.erase(printed.begin());
        }
        return printed;
    }

    fs::path alpha, beta;
    std::string shell;
};

// After `cd` into another project, the category column never shows a count the project does not have
// while the project's sources load: each row shows no count or the count it settles on. And a query
// typed at once keeps every row it showed while the project's reading ends and the list is made again.
TEST_F(ProjectSourcesEndToEndTest, AfterACdTheCountsAreTheProjectsOwnAndShownRowsNeverDrop) {
    ASSERT_TRUE(openShell(alpha));
    ASSERT_TRUE(type(";;"));
    ASSERT_TRUE(popupShown(true));
    // Where the popup opens over this prompt, which the prompt after the cd takes again.
    const Geometry popup = geometry(popupWindow());
    ASSERT_GT(popup.width, 0);
    ASSERT_TRUE(key("Escape"));
    ASSERT_TRUE(popupShown(false));

    ASSERT_TRUE(cd(beta));
    const fs::path frames = root / "frames.json";
    const pid_t grabber = startFixture("sidebarframes.py",
                                       "3.5 " + std::to_string(std::max(0, popup.x - 20)) + " " +
                                           std::to_string(std::max(0, popup.y - 20)) + " " +
                                           std::to_string(220) + " " + std::to_string(popup.height + 60),
                                       frames);
    ASSERT_TRUE(type(";;"));
    const auto judged = finished(grabber, frames);
    ASSERT_EQ(judged.size(), 1u) << "no category column on screen: "
                                 << readAll(root / "sidebarframes.py.err");
    const json result = json::parse(judged.front());
    std::cout << "[ frames   ] " << result.at("frames") << " frames of " << result.at("grabs") << " grabs\n";
    ASSERT_FALSE(result.at("rows").empty());
    std::vector<std::string> wrong;
    for (const json& row : result.at("rows")) {
        if (!row.at("wrong").empty()) {
            wrong.push_back(row.at("name").get<std::string>() + " at " + row.at("wrong").dump() + " ms");
        }
    }
    EXPECT_THAT(wrong, IsEmpty()) << "counts shown before the settled ones";
    ASSERT_TRUE(key("Escape"));
    ASSERT_TRUE(popupShown(false));

    // The rows' list is found on screen first, then followed through the next change of project.
    ASSERT_TRUE(type(";;beta"));
    ASSERT_TRUE(popupShown(true));
    const fs::path watched = root / "rows.json";
    const pid_t watcher = startFixture("rowwatch.py", quoted("Korvane completions") + " 5", watched);
    ASSERT_TRUE(key("Escape"));
    ASSERT_TRUE(popupShown(false));
    ASSERT_TRUE(cd(alpha));
    ASSERT_TRUE(type(";;alpha"));
    std::vector<std::vector<std::string>> seen;
    for (const std::string& line : finished(watcher, watched)) {
        const json state = json::parse(line);
        if (!state.at("rows").is_null()) {
            seen.push_back(state.at("rows").get<std::vector<std::string>>());
        }
    }
    const auto files = [](const std::vector<std::string>& rows) {
        return std::count_if(rows.begin(), rows.end(), [](const std::string& row) {
            return row.starts_with("alpha-") && row.find(".txt") != std::string::npos;
        });
    };
    const auto full =
        std::find_if(seen.begin(), seen.end(), [&](const auto& rows) { return files(rows) >= 4; });
    ASSERT_NE(full, seen.end()) << "alpha's files were never listed: " << testing::PrintToString(seen);
    for (auto state = full; state != seen.end(); ++state) {
        EXPECT_GE(files(*state), files(*full)) << "rows dropped: " << testing::PrintToString(*state);
    }
    ASSERT_TRUE(key("Escape"));
    EXPECT_TRUE(popupShown(false));
}

// The project's repository removed while the project stays current: the next popup offers none of
// its branches.
TEST_F(ProjectSourcesEndToEndTest, TheBranchesOfARemovedRepositoryLeaveAtTheNextPopup) {
    ASSERT_TRUE(openTerminal("korvane-alpha", alpha));
    ASSERT_TRUE(waitForLine(projectLine(alpha)));
    ASSERT_TRUE(type(";;@git"));
    ASSERT_THAT(rowsWith("alpha-line"), Contains(HasSubstr("alpha-line")));
    ASSERT_TRUE(key("Escape"));
    ASSERT_TRUE(popupShown(false));

    fs::remove_all(alpha / ".git");
    ASSERT_TRUE(key("Return") && type(";;@git"));
    ASSERT_TRUE(popupShown(true));
    const auto rows = rowsUntil([](const std::vector<std::string>& found) {
        return !found.empty() && std::none_of(found.begin(), found.end(), [](const std::string& row) {
            return row.find("alpha-line") != std::string::npos || row.starts_with("main, Git");
        });
    });
    EXPECT_TRUE(rows) << "the branches stay";
    ASSERT_TRUE(key("Escape"));
    EXPECT_TRUE(popupShown(false));
}

// Files made, once the project was listed, in folders that held no listed file then (an empty one, one
// nested in it, one holding only ignored files) are offered at the next popup as any other new file.
TEST_F(ProjectSourcesEndToEndTest, AFileMadeInAFolderThatHeldNoListedFileIsOffered) {
    dir.write("home/projects/alpha/.gitignore", "*.log\n");
    dir.write("home/projects/alpha/notes/old.log", "");
    fs::create_directories(alpha / "drafts/2025");
    // Dated well before the listing, so that the listing is taken to hold for as long as nothing changes.
    ASSERT_EQ(run("find " + quoted(alpha) + " -exec touch -h -d '2 minutes ago' {} +"), 0);
    ASSERT_TRUE(openTerminal("korvane-alpha", alpha));
    ASSERT_TRUE(waitForLine(projectLine(alpha)));
    ASSERT_TRUE(type(";;@f"));
    ASSERT_THAT(rowsWith(".gitignore"), Contains(HasSubstr(".gitignore")));
    ASSERT_TRUE(key("Escape"));
    ASSERT_TRUE(popupShown(false));

    dir.write("home/projects/alpha/drafts/idea-one.txt", "");
    dir.write("home/projects/alpha/drafts/2025/idea-two.txt", "");
    dir.write("home/projects/alpha/notes/idea-three.txt", "");
    ASSERT_TRUE(key("Return") && type(";;idea"));
    const std::vector<std::string> made{"drafts/idea-one.txt", "drafts/2025/idea-two.txt",
                                        "notes/idea-three.txt"};
    const auto rows = rowsUntil([&](const std::vector<std::string>& found) {
        return std::all_of(made.begin(), made.end(), [&](const std::string& file) {
            return std::any_of(found.begin(), found.end(),
                               [&](const std::string& row) { return row.find(file) != std::string::npos; });
        });
    });
    EXPECT_TRUE(rows) << "not offered";
    ASSERT_TRUE(key("Escape"));
    EXPECT_TRUE(popupShown(false));
}

} // namespace
} // namespace korvane
