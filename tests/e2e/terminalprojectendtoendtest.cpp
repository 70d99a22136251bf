// The korvane binary under scripts/xvfb-session, following the project a terminal user is in: a shell
// that left a job running and a program stopped in another project, tmux panes selected in turn
// while a second tmux server runs beside, tmux's own socket folders, a stopped tmux server, servers
// an attacker could have started, lxterminal, GNU screen's shown window, and a prompt that names its
// folder in the window's title while tmux or an editor works elsewhere. The popup's rows and the tray
// menu are read over the accessibility bus.
#include "terminalprojecttest.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <gmock/gmock.h>
#include <iostream>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

namespace korvane {
namespace {

namespace fs = std::filesystem;

using namespace test::e2e;
using testing::Contains;
using testing::HasSubstr;
using testing::Not;

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
        expectPopupShows(name, kTmuxTriggers);
        std::cout << "[ tmux     ] pane " << pane << " (" << name << ") shown after "
                  << std::chrono::duration<double>(std::chrono::steady_clock::now() - before).count()
                  << " s\n";
    }
    expectTrayShows("alpha");

    ASSERT_TRUE(focus("korvane-other"));
    expectPopupShows("gamma", kTmuxTriggers);
}

// tmux puts its socket folder below TMUX_TMPDIR only where that folder exists, taking "~/" there as a
// folder named "~" in the client's own folder, and below /tmp otherwise: both clients, started in
// gamma, show panes in alpha and beta of servers in /tmp.
TEST_F(TerminalProjectEndToEndTest, TheServerIsFoundWhereTmuxFallsBackToForItsSocket) {
    if (run("command -v tmux >/dev/null") != 0) {
        GTEST_SKIP() << "tmux is not installed";
    }
    const fs::path gamma = project("gamma");
    const std::string label = "korvane-e2e-" + std::to_string(::getpid()) + "-";
    const std::pair<std::string, std::string> cases[] = {{quoted((root / "missing").string()), "alpha"},
                                                         {"'~/tmux'", "beta"}};
    for (const auto& [folder, name] : cases) {
        const std::string tmux =
            "env SHELL=/bin/sh TMUX_TMPDIR=" + folder + " tmux -f /dev/null -L " + label + name;
        sharedSockets.push_back(fs::path("/tmp") / ("tmux-" + std::to_string(::getuid())) / (label + name));
        ASSERT_TRUE(openTmux("korvane-" + name, tmux, gamma, name, project(name)));
        expectPopupShows(name, kTmuxTriggers);
    }
}

// tmux -S with a socket in a folder others may enter but not write to (a home of mode 0755) is asked.
TEST_F(TerminalProjectEndToEndTest, ASocketInAFolderOthersMayEnterIsAsked) {
    if (run("command -v tmux >/dev/null") != 0) {
        GTEST_SKIP() << "tmux is not installed";
    }
    ASSERT_EQ(run("mkdir -m 0755 " + quoted(root / "named")), 0);
    const std::string tmux = "env SHELL=/bin/sh tmux -f /dev/null -S " + quoted(root / "named" / "sock");
    ASSERT_TRUE(openTmux("korvane-named", tmux, project("gamma"), "named", project("beta")));
    expectPopupShows("beta", kTmuxTriggers, true);
}

// A server stopped with SIGSTOP never answers: only the first trigger after it stopped waits for it, briefly,
// and no trigger takes the client's folder meanwhile; once it runs again its pane is shown again.
TEST_F(TerminalProjectEndToEndTest, AStoppedTmuxServerHoldsUpOnlyTheFirstTrigger) {
    if (run("command -v tmux >/dev/null") != 0) {
        GTEST_SKIP() << "tmux is not installed";
    }
    const std::string tmux = "env SHELL=/bin/sh tmux -f /dev/null -S " + quoted(root / "stopped.sock");
    ASSERT_TRUE(openTmux("korvane-stopped", tmux, project("gamma"), "stopped", project("alpha")));
    expectPopupShows("alpha", kTmuxTriggers);
    const std::string server = output(tmux + " display-message -p '#{pid}'");
    ASSERT_FALSE(server.empty());
    const std::size_t before = triggerTimes().size();
    ASSERT_EQ(run("kill -STOP " + server), 0);
    constexpr std::size_t kTriggers = 5;
    for (std::size_t trigger = 0; trigger < kTriggers; ++trigger) {
        if (trigger < 2) {
            EXPECT_EQ(popupProject(), "") << "trigger " << trigger;
            continue;
        }
        ASSERT_TRUE(type(";;"));
        ASSERT_TRUE(popupShown(true));
        ASSERT_TRUE(pollUntil([&] { return triggerTimes().size() > before + trigger; }, 10.0));
        ASSERT_TRUE(key("Escape"));
        ASSERT_TRUE(popupShown(false));
        ASSERT_TRUE(key("ctrl+u"));
    }
    run("kill -CONT " + server);
    std::vector<double> times = triggerTimes();
    times.erase(times.begin(), times.begin() + static_cast<std::ptrdiff_t>(before));
    for (double time : times) {
        std::cout << "[ tmux     ] trigger to frame with the server stopped: " << time << " ms\n";
    }
    ASSERT_EQ(times.size(), kTriggers);
    // Each question used to wait 250 ms for the server on the main thread, at every trigger.
    std::vector<double> later(times.begin() + 1, times.end());
    std::sort(later.begin(), later.end());
    EXPECT_LT(later[later.size() / 2], 250.0);
    expectPopupShows("alpha", kTmuxTriggers);
}

