// Runs under scripts/xvfb-session: real xterms under a real window manager, focused with xdotool.
#include "input/applicationsets.h"
#include "input/pasteshortcutcache.h"
#include "platform/keycodes.h"
#include "platform/linux/builtinkeyequivalentsource.h"
#include "platform/linux/liveactiveappprovider.h"
#include "platform/linux/postedkeyjournal.h"
#include "platform/linux/procelectronprobe.h"
#include "platform/linux/xcbconnection.h"
#include "platform/linux/xtestkeysynthesizer.h"
#include "support/polling.h"
#include "support/tempdir.h"
#include "x11desktoptest.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <poll.h>
#include <thread>

namespace korvane {
namespace {

using test::pollUntil;
using test::run;
using test::readAll;

xcb_atom_t internAtom(xcb_connection_t* connection, const std::string& name) {
    x11::XcbReply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(name.size()), name.c_str()), nullptr));
    return reply ? reply->atom : XCB_NONE;
}

// Owns the PRIMARY selection with a text, answering requests on a thread of its own, the way a
// clipboard manager or an editor with a selection does.
class PrimarySelectionOwner {
public:
    explicit PrimarySelectionOwner(std::string text)
        : text_(std::move(text))
        , display_(x11::XcbConnection::open()) {
        xcb_connection_t* c = display_->get();
        utf8_ = internAtom(c, "UTF8_STRING");
        targets_ = internAtom(c, "TARGETS");
        window_ = xcb_generate_id(c);
        xcb_create_window(c, XCB_COPY_FROM_PARENT, window_, display_->root(), 0, 0, 1, 1, 0,
                          XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
        xcb_set_selection_owner(c, window_, XCB_ATOM_PRIMARY, XCB_CURRENT_TIME);
        xcb_flush(c);
        thread_ = std::thread([this] { serve(); });
    }
    ~PrimarySelectionOwner() {
        stop_ = true;
        thread_.join();
    }

private:
    void serve() {
        xcb_connection_t* c = display_->get();
        pollfd descriptor{xcb_get_file_descriptor(c), POLLIN, 0};
        while (!stop_) {
            ::poll(&descriptor, 1, 20);
            while (x11::XcbReply<xcb_generic_event_t> event{xcb_poll_for_event(c)}) {
                if ((event->response_type & 0x7f) == XCB_SELECTION_REQUEST) {
                    answer(*reinterpret_cast<xcb_selection_request_event_t*>(event.get()));
                }
            }
        }
    }

    void answer(const xcb_selection_request_event_t& request) {
        xcb_connection_t* c = display_->get();
        xcb_atom_t property = request.property == XCB_NONE ? request.target : request.property;
        if (request.target == targets_) {
            xcb_atom_t offered[] = {targets_, utf8_, XCB_ATOM_STRING};
            xcb_change_property(c, XCB_PROP_MODE_REPLACE, request.requestor, property, XCB_ATOM_ATOM, 32, 3,
                                offered);
        } else if (request.target == utf8_ || request.target == XCB_ATOM_STRING) {
            xcb_change_property(c, XCB_PROP_MODE_REPLACE, request.requestor, property, request.target, 8,
                                static_cast<std::uint32_t>(text_.size()), text_.data());
        } else {
            property = XCB_NONE;
        }
        xcb_selection_notify_event_t notify{};
        notify.response_type = XCB_SELECTION_NOTIFY;
        notify.time = request.time;
        notify.requestor = request.requestor;
        notify.selection = request.selection;
        notify.target = request.target;
        notify.property = property;
        xcb_send_event(c, 0, request.requestor, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&notify));
        xcb_flush(c);
    }

    std::string text_;
    std::unique_ptr<x11::XcbConnection> display_;
    xcb_atom_t utf8_ = XCB_NONE;
    xcb_atom_t targets_ = XCB_NONE;
    xcb_window_t window_ = XCB_NONE;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

class X11ActiveAppTest : public test::X11DesktopTest {
protected:
    // An xterm of window class `wmClass` and title `title` that has the focus; its keyboard input
    // lands byte for byte in the file `typed`.
    int openTerminal(const std::string& wmClass, const std::string& title) {
        std::string ready = (dir.path() / (wmClass + ".ready")).string();
        std::string pidFile = (dir.path() / (wmClass + ".pid")).string();
        std::string command = "xterm -class " + wmClass + " -T '" + title + "' -e sh -c 'stty raw -echo; echo > " +
                              ready + "; exec cat > " + (dir.path() / "typed").string() +
                              "' >/dev/null 2>&1 & echo $! > " + pidFile;
        if (run(command) != 0 || !pollUntil([&] { return std::filesystem::exists(ready); }, 10.0)) {
            return 0;
        }
        int pid = std::stoi(readAll(pidFile));
        pids.push_back(pid);
        if (!test::activateWindow("--class " + wmClass)) {
            return 0;
        }
        return pid;
    }

    std::uint64_t windowOf(const std::string& wmClass) {
        std::string file = (dir.path() / "window").string();
        run("xdotool search --class " + wmClass + " > " + file);
        return std::stoull(readAll(file));
    }

