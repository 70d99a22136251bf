// The korvane binary as a user meets it, under scripts/xvfb-session: a tray host, xterms whose
// programs sit in project folders and a GTK entry, typed into with xdotool; the tray menu and the
// completion rows are read over the accessibility bus by fixtures/korvaneitems.py.
#include "endtoendsupport.h"
#include "support/polling.h"
#include "support/tempdir.h"

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <gmock/gmock.h>
#include <iostream>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace korvane {
namespace {

namespace fs = std::filesystem;
using test::pollUntil;
using test::readAll;
using test::run;

constexpr const char* kReadyLine = "[Korvane] Ready. Type ;; to activate.";
constexpr const char* kPressureLine =
    "[Korvane] Memory pressure detected (critical), evicting optional caches";

using namespace test::e2e;

class EndToEndTest : public testing::Test {
protected:
    void SetUp() override {
#ifndef KORVANE_BINARY
        GTEST_SKIP() << "the korvane executable is not part of this build";
#else
        if (std::getenv("DISPLAY") == nullptr) {
            GTEST_SKIP() << "needs an X session (scripts/xvfb-session)";
        }
        root = fs::canonical(dir.path());
        home = root / "home";
        alpha = home / "projects/alpha";
        beta = home / "projects/beta";
        dir.write(
            "home/.config/korvane/config.json",
            R"({"snippets": [{"key": "sig", "expand": "Best,\nAda"}, {"key": "fn", "expand": "foo($0)bar"}]})");
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
        fs::create_directories(root / "run");
        fs::permissions(root / "run", fs::perms::owner_all);
        // Onboarding done, so that no window of it takes the focus from the windows typed into.
        dir.write("state/korvane/defaults.json", R"({"hasCompletedOnboarding": true})");

        for (char** e = environ; *e != nullptr; ++e) {
            std::string entry = *e;
            // KORVANE_TEST marks the test runner itself; the binary would leave at once under it.
            static const std::vector<std::string> replaced{
                "HOME=",           "XDG_CONFIG_HOME=", "XDG_CACHE_HOME=",
                "XDG_STATE_HOME=", "XDG_RUNTIME_DIR=", "KORVANE_TEST="};
            if (std::none_of(replaced.begin(), replaced.end(),
                             [&](const auto& p) { return entry.starts_with(p); })) {
                environment.push_back(entry);
            }
        }
        for (const std::string& entry :
             {"HOME=" + home.string(), "XDG_CONFIG_HOME=" + (home / ".config").string(),
              "XDG_CACHE_HOME=" + (home / ".cache").string(), "XDG_STATE_HOME=" + (root / "state").string(),
              "XDG_RUNTIME_DIR=" + (root / "run").string(), std::string("KORVANE_TEST_HOOKS=1"),
              std::string("QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1"), std::string("QT_QPA_PLATFORM=xcb")}) {
            environment.push_back(entry);
        }

        if (run("command -v trayer >/dev/null") == 0) {
            trayer = spawn({"/bin/sh", "-c",
                            "exec trayer --edge top --align right --widthtype request --height 24 "
                            "--SetDockType true --SetPartialStrut false --expand false"},
                           environment, root / "trayer.out", root / "trayer.err");
            trayerWindow = "";
            pollUntil(
                [&] {
                    return !(trayerWindow = output("xdotool search --class trayer 2>/dev/null | head -1"))
                                .empty();
                },
                10.0);
        }
        ASSERT_TRUE(startKorvane()) << readAll(errFile());
#endif
    }

    void TearDown() override {
        stop(korvane);
        stop(trayer);
        for (int pid : helpers) {
            run("kill " + std::to_string(pid) + " 2>/dev/null");
        }
        // Kept for a look at a failure; the temporary folder goes with the test.
        if (HasFailure()) {
            std::cout << "[ korvane  ] stdout:\n"
                      << readAll(outFile()) << "[ korvane  ] stderr (tail):\n"
                      << output("tail -n 30 " + quoted(errFile())) << "\n";
        }
    }

    fs::path outFile() const {
        return root / ("korvane" + std::to_string(starts) + ".out");
    }
    fs::path errFile() const {
        return root / ("korvane" + std::to_string(starts) + ".err");
    }

    bool startKorvane() {
        ++starts;
        korvane = spawn({korvaneBinary()}, environment, outFile(), errFile());
        return waitForLine(kReadyLine, 1, 30.0);
    }

    static std::string korvaneBinary() {
#ifdef KORVANE_BINARY
        return KORVANE_BINARY;
#else
        return {};
#endif
    }

    // Waits until korvane's stdout holds `line` at least `times` times.
    bool waitForLine(const std::string& line, std::size_t times = 1, double seconds = 10.0) {
        return pollUntil([&] { return count(readAll(outFile()), line + "\n") >= times; }, seconds);
    }

    std::string projectLine(const fs::path& project) const {
        return "[Korvane] Project changed: " + project.filename().string() + " at " + project.string();
    }

    // An xterm titled `title` whose program runs in `directory` and writes every byte it receives,
    // untranslated, to the file `<title>.typed`; focused.
    bool openTerminal(const std::string& title, const fs::path& directory) {
        const fs::path ready = root / (title + ".ready");
        const std::string program = "stty raw -echo && touch " + quoted(ready) + " && exec cat > " +
                                    quoted(root / (title + ".typed"));
        const std::string command = "cd " + quoted(directory) + " && { xterm -T " + title +
                                    " -geometry 70x12 -e sh -c " + quoted(program) +
                                    " >/dev/null 2>&1 & echo $! > " + quoted(root / (title + ".pid")) + "; }";
        if (run(command) != 0 || !pollUntil([&] { return fs::exists(ready); }, 20.0)) {
            return false;
        }
        helpers.push_back(std::stoi(readAll(root / (title + ".pid"))));
        return focus(title);
    }

