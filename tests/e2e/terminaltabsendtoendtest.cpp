// The korvane binary under scripts/xvfb-session with xfce4-terminal, one process owning every window
// and tab: two windows, or two tabs of one window, in alpha and beta, switched and typed into at once
// a dozen times each, with Debian's stock prompt (which names user, host and folder in the title) and
// with a title that names no folder. The popup's rows are read over the accessibility bus.
#include "terminalprojecttest.h"

#include <chrono>
#include <ctime>
#include <filesystem>
#include <functional>
#include <gmock/gmock.h>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

namespace korvane {
namespace {

namespace fs = std::filesystem;

using namespace test::e2e;

class TerminalTabsEndToEndTest : public TerminalProjectTest {
protected:
    enum class Layout { windows, tabs };
    enum class Prompt { stock, untitled };

    // xfce4-terminal, in a process of its own, showing alpha and beta in two windows or two tabs (a
    // third tab in gamma running top), its bash shells started with `prompt`; waits until both shells
    // run in their folders and the windows carry their titles.
    bool openTerminal(Layout layout, Prompt prompt) {
        if (prompt == Prompt::stock) {
            if (!fs::exists("/etc/skel/.bashrc")) {
                return false;
            }
            fs::copy_file("/etc/skel/.bashrc", home / ".bashrc", fs::copy_options::overwrite_existing);
        } else {
            // A fixed title per shell that names no folder, set once.
            dir.write("home/.bashrc", "PS1='\\w\\$ '\nprintf '\\033]0;korvane-%s\\007' \"${PWD##*/}\"\n");
        }
        const std::string next = layout == Layout::tabs ? " --tab" : " --window";
        std::string command =
            "xfce4-terminal --disable-server --working-directory=" + quoted(project("alpha")) + next +
            " --working-directory=" + quoted(project("beta"));
        if (layout == Layout::tabs) {
            command += " --tab --working-directory=" + quoted(project("gamma")) + " --command=top";
        }
        const fs::path pidFile = root / "xfce4-terminal.pid";
        if (run("cd " + quoted(home) + " && { env -u PROMPT_COMMAND HOME=" + quoted(home) +
                " SHELL=/bin/bash XDG_CONFIG_HOME=" + quoted(home / ".config") + " " + command +
                " >/dev/null 2>&1 & echo $! > " + quoted(pidFile) + "; }") != 0 ||
            !pollUntil([&] { return fs::exists(pidFile) && !readAll(pidFile).empty(); }, 10.0)) {
            return false;
        }
        terminal = std::stoi(readAll(pidFile));
        helpers.push_back(terminal);
        for (const std::string& name : {std::string("alpha"), std::string("beta")}) {
            const bool ready = pollUntil(
                [&] {
                    for (const std::string& shell :
                         lines(output("pgrep -P " + std::to_string(terminal) + " -x bash"))) {
                        if (output("readlink /proc/" + shell + "/cwd") == project(name).string()) {
                            return true;
                        }
                    }
                    return false;
                },
                20.0);
            if (!ready) {
                return false;
            }
        }
        return layout == Layout::tabs ? showTab(1) && activateWindow(titled("alpha"))
                                      : activateWindow(titled("beta")) && activateWindow(titled("alpha"));
    }

    // xdotool's search for the window whose shown shell is in `name`, by the title its prompt set.
    std::string titled(const std::string& name) const {
        return "--all --pid " + std::to_string(terminal) + " --name '" +
               (prompt == Prompt::stock ? "projects/" + name : "korvane-" + name) + "$'";
    }

    // Tab `number` (from 1) of the focused window, by xfce4-terminal's own key.
    static bool showTab(int number) { return key("alt+" + std::to_string(number)); }

    // Twelve triggers or more, each right after showing the other window or tab; the projects the
    // popup showed where it was not the one shown, with the trigger's number.
    std::vector<std::string> switchAndType(Layout layout) {
        std::vector<std::string> wrong;
        for (int trigger = 0; trigger < 12; ++trigger) {
            const std::string name = trigger % 2 == 0 ? "beta" : "alpha";
            const bool shown =
                layout == Layout::tabs ? showTab(trigger % 2 == 0 ? 2 : 1) : activateWindow(titled(name));
            if (!shown) {
                wrong.push_back(std::to_string(trigger) + ": " + name + " could not be shown");
                continue;
            }
            if (const std::string got = popupProject(); got != name) {
                wrong.push_back(std::to_string(trigger) + ": " + (got.empty() ? "nothing" : got) + " for " +
                                name);
            }
        }
        return wrong;
    }

