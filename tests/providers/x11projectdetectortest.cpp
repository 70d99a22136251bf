// Runs under scripts/xvfb-session: real xterms with real shells, focused and typed into with
// xdotool; the detector reads them through the live X11 provider and /proc.
#include "input/applicationsets.h"
#include "platform/linux/liveactiveappprovider.h"
#include "platform/linux/localfileprobe.h"
#include "platform/linux/procprocesstable.h"
#include "providers/projectdetector.h"
#include "support/tempdir.h"
#include "support/polling.h"

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <iostream>
#include <iterator>
#include <thread>

namespace korvane {
namespace {

using test::run;

template <typename Predicate> bool pollUntil(Predicate predicate, double seconds = 10.0) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!predicate()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

class X11ProjectDetectorTest : public testing::Test {
protected:
    void SetUp() override {
        if (std::getenv("DISPLAY") == nullptr) {
            GTEST_SKIP() << "needs an X session (scripts/xvfb-session)";
        }
        root = std::filesystem::canonical(dir.path()).string();
        home = root + "/home";
        savedHome = std::getenv("HOME") ? std::getenv("HOME") : "";
        setenv("HOME", home.c_str(), 1);
        for (const char* folder : {"/code/alpha/.git", "/code/alpha/src/deep", "/code/beta/.git"}) {
            std::filesystem::create_directories(home + folder);
        }
        std::filesystem::create_directories(root + "/data");
    }

    void TearDown() override {
        for (int pid : pids) {
            run("kill " + std::to_string(pid) + " 2>/dev/null");
        }
        if (!savedHome.empty()) {
            setenv("HOME", savedHome.c_str(), 1);
        }
    }

    // An xterm titled `title` whose shell starts in `directory`, focused; its process id or 0.
    int openTerminal(const std::string& title, const std::string& directory) {
        std::string pidFile = root + "/" + title + ".pid";
        std::string command = "sh -c 'cd \"$0\" && exec xterm -T \"$1\" -e /bin/sh' '" + directory + "' '" + title +
                              "' >/dev/null 2>&1 & echo $! > '" + pidFile + "'";
        if (run(command) != 0) {
            return 0;
        }
        std::ifstream in(pidFile);
        int pid = 0;
        in >> pid;
        if (pid <= 0) {
            return 0;
        }
        pids.push_back(pid);
        return focus(title) ? pid : 0;
    }

    // Retried: the window manager may still be starting when the first window appears.
    bool focus(const std::string& title) {
        std::string command = "xdotool search --sync --name '^" + title +
                              "$' windowactivate --sync >/dev/null 2>&1 && [ \"$(xdotool getactivewindow "
                              "getwindowname 2>/dev/null)\" = '" + title + "' ]";
        return pollUntil([&] { return run(command) == 0; });
    }

    // Types a command line into the focused terminal and waits until its shell has run it.
    bool typeLine(const std::string& line, const std::string& marker) {
        std::string done = root + "/" + marker;
        std::string text = line + " && touch " + done;
        if (run("xdotool type --delay 5 '" + text + "' && xdotool key Return") != 0) {
            return false;
        }
        return pollUntil([&] { return std::filesystem::exists(done); });
    }

    bool frontmostIs(int pid) {
        return pollUntil([&] {
            auto app = provider->frontmostApplication();
            return app && app->pid == pid;
        });
    }

    // The terminal device of the shell below `terminalPid` and its access time, for the log.
    std::string describeDevice(int terminalPid) {
        ProcProcessTable table;
        for (const auto& info : ProcessInfo::descendants(terminalPid, table)) {
            if (info.tty) {
                auto time = table.deviceAccessTime(*info.tty);
                double seconds =
                    time ? std::chrono::duration<double>(time->time_since_epoch()).count() : 0.0;
                return *info.tty + " atime " + std::to_string(seconds);
            }
        }
        return "no device";
    }

    test::TempDir dir;
    std::string root;
    std::string home;
    std::string savedHome;
    std::vector<int> pids;
    std::shared_ptr<LiveActiveAppProvider> provider = std::make_shared<LiveActiveAppProvider>(
        std::make_shared<DesktopFileIndex>(std::vector<std::filesystem::path>{dir.path() / "data"}));
};

TEST_F(X11ProjectDetectorTest, FindsTheRepositoryOfTheShellInTheFocusedTerminal) {
    ProjectDetector detector(provider, std::make_shared<ProcProcessTable>(), std::make_shared<LocalFileProbe>());
    std::vector<std::optional<std::string>> changes;
    detector.onProjectChanged = [&](const auto& root, const auto&) { changes.push_back(root); };

    int first = openTerminal("Korvane first", home + "/code/alpha");
    ASSERT_GT(first, 0);
    ASSERT_TRUE(typeLine("cd src/deep", "first.done"));
    ASSERT_TRUE(frontmostIs(first));
    auto app = provider->frontmostApplication();
    ASSERT_TRUE(app && terminalBundleIDs().contains(app->bundleID)) << (app ? app->bundleID : "none");
    EXPECT_EQ(detector.detectProjectRoot(), home + "/code/alpha");

    int second = openTerminal("Korvane second", home + "/code/beta");
    ASSERT_GT(second, 0);
    ASSERT_TRUE(typeLine("true", "second.done"));
    ASSERT_TRUE(frontmostIs(second));
    EXPECT_EQ(detector.detectProjectRoot(), home + "/code/beta");

    // Each xterm window is a process of its own: the focused one decides, whatever the devices'
    // access times say (the kernel keeps them to 8-second steps).
    std::cout << "[ devices  ] first " << describeDevice(first) << ", second " << describeDevice(second) << "\n";
    ASSERT_TRUE(focus("Korvane first"));
    ASSERT_TRUE(frontmostIs(first));
    EXPECT_EQ(detector.detectProjectRoot(), home + "/code/alpha");

    EXPECT_EQ(changes, (std::vector<std::optional<std::string>>{home + "/code/alpha", home + "/code/beta",
                                                                home + "/code/alpha"}));
}

} // namespace
} // namespace korvane