    std::string typedInto(const std::string& title) {
        return edited(readAll(root / (title + ".typed")));
    }
    std::string rawInto(const std::string& title) {
        return "raw " + testing::PrintToString(readAll(root / (title + ".typed")));
    }

    bool focus(const std::string& title) {
        return test::activateWindow("--name '^" + title + "$'");
    }

    static bool type(const std::string& text) {
        return run("xdotool type --delay 40 " + quoted(text) + " >/dev/null 2>&1") == 0;
    }
    static bool key(const std::string& keys) {
        return run("xdotool key --delay 40 " + keys + " >/dev/null 2>&1") == 0;
    }

    // The popup's window while it is on screen, or "". The tray icon bears the same name.
    static std::string popupWindow() {
        for (const std::string& window :
             lines(output("xdotool search --onlyvisible --name '^Korvane$' 2>/dev/null"))) {
            if (geometry(window).width > 60) {
                return window;
            }
        }
        return {};
    }
    static bool popupShown(bool shown) {
        return pollUntil([&] { return popupWindow().empty() != shown; }, 10.0);
    }

    // The korvaneitems.py listing of `what` ("menu" or "rows").
    static std::vector<std::string> accessibleItems(const std::string& what) {
        return lines(
            output("/usr/bin/python3 " KORVANE_FIXTURES "/korvaneitems.py " + what + " 10 2>/dev/null"));
    }

    // Waits until the completion rows include one containing `text`; the rows last seen.
    static std::vector<std::string> rowsWith(const std::string& text) {
        std::vector<std::string> rows;
        pollUntil(
            [&] {
                rows = accessibleItems("rows");
                return std::any_of(rows.begin(), rows.end(), [&](const std::string& row) {
                    return row.find(text) != std::string::npos;
                });
            },
            10.0);
        return rows;
    }

    // The tray menu's visible items, opened with a right click on the docked icon and closed again.
    std::vector<std::string> trayMenu() {
        const std::string icon = trayIcon();
        return icon.empty() ? std::vector<std::string>{} : accessibleItems("menu " + icon);
    }

    // The tray icon's window, docked somewhere below one of trayer's windows, or "".
    std::string trayIcon() const {
        if (trayerWindow.empty()) {
            return {};
        }
        std::size_t trayDepth = std::string::npos;
        for (const std::string& line : lines(output("xwininfo -root -tree 2>/dev/null"))) {
            const std::size_t depth = line.find_first_not_of(' ');
            if (trayDepth != std::string::npos && depth <= trayDepth) {
                trayDepth = std::string::npos;
            }
            if (line.find("\"trayer\")") != std::string::npos) {
                trayDepth = depth;
            } else if (trayDepth != std::string::npos && line.find("(\"korvane\"") != std::string::npos) {
                return line.substr(depth, line.find(' ', depth) - depth);
            }
        }
        return {};
    }

    struct Geometry {
        int x = 0, y = 0, width = 0, height = 0;
    };
    static Geometry geometry(const std::string& window) {
        Geometry g;
        for (const std::string& line :
             lines(output("xdotool getwindowgeometry --shell " + window + " 2>/dev/null"))) {
            const auto equals = line.find('=');
            if (equals == std::string::npos) {
                continue;
            }
            const std::string name = line.substr(0, equals);
            const int value = std::atoi(line.c_str() + equals + 1);
            if (name == "X") {
                g.x = value;
            } else if (name == "Y") {
                g.y = value;
            } else if (name == "WIDTH") {
                g.width = value;
            } else if (name == "HEIGHT") {
                g.height = value;
            }
        }
        return g;
    }

    static void screenshot(const std::string& name) {
        run("import -window root /tmp/korvane-e2e-" + name + ".png >/dev/null 2>&1");
    }

    test::TempDir dir;
    fs::path root, home, alpha, beta;
    std::vector<std::string> environment;
    pid_t korvane = 0;
    pid_t trayer = 0;
    int starts = 0;
    std::string trayerWindow;
    std::vector<int> helpers;
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
    ASSERT_TRUE(pollUntil([&] { return ended(lost, &status); }, 20.0)) << (::kill(lost, SIGKILL), "still running");
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
    ASSERT_TRUE(pollUntil([&] { return readAll(root / "korvane-alpha.typed").ends_with(fourLefts); }))
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
    const std::size_t offset = readAll(root / "korvane-alpha.typed").size();
    ASSERT_TRUE(key("Return") && type(";;sig"));
    ASSERT_TRUE(popupShown(true));
    rowsWith("sig");
    ASSERT_TRUE(key("Return"));
    EXPECT_TRUE(pollUntil([&] {
        return edited(readAll(root / "korvane-alpha.typed").substr(offset)) == "\nBest,\nAda";
    })) << rawInto("korvane-alpha");

    // Killed right after a completion, while its use is being recorded: the history on disk stays
    // readable and the next start goes through.
    const fs::path history = home / ".config/korvane/history.json";
    ASSERT_TRUE(pollUntil([&] { return readAll(history).find("\"manual:sig\"") != std::string::npos; }))
        << "the uses so far were never saved";
    const std::size_t killOffset = readAll(root / "korvane-alpha.typed").size();
    ASSERT_TRUE(key("Return") && type(";;fn"));
    ASSERT_TRUE(popupShown(true));
    rowsWith("fn");
    ASSERT_TRUE(key("Return"));
    ASSERT_TRUE(pollUntil([&] {
        return readAll(root / "korvane-alpha.typed").substr(killOffset).ends_with("bar");
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
    ASSERT_TRUE(test::activateWindow("--class KorvaneGtk"));
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
}

} // namespace
} // namespace korvane
