// The korvane binary as a user meets it, under scripts/xvfb-session: a tray host, xterms whose
// programs sit in project folders and a GTK entry, typed into with xdotool; the tray menu and the
// completion rows are read over the accessibility bus by fixtures/korvaneitems.py.
#include "config/projecttruststore.h"
#include "endtoendsupport.h"

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <gmock/gmock.h>
#include <iostream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <regex>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace korvane {
namespace {

namespace fs = std::filesystem;

constexpr const char* kTrustReloadLine = "[Korvane] Trusted projects file changed, project trust reloaded";
constexpr const char* kPressureLine =
    "[Korvane] Memory pressure detected (critical), evicting optional caches";

using namespace test::e2e;
using testing::Contains;
using testing::HasSubstr;
using testing::IsEmpty;

class EndToEndTest : public IsolatedKorvaneTest {
protected:
    void arrange() override {
        alpha = home / "projects/alpha";
        beta = home / "projects/beta";
        dir.write("home/.config/korvane/config.json", globalConfig());
        dir.write("home/projects/alpha/src/main.c", "int main(void) { return 0; }\n");
        dir.write("home/projects/alpha/docs/guide.md", "# Guide\n");
        dir.write("home/projects/alpha/package.json",
                  R"({"name": "alpha", "scripts": {"build": "cc src/main.c", "lint": "true"}})");
        dir.write("home/projects/alpha/Makefile", "all:\n\tcc src/main.c\n\nclean:\n\trm -f a.out\n");
        dir.write("home/projects/beta/notes.txt", "beta\n");
        const std::string git =
            "git -c user.name=Ada -c user.email=ada@example.com -c init.defaultBranch=main";
        ASSERT_EQ(run("cd " + quoted(alpha) + " && " + git + " init -q && " + git + " add -A && " + git +
                      " commit -qm one && " + git + " branch feature-login"),
                  0);
        ASSERT_EQ(run("cd " + quoted(beta) + " && " + git + " init -q && " + git + " add -A && " + git +
                      " commit -qm one"),
                  0);
        skipOnboarding();
        isolateEnvironment(
            {"KORVANE_TEST_HOOKS=1", "QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1", "QT_QPA_PLATFORM=xcb"});
        startTrayer();
        ASSERT_TRUE(startKorvane()) << readAll(errFile());
    }

    virtual std::string globalConfig() const {
        return R"({"snippets": [{"key": "sig", "expand": "Best,\nAda"}, {"key": "fn", "expand": "foo($0)bar"}]})";
    }

    std::string typedInto(const std::string& title) { return edited(readAll(typedFile(title))); }
    std::string rawInto(const std::string& title) {
        return "raw " + testing::PrintToString(readAll(typedFile(title)));
    }

    fs::path alpha, beta;
};

TEST_F(EndToEndTest, RunsOnceDocksInTheTrayAndListsItsMenuInOrder) {
    // A second instance leaves at once, saying why.
    const auto before = std::chrono::steady_clock::now();
    const pid_t second = spawn({korvaneBinary()}, environment, root / "second.out", root / "second.err");
    int status = 0;
    ASSERT_TRUE(pollUntil([&] { return ended(second, &status); }, 20.0))
        << (::kill(second, SIGKILL), "still running");
    std::cout << "[ second   ] left after "
              << std::chrono::duration<double>(std::chrono::steady_clock::now() - before).count() << " s\n";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << "wait status " << status;
    EXPECT_THAT(readAll(root / "second.err"), testing::HasSubstr("Korvane is already running.\n"));
    EXPECT_FALSE(ended(korvane)) << "the first instance must keep running";

    // A display that names no server is said as plainly as a missing one.
    auto unreachable = environment;
    std::erase_if(unreachable, [](const std::string& entry) { return entry.starts_with("DISPLAY="); });
    unreachable.push_back("DISPLAY=:97");
    const pid_t lost = spawn({korvaneBinary()}, unreachable, root / "lost.out", root / "lost.err");
    ASSERT_TRUE(pollUntil([&] { return ended(lost, &status); }, 20.0))
        << (::kill(lost, SIGKILL), "still running");
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2) << "wait status " << status;
    EXPECT_EQ(readAll(root / "lost.err"), "Korvane cannot connect to the X display :97.\n");

