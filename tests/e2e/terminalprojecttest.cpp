#include "terminalprojecttest.h"

#include <algorithm>
#include <gmock/gmock.h>

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
        ASSERT_EQ(run("cd " + quoted(project(name)) + " && " + git + " init -q && " + git + " add -A && " + git +
                      " commit -qm one"),
                  0);
    }
    skipOnboarding();
    isolateEnvironment({"QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1", "QT_QPA_PLATFORM=xcb"});
    startTrayer();
    ASSERT_TRUE(startKorvane()) << readAll(errFile());
}

void TerminalProjectTest::TearDown() {
    for (const std::string& server : servers) {
        run(server + " kill-server >/dev/null 2>&1");
    }
    IsolatedKorvaneTest::TearDown();
}

void TerminalProjectTest::expectPopupShows(const std::string& name) {
    ASSERT_TRUE(type(";;draft"));
    ASSERT_TRUE(popupShown(true));
    const auto rows = rowsWith(name + "-draft.txt");
    EXPECT_THAT(rows, Contains(HasSubstr(name + "-draft.txt"))) << "expected " << name;
    for (const std::string& other : kProjects) {
        if (other != name) {
            EXPECT_THAT(rows, Not(Contains(HasSubstr(other + "-draft.txt")))) << "expected " << name;
        }
    }
    closePopup();
}

std::string TerminalProjectTest::popupProject() {
    if (!type(";;draft") || !popupShown(true)) {
        return "";
    }
    const auto rows = rowsWith("-draft.txt");
    std::string shown;
    for (const std::string& name : kProjects) {
        if (std::any_of(rows.begin(), rows.end(),
                        [&](const std::string& row) { return row.find(name + "-draft.txt") != std::string::npos; })) {
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

bool TerminalProjectTest::openTmux(const std::string& title, const std::string& command, const fs::path& directory,
                                   const std::string& session, const fs::path& pane) {
    servers.push_back(command);
    return openXterm(title, directory,
                     "touch " + quoted(readyFile(title)) + " && exec " + command + " new-session -s " + session +
                         " -c " + quoted(pane)) &&
           pollUntil([&] { return !output(command + " list-clients 2>/dev/null").empty(); }, 10.0);
}

} // namespace korvane::test::e2e
