#include "terminalprojecttest.h"

#include <algorithm>
#include <gmock/gmock.h>
#include <iostream>
#include <string_view>

namespace korvane::test::e2e {

namespace fs = std::filesystem;

using testing::Contains;
using testing::HasSubstr;
using testing::Not;

void TerminalProjectTest::arrange() {
    dir.write("home/.config/korvane/config.json", R"({"snippets": [{"key": "sig", "expand": "Best"}]})");
    const std::string git = "git -c user.name=Ada -c user.email=ada@example.com -c init.defaultBranch=main";
    for (const std::string& name : kProjects) {
        dir.write("home/projects/" + name + "/" + name + "-draft.txt", name + "\n");
        ASSERT_EQ(run("cd " + quoted(project(name)) + " && " + git + " init -q && " + git + " add -A && " +
                      git + " commit -qm one"),
                  0);
    }
    skipOnboarding();
    // Timing lines say how long each trigger took; the marker must never reach a tmux server.
    isolateEnvironment({"QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1", "QT_QPA_PLATFORM=xcb", "KORVANE_TIMING=1",
                        std::string(kMarker) + "=korvane-own"});
    startTrayer();
    ASSERT_TRUE(startKorvane()) << readAll(errFile());
}

void TerminalProjectTest::TearDown() {
    for (const std::string& server : servers) {
        run(server + " kill-server >/dev/null 2>&1");
    }
    for (const std::string& session : sessions) {
        run(session + " -X quit >/dev/null 2>&1");
    }
    for (const fs::path& socket : sharedSockets) {
        fs::remove(socket);
    }
    IsolatedKorvaneTest::TearDown();
}

void TerminalProjectTest::expectPopupShows(const std::string& name, int triggers, bool neverAnother) {
    for (int trigger = 1; trigger <= triggers; ++trigger) {
        ASSERT_TRUE(type(";;draft"));
        ASSERT_TRUE(popupShown(true));
        const bool last = trigger == triggers;
        const auto rows = rowsWith(last ? name + "-draft.txt" : "-draft.txt");
        const bool shown = std::all_of(kProjects.begin(), kProjects.end(), [&](const std::string& project) {
            return testing::Value(rows, Contains(HasSubstr(project + "-draft.txt"))) == (project == name);
        });
        if (last) {
            EXPECT_THAT(rows, Contains(HasSubstr(name + "-draft.txt"))) << "expected " << name;
        }
        if (last || neverAnother) {
            for (const std::string& other : kProjects) {
                if (other != name) {
                    EXPECT_THAT(rows, Not(Contains(HasSubstr(other + "-draft.txt")))) << "expected " << name;
                }
            }
        }
        closePopup();
        if (shown) {
            return;
        }
        std::cout << "[ terminal ] trigger " << trigger << " did not show " << name << "\n";
    }
}

std::string TerminalProjectTest::popupProject() {
    if (!type(";;draft") || !popupShown(true)) {
        return "";
    }
    const auto rows = rowsWith("-draft.txt");
    std::string shown;
    for (const std::string& name : kProjects) {
        if (std::any_of(rows.begin(), rows.end(), [&](const std::string& row) {
                return row.find(name + "-draft.txt") != std::string::npos;
            })) {
            shown = shown.empty() ? name : "several";
        }
    }
    closePopup();
    return shown;
}

void TerminalProjectTest::closePopup() {
    ASSERT_TRUE(key("Escape"));
    ASSERT_TRUE(popupShown(false));
    ASSERT_TRUE(key("ctrl+u"));
}

void TerminalProjectTest::expectTrayShows(const std::string& name) {
    if (trayerWindow.empty()) {
        return;
    }
    ASSERT_TRUE(pollUntil([&] { return !trayIcon().empty(); }, 10.0));
    const auto items = trayMenu();
    ASSERT_FALSE(items.empty()) << "the tray menu did not show over the accessibility bus";
    EXPECT_EQ(items[0], "Project: " + name);
}

std::vector<double> TerminalProjectTest::triggerTimes() const {
    std::vector<double> times;
    for (const std::string& line : lines(readAll(outFile()))) {
        constexpr std::string_view prefix = "[Korvane] Timing: trigger-to-frame ";
        if (line.starts_with(prefix)) {
            times.push_back(std::stod(line.substr(prefix.size())));
        }
    }
    return times;
}

bool TerminalProjectTest::openLxterminal(const std::string& title, const fs::path& directory,
                                         const std::string& program) {
    const fs::path pidFile = root / (title + ".pid");
    const std::string command = "cd " + quoted(directory) + " && { env HOME=" + quoted(home) +
                                " lxterminal --no-remote -t " + title +
                                " --command=" + quoted("sh -c " + quoted(program)) +
                                " >/dev/null 2>&1 & echo $! > " + quoted(pidFile) + "; }";
    if (run(command) != 0 || !pollUntil([&] { return fs::exists(readyFile(title)); }, 20.0)) {
        return false;
    }
    helpers.push_back(std::stoi(readAll(pidFile)));
    return focus(title);
}

bool TerminalProjectTest::openTmux(const std::string& title, const std::string& command,
                                   const fs::path& directory, const std::string& session,
                                   const fs::path& pane) {
    servers.push_back(command);
    return openXterm(title, directory,
                     "touch " + quoted(readyFile(title)) + " && exec " + command + " new-session -s " +
                         session + " -c " + quoted(pane)) &&
           pollUntil([&] { return !output(command + " list-clients 2>/dev/null").empty(); }, 10.0);
}

} // namespace korvane::test::e2e