// Servers that an attacker could have started answer every question by having the client create a
// file and start a program: a server that is a python program in a folder of the user's own, a server
// in a folder open to all, one whose socket another user owns, and one named by a program that only
// took tmux's client's name, whose folder another user owns. No question reaches any of them, nothing
// runs, and no terminal shows a project, not even the folder its client started in.
TEST_F(TerminalProjectEndToEndTest, AServerAnAttackerCouldHaveStartedIsNeverAsked) {
    if (run("command -v tmux >/dev/null") != 0) {
        GTEST_SKIP() << "tmux is not installed";
    }
    const bool asRoot = ::geteuid() == 0;
    const fs::path record = root / "record", ran = root / "ran", written = root / "written";
    const fs::path program = dir.write("program", "#!/bin/sh\ntouch " + quoted(ran.string()) + "\n");
    fs::permissions(program, fs::perms::owner_all);
    const std::string uid = std::to_string(::getuid());
    std::vector<fs::path> sockets{root / "own" / "server", root / "open" / "server",
                                  root / "foreign" / "server", root / "shared" / ("tmux-" + uid) / "default"};
    for (const fs::path& socket : sockets) {
        fs::create_directories(socket.parent_path());
        fs::permissions(socket.parent_path(), fs::perms::owner_all);
    }
    fs::permissions(root / "open", fs::perms::all);
    std::string listen =
        fixtureCommand("faketmuxserver.py", quoted(record.string()) + " " + quoted(program.string()) + " " +
                                                quoted(written.string()));
    for (const fs::path& socket : sockets) {
        listen += " " + quoted(socket.string());
    }
    ASSERT_EQ(
        run("{ " + listen + " >/dev/null 2>&1 & echo $! > " + quoted((root / "fake.pid").string()) + "; }"),
        0);
    helpers.push_back(std::stoi(readAll(root / "fake.pid")));
    ASSERT_TRUE(pollUntil(
        [&] {
            return std::all_of(sockets.begin(), sockets.end(),
                               [](const fs::path& socket) { return fs::exists(socket); });
        },
        10.0));
    if (asRoot) {
        ASSERT_EQ(run("chown 65534 " + quoted(sockets[2].string()) + " " +
                      quoted(sockets[3].parent_path().string())),
                  0);
    }

    const fs::path alpha = project("alpha");
    std::vector<std::pair<std::string, std::string>> clients;
    for (std::size_t index = 0; index < (asRoot ? 3u : 2u); ++index) {
        clients.emplace_back("korvane-client-" + std::to_string(index),
                             "tmux -S " + quoted(sockets[index].string()) + " attach");
    }
    if (asRoot) {
        clients.emplace_back("korvane-named",
                             "env TMUX_TMPDIR=" + quoted((root / "shared").string()) + " " +
                                 fixtureCommand("craftedtmuxclient.py", quoted((root / "named").string())));
    }
    for (const auto& [title, client] : clients) {
        const std::size_t recorded = count(readAll(record), "\n");
        ASSERT_TRUE(openXterm(title, alpha, "touch " + quoted(readyFile(title)) + " && exec " + client));
        ASSERT_TRUE(pollUntil(
            [&] { return count(readAll(record), "\n") > recorded || fs::exists(root / "named"); }, 10.0));
        EXPECT_EQ(popupProject(), "") << title;
    }
    const std::string asked = readAll(record);
    EXPECT_THAT(asked, Not(HasSubstr("list-clients")));
    EXPECT_THAT(asked, Not(HasSubstr(kMarker)));
    EXPECT_FALSE(fs::exists(ran));
    EXPECT_FALSE(fs::exists(written));
}