    if (trayerWindow.empty()) {
        GTEST_SKIP() << "no tray host in this session";
    }
    ASSERT_TRUE(pollUntil([&] { return !trayIcon().empty(); }, 10.0))
        << output("xwininfo -tree -id " + trayerWindow);
    const auto items = trayMenu();
    ASSERT_FALSE(items.empty()) << "the tray menu did not show over the accessibility bus";
    ASSERT_GE(items.size(), 9u) << testing::PrintToString(items);
    EXPECT_EQ(items[0], "Project: (none)");
    EXPECT_TRUE(std::regex_match(items[1], std::regex("[0-9]+ snippets loaded"))) << items[1];
    const std::vector<std::string> rest(items.begin() + 2, items.end());
    const std::vector<std::string> expected{"-", "Edit", "Configuration", "Check for Updates\u2026"};
    EXPECT_EQ(std::vector<std::string>(rest.begin(), rest.begin() + 4), expected)
        << testing::PrintToString(items);
    EXPECT_TRUE(rest[4] == "Onboarding" || rest[4] == "Finish Setup") << rest[4];
    EXPECT_EQ(std::vector<std::string>(rest.begin() + 5, rest.end()),
              (std::vector<std::string>{"-", "Quit Korvane"}))
        << testing::PrintToString(items);
}

TEST_F(EndToEndTest, ExpandsSnippetsInATerminalFollowsProjectsAndSurvivesPressureAndAKill) {
    ASSERT_TRUE(openTerminal("korvane-beta", beta));
    ASSERT_TRUE(waitForLine(projectLine(beta)));
    ASSERT_TRUE(openTerminal("korvane-alpha", alpha));
    ASSERT_TRUE(waitForLine(projectLine(alpha)));

    // Switching windows switches projects, each way.
    for (const auto& [title, project, times] :
         {std::tuple{"korvane-beta", beta, 2}, std::tuple{"korvane-alpha", alpha, 2}}) {
        const auto before = std::chrono::steady_clock::now();
        ASSERT_TRUE(focus(title));
        EXPECT_TRUE(waitForLine(projectLine(project), times)) << readAll(outFile());
        std::cout << "[ project  ] " << title << " after "
                  << std::chrono::duration<double>(std::chrono::steady_clock::now() - before).count()
                  << " s\n";
    }
    if (!trayerWindow.empty()) {
        ASSERT_TRUE(pollUntil([&] { return !trayIcon().empty(); }, 10.0));
        auto items = trayMenu();
        ASSERT_FALSE(items.empty());
        EXPECT_EQ(items[0], "Project: alpha");
        ASSERT_TRUE(focus("korvane-alpha"));
    }

    // A snippet with a line break, then one that leaves the cursor inside it.
    ASSERT_TRUE(type(";;sig"));
    ASSERT_TRUE(popupShown(true));
    const auto sigRows = rowsWith("sig");
    screenshot("terminal");
    ASSERT_TRUE(key("Return"));
    EXPECT_TRUE(pollUntil([&] { return typedInto("korvane-alpha") == "Best,\nAda"; }))
        << testing::PrintToString(typedInto("korvane-alpha")) << " rows " << testing::PrintToString(sigRows);
    EXPECT_TRUE(popupShown(false));

    ASSERT_TRUE(key("Return") && type(";;fn"));
    ASSERT_TRUE(popupShown(true));
    rowsWith("fn");
    ASSERT_TRUE(key("Return"));
    ASSERT_TRUE(pollUntil([&] { return typedInto("korvane-alpha") == "Best,\nAda\nfoo()bar"; }))
        << testing::PrintToString(typedInto("korvane-alpha")) << rawInto("korvane-alpha");
    // The caret moves in after the text has landed; a key typed before then would land behind it.
    const auto landed = std::chrono::steady_clock::now();
    const std::string fourLefts = "\x1b[D\x1b[D\x1b[D\x1b[D";
    ASSERT_TRUE(pollUntil([&] { return readAll(typedFile("korvane-alpha")).ends_with(fourLefts); }))
        << rawInto("korvane-alpha");
    std::cout << "[ caret    ] moved "
              << std::chrono::duration<double>(std::chrono::steady_clock::now() - landed).count()
              << " s after the text landed\n";
    ASSERT_TRUE(type("X"));
    EXPECT_TRUE(pollUntil([&] { return typedInto("korvane-alpha") == "Best,\nAda\nfoo(X)bar"; }))
        << testing::PrintToString(typedInto("korvane-alpha")) << rawInto("korvane-alpha");

    // Under memory pressure the optional caches go, and completion still works.
    ::kill(korvane, SIGUSR1);
    EXPECT_TRUE(waitForLine(kPressureLine)) << readAll(outFile());
    const std::size_t offset = readAll(typedFile("korvane-alpha")).size();
    ASSERT_TRUE(key("Return") && type(";;sig"));
    ASSERT_TRUE(popupShown(true));
    rowsWith("sig");
    ASSERT_TRUE(key("Return"));
    EXPECT_TRUE(pollUntil([&] {
        return edited(readAll(typedFile("korvane-alpha")).substr(offset)) == "\nBest,\nAda";
    })) << rawInto("korvane-alpha");

    // Killed right after a completion, while its use is being recorded: the history on disk stays
    // readable and the next start goes through.
    const fs::path history = home / ".config/korvane/history.json";
    ASSERT_TRUE(pollUntil([&] { return readAll(history).find("\"manual:sig\"") != std::string::npos; }))
        << "the uses so far were never saved";
    const std::size_t killOffset = readAll(typedFile("korvane-alpha")).size();
    ASSERT_TRUE(key("Return") && type(";;fn"));
    ASSERT_TRUE(popupShown(true));
    rowsWith("fn");
    ASSERT_TRUE(key("Return"));
    ASSERT_TRUE(pollUntil([&] {
        return readAll(typedFile("korvane-alpha")).substr(killOffset).ends_with("bar");
    })) << rawInto("korvane-alpha");
    ::kill(korvane, SIGKILL);
    ::waitpid(korvane, nullptr, 0);
    EXPECT_EQ(run("/usr/bin/python3 -c 'import json, sys; "
                  "json.load(open(sys.argv[1]))[\"entries\"][\"manual:sig\"]' " +
                  quoted(history)),
              0)
        << readAll(history);
    ASSERT_TRUE(startKorvane()) << readAll(errFile());
}

