// Runs under scripts/xvfb-session: real xterms under a real window manager, activated with xdotool.
#include "platform/linux/x11workspaceevents.h"

#include "platform/linux/xcbconnection.h"
#include "postedtasks.h"
#include "support/polling.h"
#include "support/tempdir.h"
#include "x11desktoptest.h"

#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <xcb/xcb.h>

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
        if (run("xterm -class " + wmClass + " -name " + instance + " >/dev/null 2>&1 & echo $! > " +
                pidFile) != 0 ||
            !activate(instance)) {
            return 0;
        }
        pids.push_back(std::stoi(readAll(pidFile)));
        return pids.back();
    }

    static bool activate(const std::string& instance) {
        return test::activateWindow("--classname " + instance);
    }

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

// A window closed and another opened in its place may be given the same id, as X hands a client's ids
// out again; the window manager then names that id as active once more. It is another window, of
// another process: a switch, also when the closed window was the one named as the events began.
TEST_F(X11WorkspaceEventsTest, AWindowThatTakesAClosedOnesIdIsASwitch) {
    auto display = x11::XcbConnection::open();
    ASSERT_NE(display, nullptr);
    xcb_connection_t* c = display->get();
    auto atom = [&](const char* name) {
        x11::XcbReply<xcb_intern_atom_reply_t> reply{
            xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, std::strlen(name), name), nullptr)};
        return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
    };
    const xcb_atom_t active = atom("_NET_ACTIVE_WINDOW");
    const xcb_atom_t pid = atom("_NET_WM_PID");
    // The same id each time, as a new client given a closed one's ids would make it.
    auto make = [&](xcb_window_t window, std::uint32_t process) {
        xcb_create_window(c, XCB_COPY_FROM_PARENT, window, display->root(), 0, 0, 10, 10, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, 0, nullptr);
        const char wmClass[] = "first\0KorvaneTerm";
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8,
                            sizeof wmClass, wmClass);
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, pid, XCB_ATOM_CARDINAL, 32, 1, &process);
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, display->root(), active, XCB_ATOM_WINDOW, 32, 1,
                            &window);
        xcb_flush(c);
    };
    // Named active and closed before the events begin, as the window manager here leaves a closed window
    // named.
    const xcb_window_t window = xcb_generate_id(c);
    make(window, 3999);
    xcb_destroy_window(c, window);
    free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    ASSERT_TRUE(events.start([&](const Activation& activation) { activations.push_back(activation); }));
    // The events' first look at the named window, long done when a user opens the next one.
    scheduler.runUntil([] { return false; }, 1.0);
    for (const std::uint32_t process : {4001u, 4002u, 4003u}) {
        make(window, process);
        ASSERT_TRUE(seen(activations.size() + 1)) << process;
        EXPECT_EQ(activations.back(),
                  (Activation{"korvane-term", "Korvane Term", static_cast<int>(process)}));
        xcb_destroy_window(c, window);
        xcb_flush(c);
    }
}

} // namespace
} // namespace korvane