// lxterminal, LXDE's terminal, is known as a terminal: its shell's folder is the project.
TEST_F(TerminalProjectEndToEndTest, LxterminalsShellGivesTheProject) {
    if (run("command -v lxterminal >/dev/null") != 0) {
        GTEST_SKIP() << "lxterminal is not installed";
    }
    ASSERT_TRUE(openLxterminal("korvane-lx", project("beta"),
                               "touch " + quoted(readyFile("korvane-lx")) + " && exec sh -i"));
    expectPopupShows("beta");
    EXPECT_TRUE(waitForLine(projectLine(project("beta")))) << readAll(outFile());
    expectTrayShows("beta");
}

// A screen session started in alpha with a second window in beta, the windows selected in turn; then
// detached and attached again with "screen -r" typed in gamma: the popup and the tray show the shown
// window's project, never the folder screen was started or attached in.
TEST_F(TerminalProjectEndToEndTest, TheShownScreenWindowSpeaksForTheTerminal) {
    if (run("command -v screen >/dev/null") != 0) {
        GTEST_SKIP() << "screen is not installed";
    }
    const fs::path alpha = project("alpha"), beta = project("beta"), gamma = project("gamma");
    fs::create_directories(root / "screen");
    fs::permissions(root / "screen", fs::perms::owner_all, fs::perm_options::replace);
    const std::string environment =
        "env SCREENDIR=" + quoted(root / "screen") + " HOME=" + quoted(home) + " SHELL=/bin/sh ";
    const std::string session = environment + "screen -S korvane-work";
    sessions.push_back(session);
    const auto shellIn = [&](const std::string& title, const fs::path& folder) {
        return openXterm(title, folder,
                         "touch " + quoted(readyFile(title)) + " && exec " + environment + "sh -i");
    };
    const auto attached = [&] {
        return output(environment + "screen -ls 2>/dev/null").find("(Attached)") != std::string::npos;
    };

    ASSERT_TRUE(shellIn("korvane-screen", alpha));
    ASSERT_TRUE(type("screen -S korvane-work") && key("Return"));
    ASSERT_TRUE(pollUntil(attached, 10.0));
    ASSERT_EQ(run(session + " -X chdir " + quoted(beta) + " && " + session + " -X screen"), 0);
    ASSERT_TRUE(
        pollUntil([&] { return output(session + " -Q windows").find("1*") != std::string::npos; }, 10.0));

    using Window = std::pair<std::string, std::string>;
    for (const auto& [window, name] : {Window{"0", "alpha"}, Window{"1", "beta"}, Window{"0", "alpha"}}) {
        ASSERT_EQ(run(session + " -X select " + window), 0);
        ASSERT_TRUE(focus("korvane-screen"));
        expectPopupShows(name, kTmuxTriggers, true);
    }
    expectTrayShows("alpha");

    ASSERT_EQ(run(session + " -X detach"), 0);
    ASSERT_TRUE(pollUntil([&] { return !attached(); }, 10.0));
    ASSERT_TRUE(shellIn("korvane-screen-again", gamma));
    ASSERT_TRUE(type("screen -r korvane-work") && key("Return"));
    ASSERT_TRUE(pollUntil(attached, 10.0));
    // From here on the terminal is never in gamma, where its shell typed "screen -r".
    const std::size_t inGamma = count(readAll(outFile()), projectLine(gamma));
    expectPopupShows("alpha", kTmuxTriggers, true);
    expectTrayShows("alpha");
    ASSERT_EQ(run(session + " -X select 1"), 0);
    ASSERT_TRUE(focus("korvane-screen-again"));
    expectPopupShows("beta", kTmuxTriggers, true);
    expectTrayShows("beta");
    EXPECT_EQ(count(readAll(outFile()), projectLine(gamma)), inGamma) << readAll(outFile());
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
    for (const auto& [pane, name] :
         {Pane{"0", "alpha"}, Pane{"1", "beta"}, Pane{"0", "alpha"}, Pane{"1", "beta"}}) {
        ASSERT_EQ(run(tmux + " select-pane -t work:0." + pane), 0);
        expectPopupShows(name, kTmuxTriggers);
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
    ASSERT_TRUE(runInShell("cd ../beta && vim -N -u NONE",
                           [&] { return !output("pgrep -P " + shell + " -x vim").empty(); }));
    ASSERT_EQ(output("xdotool getactivewindow getwindowname"), alpha.string());
    for (int trigger = 0; trigger < 3; ++trigger) {
        expectPopupShows("beta");
    }
}

} // namespace
} // namespace korvane