TEST_F(EndToEndTest, CompletesPathsAndBranchesInAGtkEntryWithoutTakingTheFocus) {
    // The entry's window names its project in its title, as editors do.
    const fs::path status = root / "entry.json";
    ASSERT_EQ(run("cd " + quoted(alpha) + " && { /usr/bin/python3 " KORVANE_GTK_ENTRY " " + quoted(status) +
                  " '' >/dev/null 2>&1 & echo $! > " + quoted(root / "entry.pid") + "; }"),
              0);
    ASSERT_TRUE(pollUntil([&] { return fs::exists(root / "entry.pid") && fs::exists(status); }, 20.0));
    helpers.push_back(std::stoi(readAll(root / "entry.pid")));
    const std::string title = "guide.md - " + alpha.string();
    ASSERT_EQ(run("xdotool search --sync --name '^Korvane test entry$' set_window --name " + quoted(title) +
                  " >/dev/null 2>&1"),
              0);
    ASSERT_TRUE(activateWindow("--class KorvaneGtk"));
    ASSERT_TRUE(waitForLine(projectLine(alpha))) << readAll(outFile());
    const std::string entryWindow = output("xdotool getactivewindow");
    auto entryText = [&] {
        try {
            return nlohmann::json::parse(readAll(status)).at("text").get<std::string>();
        } catch (const std::exception&) {
            return std::string("<unreadable>");
        }
    };

    // A file of the project by a fragment of its name, inserted relative to the project's root.
    ASSERT_TRUE(type(";;guide"));
    ASSERT_TRUE(popupShown(true));
    const auto fileRows = rowsWith("docs/guide.md");
    screenshot("gtk");

    // Placed at the caret, which sits at the end of the text in the entry at the window's left.
    const Geometry popup = geometry(popupWindow());
    const Geometry entry = geometry(entryWindow);
    std::cout << "[ popup    ] at " << popup.x << "," << popup.y << ", entry window at " << entry.x << ","
              << entry.y << " " << entry.width << "x" << entry.height << "\n";
    EXPECT_GT(popup.x, entry.x);
    EXPECT_LT(popup.x, entry.x + entry.width / 2);
    EXPECT_GT(popup.y, entry.y);
    EXPECT_LT(popup.y, entry.y + entry.height + 60);
    EXPECT_EQ(output("xdotool getactivewindow"), entryWindow);

    // Snippets whose text mentions a guide may stand above the file.
    const auto fileRow = std::find_if(fileRows.begin(), fileRows.end(), [](const std::string& row) {
        return row.starts_with("docs/guide.md");
    });
    ASSERT_NE(fileRow, fileRows.end()) << testing::PrintToString(fileRows);
    for (auto row = fileRows.begin(); row != fileRow; ++row) {
        ASSERT_TRUE(key("Down"));
    }
    ASSERT_TRUE(key("Return"));
    EXPECT_TRUE(pollUntil([&] { return entryText() == "docs/guide.md"; }))
        << entryText() << " rows " << testing::PrintToString(fileRows);
    EXPECT_TRUE(popupShown(false));

    // Branches of the project's repository; Escape leaves what was typed as it is.
    ASSERT_TRUE(type(" ;;@git"));
    ASSERT_TRUE(popupShown(true));
    const auto branchRows = rowsWith("feature-login");
    EXPECT_TRUE(std::any_of(branchRows.begin(), branchRows.end(), [](const std::string& row) {
        return row.find("feature-login") != std::string::npos;
    })) << testing::PrintToString(branchRows);
    ASSERT_TRUE(pollUntil([&] { return entryText() == "docs/guide.md ;;@git"; })) << entryText();
    ASSERT_TRUE(key("Escape"));
    EXPECT_TRUE(popupShown(false));
    EXPECT_EQ(entryText(), "docs/guide.md ;;@git");
    EXPECT_EQ(output("xdotool getactivewindow"), entryWindow);

    // Backspace past the trigger ends the completion.
    ASSERT_TRUE(type(" ;;g"));
    ASSERT_TRUE(popupShown(true));
    ASSERT_TRUE(key("BackSpace BackSpace"));
    EXPECT_TRUE(popupShown(false));
    EXPECT_TRUE(pollUntil([&] { return entryText() == "docs/guide.md ;;@git ;"; })) << entryText();
    EXPECT_EQ(output("xdotool getactivewindow"), entryWindow);

    // Ctrl+R over the recent files lists a file made while they were open, within 2 s.
    ASSERT_TRUE(type(" ;;@f"));
    ASSERT_TRUE(popupShown(true));
    rowsWith("docs/guide.md");
    dir.write("home/projects/alpha/notes/fresh-idea.md", "");
    ASSERT_TRUE(key("ctrl+r"));
    const auto pressed = std::chrono::steady_clock::now();
    std::vector<std::string> recentRows;
    EXPECT_TRUE(pollUntil(
        [&] {
            recentRows = accessibleItems("rows");
            return std::any_of(recentRows.begin(), recentRows.end(), [](const std::string& row) {
                return row.find("notes/fresh-idea.md") != std::string::npos;
            });
        },
        2.0))
        << testing::PrintToString(recentRows);
    std::cout << "[ refresh  ] listed after "
              << std::chrono::duration<double>(std::chrono::steady_clock::now() - pressed).count() << " s\n";
    ASSERT_TRUE(key("Escape"));
    EXPECT_TRUE(popupShown(false));
}

