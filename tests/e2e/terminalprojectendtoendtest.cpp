// The korvane binary under scripts/xvfb-session, following the project a terminal user is in: a shell
// that left a job running and a program stopped in another project, tmux panes selected in turn while
// a second tmux server runs beside, and a prompt that names its folder in the window's title while
// tmux or an editor works elsewhere. The popup's rows and the tray menu are read over the
// accessibility bus.
#include "terminalprojecttest.h"

#include <chrono>
#include <filesystem>
#include <gmock/gmock.h>
#include <iostream>
#include <string>
#include <utility>
#include <vector>

namespace korvane {
namespace {

namespace fs = std::filesystem;

using namespace test::e2e;

using TerminalProjectEndToEndTest = TerminalProjectTest;

// A job started in the background in alpha and a program stopped there (as an editor is with Ctrl+Z)
// while the shell went on to beta: the popup and the tray show beta; the program brought back to the
// foreground shows alpha.
TEST_F(TerminalProjectEndToEndTest, TheShellsFolderWinsOverItsBackgroundAndStoppedJobs) {
    const fs::path alpha = project("alpha"), beta = project("beta");
    ASSERT_TRUE(
        openXterm("korvane-jobs", alpha, "touch " + quoted(readyFile("korvane-jobs")) + " && exec sh -i"));
    ASSERT_TRUE(waitForLine(projectLine(alpha)));
    const std::string shell = output("pgrep -P " + std::to_string(helpers.back()));
    ASSERT_FALSE(shell.empty());
    const auto shellIn = [&](const fs::path& folder) {
        return [&, folder] { return output("readlink /proc/" + shell + "/cwd") == folder.string(); };
    };
    const auto childNamed = [&](const std::string& name) {
        return [&, name] { return !output("pgrep -P " + shell + " -x " + name).empty(); };
    };

    ASSERT_TRUE(runInShell("sleep 300 &", childNamed("sleep")));
    ASSERT_TRUE(runInShell("cd ../beta", shellIn(beta)));
    expectPopupShows("beta");
    EXPECT_TRUE(waitForLine(projectLine(beta))) << readAll(outFile());
    expectTrayShows("beta");

    ASSERT_TRUE(focus("korvane-jobs"));
    ASSERT_TRUE(runInShell("cd ../alpha", shellIn(alpha)));
    ASSERT_TRUE(runInShell("cat", childNamed("cat")));
    const std::string cat = output("pgrep -P " + shell + " -x cat");
    ASSERT_TRUE(key("ctrl+z"));
    ASSERT_TRUE(pollUntil([&] { return output("ps -o stat= -p " + cat).starts_with("T"); }, 10.0));
    ASSERT_TRUE(runInShell("cd ../beta", shellIn(beta)));
    expectPopupShows("beta");
    expectTrayShows("beta");

    ASSERT_TRUE(focus("korvane-jobs"));
    ASSERT_TRUE(type("fg") && key("Return"));
    ASSERT_TRUE(pollUntil([&] { return !output("ps -o stat= -p " + cat).starts_with("T"); }, 10.0));
    expectPopupShows("alpha");
    EXPECT_TRUE(waitForLine(projectLine(alpha), 2)) << readAll(outFile());
}

// Two panes of one tmux session, in alpha and beta, selected in turn within seconds: the popup shows
// the selected pane's project, not where the client was started (gamma). The session's server has a
// socket of its own name in a folder of its own; a second server on another socket shows gamma in
// another xterm, whose popup shows gamma in turn.
TEST_F(TerminalProjectEndToEndTest, TheSelectedTmuxPaneSpeaksForTheTerminal) {
    if (run("command -v tmux >/dev/null") != 0) {
        GTEST_SKIP() << "tmux is not installed";
    }
    const fs::path alpha = project("alpha"), beta = project("beta"), gamma = project("gamma");
    fs::create_directories(root / "tmux");
    const std::string other = "env SHELL=/bin/sh tmux -f /dev/null -S " + quoted(root / "other.sock");
    const std::string work =
        "env SHELL=/bin/sh TMUX_TMPDIR=" + quoted(root / "tmux") + " tmux -f /dev/null -L korvane-work";
    ASSERT_TRUE(openTmux("korvane-other", other, alpha, "other", gamma));
    ASSERT_TRUE(openTmux("korvane-tmux", work, gamma, "work", alpha));
    ASSERT_EQ(run(work + " split-window -t work -c " + quoted(beta)), 0);

    using Pane = std::pair<std::string, std::string>;
    for (const auto& [pane, name] : {Pane{"0", "alpha"}, Pane{"1", "beta"}, Pane{"0", "alpha"}}) {
        ASSERT_EQ(run(work + " select-pane -t work:0." + pane), 0);
        const auto before = std::chrono::steady_clock::now();
        expectPopupShows(name);
        std::cout << "[ tmux     ] pane " << pane << " (" << name << ") shown after "
                  << std::chrono::duration<double>(std::chrono::steady_clock::now() - before).count()
                  << " s\n";
    }
    expectTrayShows("alpha");

    ASSERT_TRUE(focus("korvane-other"));
    expectPopupShows("gamma");
}

// An xterm whose bash prompt sets the window's title to the folder it is in, as many prompts do, and
// that ran a program from there: the title keeps naming that folder while the program works in
// another project.
class TitledPromptTest : public TerminalProjectTest {
protected:
    // An xterm running such a bash in `directory`, focused by the title its first prompt set.
    bool openTitledShell(const fs::path& directory) {
        dir.write("titlerc", "PS1='$ '\nPROMPT_COMMAND='printf \"\\033]0;%s\\007\" \"$PWD\"'\n");
        return startXterm("korvane-titled", directory,
                         "touch " + quoted(readyFile("korvane-titled")) + " && exec bash --rcfile " +
                             quoted(root / "titlerc") + " -i") &&
               activateWindow("--name '^" + directory.string() + "$'");
    }
};

// tmux started from such a prompt in gamma: its panes in alpha and beta, selected in turn, speak for
// the terminal, not the title.
TEST_F(TitledPromptTest, TheSelectedTmuxPaneWinsOverABarePathTitle) {
    if (run("command -v tmux >/dev/null") != 0) {
        GTEST_SKIP() << "tmux is not installed";
    }
    const fs::path alpha = project("alpha"), beta = project("beta"), gamma = project("gamma");
    fs::create_directories(root / "tmux");
    const std::string tmux =
        "env SHELL=/bin/sh TMUX_TMPDIR=" + quoted(root / "tmux") + " tmux -f /dev/null -L korvane-title";
    servers.push_back(tmux);
    ASSERT_TRUE(openTitledShell(gamma));
    ASSERT_TRUE(runInShell("exec " + tmux + " new-session -s work -c " + quoted(alpha),
                           [&] { return !output(tmux + " list-clients 2>/dev/null").empty(); }));
    ASSERT_EQ(run(tmux + " split-window -t work -c " + quoted(beta)), 0);

    using Pane = std::pair<std::string, std::string>;
    for (const auto& [pane, name] : {Pane{"0", "alpha"}, Pane{"1", "beta"}, Pane{"0", "alpha"}, Pane{"1", "beta"}}) {
        ASSERT_EQ(run(tmux + " select-pane -t work:0." + pane), 0);
        expectPopupShows(name);
    }
}

// `cd ../beta && vim` typed at a prompt in alpha: no prompt ran in between, so the title still names
// alpha while the editor, the terminal's foreground job, works in beta.
TEST_F(TitledPromptTest, TheForegroundEditorWinsOverTheTitleOfThePromptBefore) {
    if (run("command -v vim >/dev/null") != 0) {
        GTEST_SKIP() << "vim is not installed";
    }
    const fs::path alpha = project("alpha"), beta = project("beta");
    ASSERT_TRUE(openTitledShell(alpha));
    const std::string shell = output("pgrep -P " + std::to_string(helpers.back()));
    ASSERT_FALSE(shell.empty());
    ASSERT_TRUE(runInShell("cd ../beta && vim -N -u NONE", [&] { return !output("pgrep -P " + shell + " -x vim").empty(); }));
    ASSERT_EQ(output("xdotool getactivewindow getwindowname"), alpha.string());
    for (int trigger = 0; trigger < 3; ++trigger) {
        expectPopupShows("beta");
    }
}

} // namespace
} // namespace korvane