    bool frontmostIs(const std::optional<FrontmostApplication>& expected) {
        // Generous for a loaded machine: a passing test returns as soon as the answer is right.
        return pollUntil([&] { return provider->frontmostApplication() == expected; }, 20.0);
    }

    std::shared_ptr<LiveActiveAppProvider> provider = std::make_shared<LiveActiveAppProvider>(
        std::make_shared<DesktopFileIndex>(std::vector<std::filesystem::path>{dir.path() / "data"}));
};

TEST_F(X11ActiveAppTest, AnswersFollowTheFocus) {
    int first = openTerminal("KorvaneTerm", "Korvane first");
    ASSERT_GT(first, 0);
    ASSERT_TRUE(frontmostIs(FrontmostApplication{"korvane-term", first}))
        << testing::PrintToString(provider->frontmostApplication().value_or(FrontmostApplication{}).bundleID);
    EXPECT_EQ(provider->focusedWindowTitle(first), "Korvane first");
    EXPECT_EQ(provider->activeWindowID(), windowOf("KorvaneTerm"));

    int second = openTerminal("KorvaneOther", "Korvane second");
    ASSERT_GT(second, 0);
    ASSERT_TRUE(frontmostIs(FrontmostApplication{"KorvaneOther", second}));
    EXPECT_EQ(provider->focusedWindowTitle(second), "Korvane second");
    EXPECT_EQ(provider->focusedWindowTitle(first), std::nullopt);
    EXPECT_EQ(provider->processIdentifier("korvane-term"), first);
    EXPECT_FALSE(ProcElectronProbe([&](const std::string& id) { return provider->processIdentifier(id); })
                     .isElectronApp("korvane-term"));

    // Without _NET_WM_PID the server names the client's process; a GTK application ID wins.
    std::string window = std::to_string(windowOf("KorvaneOther"));
    ASSERT_EQ(run("xprop -id " + window + " -remove _NET_WM_PID"), 0);
    ASSERT_EQ(run("xprop -id " + window + " -f _GTK_APPLICATION_ID 8u -set _GTK_APPLICATION_ID org.example.Other"),
              0);
    EXPECT_TRUE(frontmostIs(FrontmostApplication{"org.example.Other", second}));

    for (int pid : pids) {
        run("kill " + std::to_string(pid));
    }
    EXPECT_TRUE(frontmostIs(std::nullopt));
    EXPECT_EQ(provider->focusedWindowTitle(second), std::nullopt);
    // The window manager may name a closing window active a moment longer than its process lives.
    EXPECT_TRUE(pollUntil([&] { return provider->activeWindowID() == std::nullopt; }, 20.0))
        << provider->activeWindowID().value_or(0);
}

TEST_F(X11ActiveAppTest, StalledServerCostsOnlyTheWait) {
    int pid = openTerminal("KorvaneTerm", "Korvane stalled");
    ASSERT_GT(pid, 0);
    ASSERT_TRUE(frontmostIs(FrontmostApplication{"korvane-term", pid}));
    auto grabber = x11::XcbConnection::open();
    xcb_grab_server(grabber->get());
    xcb_flush(grabber->get());
    // Let the grab take effect before asking.
    x11::XcbReply<xcb_get_input_focus_reply_t>(
        xcb_get_input_focus_reply(grabber->get(), xcb_get_input_focus(grabber->get()), nullptr));
    EXPECT_EQ(provider->frontmostApplication(), std::nullopt);
    EXPECT_EQ(provider->focusedWindowTitle(pid), std::nullopt);
    xcb_ungrab_server(grabber->get());
    xcb_flush(grabber->get());
    EXPECT_TRUE(frontmostIs(FrontmostApplication{"korvane-term", pid}));
    EXPECT_EQ(provider->focusedWindowTitle(pid), "Korvane stalled");
}

TEST_F(X11ActiveAppTest, XtermPastesThePrimarySelectionWithShiftInsert) {
    int pid = openTerminal("XTerm", "Korvane paste");
    ASSERT_GT(pid, 0);
    // The desktop files installed on this system: on Debian the ID is "debian-xterm".
    LiveActiveAppProvider system(std::make_shared<DesktopFileIndex>(DesktopFileIndex::xdgDataDirs()));
    auto frontmost = system.frontmostApplication();
    ASSERT_TRUE(frontmost);
    RecordProperty("xtermIdentity", frontmost->bundleID);
    PasteShortcutCache shortcuts(std::make_shared<BuiltinKeyEquivalentSource>(terminalBundleIDs()));
    PasteShortcut shortcut = shortcuts.pasteShortcut(frontmost->bundleID);
    EXPECT_EQ(shortcut, (PasteShortcut{keycode::insert, keyflag::shift})) << frontmost->bundleID;

    PrimarySelectionOwner selection("korvane pasted this");
    x11::XTestKeySynthesizer synthesizer(std::make_shared<x11::PostedKeyJournal>());
    ASSERT_TRUE(synthesizer.postKeyPair(shortcut.virtualKey, shortcut.flags));
    EXPECT_TRUE(pollUntil([&] { return readAll(dir.path() / "typed") == "korvane pasted this"; }))
        << readAll(dir.path() / "typed");
}

} // namespace
} // namespace korvane