// A file made in one project while another was current is offered by the first completion after
// coming back, among the recent files and by name, and so is one made while the project stays current,
// well within the 30 s a file list is kept unchecked.
TEST_F(EndToEndTest, OffersAFileMadeWhileAnotherProjectWasCurrent) {
    ASSERT_TRUE(openTerminal("korvane-alpha", alpha));
    ASSERT_TRUE(waitForLine(projectLine(alpha)));
    ASSERT_TRUE(type(";;@f"));
    ASSERT_TRUE(popupShown(true));
    const auto listed = std::chrono::steady_clock::now();
    rowsWith("docs/guide.md");
    ASSERT_TRUE(key("Escape"));
    ASSERT_TRUE(popupShown(false));
    // The popup opened by `;;` followed by `query` lists `file` within 3 s.
    const auto offers = [&](const std::string& query, const std::string& file) {
        if (!key("Return") || !type(";;" + query) || !popupShown(true)) {
            return false;
        }
        std::vector<std::string> rows;
        const bool found = pollUntil(
            [&] {
                rows = accessibleItems("rows");
                return std::any_of(rows.begin(), rows.end(), [&](const std::string& row) {
                    return row.find(file) != std::string::npos;
                });
            },
            3.0);
        EXPECT_TRUE(found) << query << ": " << testing::PrintToString(rows);
        return key("Escape") && popupShown(false);
    };

    ASSERT_TRUE(openTerminal("korvane-beta", beta));
    ASSERT_TRUE(waitForLine(projectLine(beta)));
    dir.write("home/projects/alpha/src/fresh_parser.c", "");
    ASSERT_TRUE(focus("korvane-alpha"));
    ASSERT_TRUE(waitForLine(projectLine(alpha), 2));
    ASSERT_TRUE(offers("@f", "src/fresh_parser.c"));
    ASSERT_TRUE(offers("fresh_pa", "src/fresh_parser.c"));

    dir.write("home/projects/alpha/src/fresh_lexer.c", "");
    ASSERT_TRUE(offers("@f", "src/fresh_lexer.c"));
    ASSERT_TRUE(offers("fresh_le", "src/fresh_lexer.c"));
    std::cout << "[ fresh    ] looked "
              << std::chrono::duration<double>(std::chrono::steady_clock::now() - listed).count()
              << " s after the first listing\n";
    EXPECT_LT(std::chrono::steady_clock::now() - listed, std::chrono::seconds(30))
        << "too slow to tell a fresh look from the 30 s one";
}

