// Runs under scripts/xvfb-session: real xterms under a real window manager, activated with xdotool.
#include "platform/linux/x11workspaceevents.h"

#include "postedtasks.h"
#include "support/polling.h"
#include "support/tempdir.h"
#include "x11desktoptest.h"

#include <gtest/gtest.h>

namespace korvane {

void PrintTo(const WorkspaceEvents::Activation& activation, std::ostream* out) {
    *out << "{" << activation.bundleID.value_or("-") << ", " << activation.name.value_or("-") << ", "
         << (activation.pid ? std::to_string(*activation.pid) : "-") << "}";
}

namespace {

using Activation = WorkspaceEvents::Activation;
using test::readAll;
using test::run;

class X11WorkspaceEventsTest : public test::X11DesktopTest {
protected:
    // The process of a new xterm of window class `wmClass` and instance `instance`, once its window is
    // the active one; 0 on failure.
    int openTerminal(const std::string& wmClass, const std::string& instance) {
        const std::string pidFile = (dir.path() / (instance + ".pid")).string();
        if (run("xterm -class " + wmClass + " -name " + instance + " >/dev/null 2>&1 & echo $! > " + pidFile) != 0 ||
            !activate(instance)) {
            return 0;
        }
        pids.push_back(std::stoi(readAll(pidFile)));
        return pids.back();
    }

    static bool activate(const std::string& instance) { return test::activateWindow("--classname " + instance); }

    // Runs the tasks posted so far.
    void runPosted() {
        scheduler.runUntil([] { return false; }, 0.0);
    }

    bool seen(std::size_t count) {
        return scheduler.runUntil([&] { return activations.size() >= count; });
    }

    test::PostedTasks scheduler;
    x11::X11WorkspaceEvents events{scheduler, std::make_shared<DesktopFileIndex>(
                                             std::vector<std::filesystem::path>{dir.path() / "data"})};
    std::vector<Activation> activations;
};

TEST_F(X11WorkspaceEventsTest, ReportsEachSwitchOnceWithTheNewWindowsApplication) {
    const int term = openTerminal("KorvaneTerm", "first");
    const int other = openTerminal("KorvaneOther", "other");
    ASSERT_GT(term, 0);
    ASSERT_GT(other, 0);
    ASSERT_TRUE(events.start([&](const Activation& activation) { activations.push_back(activation); }));

    ASSERT_TRUE(activate("first"));
    ASSERT_TRUE(seen(1));
    ASSERT_TRUE(activate("other"));
    ASSERT_TRUE(seen(2));
    // Activating the active window again changes nothing.
    ASSERT_TRUE(activate("other"));
    const int second = openTerminal("KorvaneTerm", "second");
    ASSERT_GT(second, 0);
    ASSERT_TRUE(seen(3));
    const std::vector<Activation> expected = {
        {"korvane-term", "Korvane Term", term},
        {"KorvaneOther", "KorvaneOther", other},
        // Another window of the same application counts as a switch too.
        {"korvane-term", "Korvane Term", second},
    };
    EXPECT_EQ(activations, expected);

    // No active window at all (the window manager here keeps naming a closed window instead).
    ASSERT_EQ(run("xprop -root -remove _NET_ACTIVE_WINDOW"), 0);
    ASSERT_TRUE(seen(4));
    EXPECT_EQ(activations.back(), Activation{});

    // Nothing arrives after stop(), not even what was already on its way.
    const std::size_t reported = activations.size();
    ASSERT_GT(openTerminal("KorvaneTerm", "late"), 0);
    events.stop();
    runPosted();
    EXPECT_EQ(activations.size(), reported);
}

} // namespace
} // namespace korvane