    void expectRightEveryTime(Layout layout, Prompt chosen) {
        if (run("command -v xfce4-terminal >/dev/null") != 0) {
            GTEST_SKIP() << "xfce4-terminal is not installed";
        }
        prompt = chosen;
        ASSERT_TRUE(openTerminal(layout, prompt)) << "xfce4-terminal did not show its shells";
        const auto wrong = switchAndType(layout);
        std::cout << "[ xfce4    ] " << (layout == Layout::tabs ? "tabs" : "windows") << ", "
                  << (prompt == Prompt::stock ? "stock prompt" : "untitled") << ": " << wrong.size()
                  << " of 12 wrong\n";
        EXPECT_THAT(wrong, testing::IsEmpty());
    }

    // Waits for the start of the next 8-second step of the devices' read times, so that what follows
    // within a few seconds leaves the tabs' times unable to tell them apart.
    static void awaitTimeStep() {
        while (std::time(nullptr) % 8 != 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }

    // Beta's shell runs a command, then alpha is shown and `typeInAlpha` typed there: the popup then
    // shows alpha's project, told by what alpha's shell read alone.
    void expectAlphaAfter(const std::function<bool()>& typeInAlpha) {
        if (run("command -v xfce4-terminal >/dev/null") != 0) {
            GTEST_SKIP() << "xfce4-terminal is not installed";
        }
        prompt = Prompt::untitled;
        ASSERT_TRUE(openTerminal(Layout::tabs, prompt)) << "xfce4-terminal did not show its shells";
        awaitTimeStep();
        ASSERT_TRUE(showTab(2) && type("true") && key("Return") && showTab(1) && typeInAlpha());
        EXPECT_EQ(popupProject(), "alpha");
    }

    int terminal = 0;
    Prompt prompt = Prompt::stock;
};

TEST_F(TerminalTabsEndToEndTest, WindowsWithTheStockPrompt) {
    expectRightEveryTime(Layout::windows, Prompt::stock);
}

TEST_F(TerminalTabsEndToEndTest, TabsWithTheStockPrompt) {
    expectRightEveryTime(Layout::tabs, Prompt::stock);
}

// Only what the shells read tells the windows apart.
TEST_F(TerminalTabsEndToEndTest, WindowsWhoseTitlesNameNoFolder) {
    expectRightEveryTime(Layout::windows, Prompt::untitled);
}

// Only what the shells read tells the tabs apart; the third tab's top redraws all the while.
TEST_F(TerminalTabsEndToEndTest, TabsWhoseTitlesNameNoFolder) {
    expectRightEveryTime(Layout::tabs, Prompt::untitled);
}

// Busy when the paste key arrives, the terminal asks for the clipboard only once it runs again: it
// still pastes the snippet, and the clipboard then holds what the user had copied.
TEST_F(TerminalTabsEndToEndTest, ATerminalBusyAtThePasteKeyGetsTheSnippet) {
    if (run("command -v xfce4-terminal >/dev/null") != 0) {
        GTEST_SKIP() << "xfce4-terminal is not installed";
    }
    prompt = Prompt::untitled;
    const fs::path typed = root / "pasted";
    ASSERT_TRUE(openTerminal(Layout::windows, prompt) &&
                runInShell("cat > " + quoted(typed), [&] { return fs::exists(typed); }));
    const std::string gtk = "import gi; gi.require_version('Gtk', '3.0'); gi.require_version('Gdk', '3.0'); "
                            "from gi.repository import Gdk, Gtk; c = Gtk.Clipboard.get(Gdk.SELECTION_CLIPBOARD); ";
    helpers.push_back(spawn({"/usr/bin/python3", "-c", gtk + "c.set_text('old contents', -1); Gtk.main()"},
                            environment, root / "owner.out", root / "owner.err"));
    const auto clipboard = [&] { return output("/usr/bin/python3 -c " + quoted(gtk + "print(c.wait_for_text())")); };
    ASSERT_TRUE(pollUntil([&] { return clipboard() == "old contents"; }, 10.0));
    const std::string pid = std::to_string(terminal);
    for (std::size_t paste = 1; paste <= 5; ++paste) {
        ASSERT_TRUE(type(";;sig") && popupShown(true) && !rowsWith("sig").empty());
        ASSERT_EQ(run("xdotool key Return && kill -STOP " + pid + " && sleep 0.15 && kill -CONT " + pid), 0);
        // Back only once the terminal has the text, so the line can end then.
        EXPECT_TRUE(pollUntil([&] { return clipboard() == "old contents"; }, 5.0)) << clipboard();
        ASSERT_TRUE(popupShown(false) && key("Return"));
        ASSERT_TRUE(pollUntil([&] { return lines(readAll(typed)).size() == paste; }, 10.0)) << readAll(typed);
    }
    EXPECT_EQ(lines(readAll(typed)), std::vector<std::string>(5, "Best"));
}

// The first trigger at the prompt after a command: the shell read nothing while the command ran.
TEST_F(TerminalTabsEndToEndTest, TheFirstTriggerAfterACommand) {
    expectAlphaAfter([] {
        const bool typed = type("sleep 1") && key("Return");
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        return typed;
    });
}

// Korvane's own Backspaces and paste are read one byte a call, as many reads as a program at work.
TEST_F(TerminalTabsEndToEndTest, ATriggerRightAfterAnAcceptedCompletion) {
    expectAlphaAfter([] {
        const bool accepted = type(";;draft") && popupShown(true) && key("Return") && popupShown(false);
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        return accepted;
    });
}

// Tabs started in gamma running tmux (its pane in alpha), screen (its window in beta) and tail -f of a busy
// log are told apart, never taken for another; on a loaded machine a server answering late, or a pane reading the
// keys late, may give none.
TEST_F(TerminalTabsEndToEndTest, TmuxAndScreenTabsBesideALogFollowed) {
    if (run("command -v xfce4-terminal && command -v tmux && command -v screen >/dev/null") != 0) {
        GTEST_SKIP() << "xfce4-terminal, tmux or screen is not installed";
    }
    servers.push_back("env SHELL=/bin/bash tmux -f /dev/null -S " + quoted(root / "tabs.sock"));
    sessions.push_back("env SCREENDIR=" + quoted(root / "screen") + " SHELL=/bin/bash screen -S tabs");
    const std::string in = " --working-directory=" + quoted(project("gamma")) + " --command=",
                      log = quoted(root / "log");
    const std::string tabs =
        in + quoted(servers.back() + " new -c " + quoted(project("alpha"))) + " --tab" + in +
        quoted(sessions.back() + " bash -c " + quoted("cd " + quoted(project("beta")) + " && exec bash")) +
        " --tab" + in +
        quoted("sh -c " +
               quoted("while :; do echo line; sleep 0.02; done >>" + log + " & exec tail -f " + log));
    ASSERT_EQ(run("cd " + quoted(home) + " && { env HOME=" + quoted(home) +
                  " xfce4-terminal --disable-server" + tabs + " >/dev/null 2>&1 & echo $! > " +
                  quoted(root / "pid") + "; }"),
              0);
    const auto attached = [&] {
        return !output(servers.back() + " list-clients 2>/dev/null").empty() &&
               output(sessions.back() + " -ls 2>/dev/null").find("(Attached)") != std::string::npos;
    };
    ASSERT_TRUE(pollUntil(attached, 20.0));
    helpers.push_back(std::stoi(readAll(root / "pid")));
    int missed = 0;
    for (int trigger = 0; trigger < 12; ++trigger) {
        const std::string name = trigger % 2 == 0 ? "beta" : "alpha";
        ASSERT_TRUE(showTab(trigger % 2 == 0 ? 2 : 1));
        const std::string got = popupProject();
        EXPECT_TRUE(got == name || (got.empty() && ++missed <= 2)) << trigger << ": " << got << " for " << name;
    }
}

} // namespace
} // namespace korvane