// Trust that another program writes into trusted-projects.json, that the user takes back by a rename over
// the file and gives again by a plain write, shows in the real tray menu once Korvane has read the file;
// "Stop Trusting This Folder" chosen there takes the entry out of the file, and that write of Korvane's
// own reloads nothing.
TEST_F(EndToEndTest, TheTrayFollowsTrustEditedInTheStore) {
    if (trayerWindow.empty()) {
        GTEST_SKIP() << "no tray host in this session";
    }
    ASSERT_TRUE(openTerminal("korvane-alpha", alpha));
    ASSERT_TRUE(waitForLine(projectLine(alpha)));
    ASSERT_TRUE(pollUntil([&] { return !trayIcon().empty(); }, 10.0));
    const auto menuTop = [&](std::size_t count) {
        auto items = trayMenu();
        items.resize(std::min(items.size(), count));
        return items;
    };
    const std::vector<std::string> untrusted{"Project: alpha", "Trust this folder\u2026"};
    const std::vector<std::string> trusted{"Project: alpha", "Trusted: " + alpha.string() + " (folder only)",
                                           "Stop Trusting This Folder"};
    EXPECT_EQ(menuTop(2), untrusted);

    const fs::path store = home / ".config/korvane" / ProjectTrustStore::kFileName;
    const auto followed = [&](std::size_t times, const std::string& what) {
        const auto before = std::chrono::steady_clock::now();
        const bool seen = waitForLine(kTrustReloadLine, times);
        std::cout << "[ trust    ] " << what << ": read after "
                  << std::chrono::duration<double>(std::chrono::steady_clock::now() - before).count()
                  << " s\n";
        return seen;
    };
    ASSERT_TRUE(ProjectTrustStore(store).trustFolder(alpha.string()).has_value());
    ASSERT_TRUE(followed(1, "trusted by another program")) << readAll(outFile());
    EXPECT_EQ(menuTop(3), trusted);

    const std::string trustedText = readAll(store);
    const fs::path replacement = dir.write("home/.config/korvane/trusted-projects.json.new", "{}\n");
    fs::permissions(replacement, fs::perms::owner_read | fs::perms::owner_write);
    fs::rename(replacement, store);
    ASSERT_TRUE(followed(2, "taken back by a rename"));
    EXPECT_EQ(menuTop(2), untrusted);
    std::ofstream(store, std::ios::trunc) << trustedText;
    ASSERT_TRUE(followed(3, "given by a write"));
    EXPECT_EQ(menuTop(3), trusted);

    ASSERT_EQ(run(fixtureCommand("settingswindow.py",
                                 "choose " + trayIcon() + " " + quoted("Stop Trusting This Folder") + " 15")),
              0);
    EXPECT_TRUE(pollUntil([&] { return readAll(store).find("folder:") == std::string::npos; }, 10.0))
        << readAll(store);
    EXPECT_EQ(menuTop(2), untrusted);
    EXPECT_FALSE(waitForLine(kTrustReloadLine, 4, 1.5)) << "Korvane's own write was read as a change";
}

// A user's own command, listed in the popup under "@gst", beside the projects' files and branches.
class ProjectChangeEndToEndTest : public EndToEndTest {
protected:
    std::string globalConfig() const override {
        return R"({"snippets": [{"key": "sig", "expand": "Best,\nAda"}],
            "custom_providers": [{"id": "gst", "label": "Status", "command": "git status --short"}]})";
    }
};

// One terminal window, its shell moved from one project to the other with `cd`: the very first popup
// after that is the new project's (its files, its branches, what the user's own command prints there),
// and the tray names it, with no other window coming forward in between.
TEST_F(ProjectChangeEndToEndTest, TheFirstPopupAfterCdInTheSameTerminalIsTheNewProjects) {
    dir.write("home/projects/alpha/alpha-draft.txt", "");
    dir.write("home/projects/beta/beta-draft.txt", "");
    dir.write("home/projects/beta/docs/beta-guide.md", "# Beta\n");
    ASSERT_EQ(run("git -C " + quoted(beta) + " branch beta-line"), 0);
    ASSERT_TRUE(
        openXterm("korvane-shell", alpha, "touch " + quoted(readyFile("korvane-shell")) + " && exec sh -i"));
    ASSERT_TRUE(waitForLine(projectLine(alpha)));
    const std::string shell = output("pgrep -P " + std::to_string(helpers.back()));
    ASSERT_FALSE(shell.empty());

    ASSERT_TRUE(type("cd ../beta") && key("Return"));
    ASSERT_TRUE(pollUntil([&] { return output("readlink /proc/" + shell + "/cwd") == beta.string(); }));
    const auto alphaRows = [](const std::vector<std::string>& rows) {
        std::vector<std::string> found;
        std::copy_if(rows.begin(), rows.end(), std::back_inserter(found), [](const std::string& row) {
            return row.find("alpha") != std::string::npos || row.find("docs/guide.md") != std::string::npos ||
                   row.find("feature-login") != std::string::npos;
        });
        return found;
    };
    // One session throughout: the query is typed, then taken back to the trigger and typed anew.
    ASSERT_TRUE(type(";;@gst"));
    ASSERT_TRUE(popupShown(true));
    const auto statusRows = rowsWith("beta-draft.txt");
    screenshot("project-change");
    EXPECT_THAT(statusRows, Contains(HasSubstr("beta-draft.txt")));
    EXPECT_THAT(alphaRows(statusRows), IsEmpty());
    ASSERT_TRUE(key("BackSpace BackSpace BackSpace BackSpace") && type("@git"));
    const auto branchRows = rowsWith("beta-line");
    EXPECT_THAT(branchRows, Contains(HasSubstr("beta-line")));
    EXPECT_THAT(alphaRows(branchRows), IsEmpty());
    ASSERT_TRUE(key("BackSpace BackSpace BackSpace BackSpace") && type("guide"));
    const auto fileRows = rowsWith("docs/beta-guide.md");
    EXPECT_THAT(fileRows, Contains(HasSubstr("docs/beta-guide.md")));
    EXPECT_THAT(alphaRows(fileRows), IsEmpty());
    EXPECT_TRUE(waitForLine(projectLine(beta), 1, 0.1)) << "the change waited for the popup";
    ASSERT_TRUE(key("Escape"));
    EXPECT_TRUE(popupShown(false));

    if (!trayerWindow.empty()) {
        ASSERT_TRUE(pollUntil([&] { return !trayIcon().empty(); }, 10.0));
        const auto items = trayMenu();
        ASSERT_FALSE(items.empty());
        EXPECT_EQ(items[0], "Project: beta");
    }
}

} // namespace
} // namespace korvane
