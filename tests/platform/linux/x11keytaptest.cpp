// Runs under scripts/xvfb-session: a private X server with a window manager and the
// accessibility bus. Keys are typed with xdotool, which posts through XTEST like any
// on-screen keyboard, so they count as user input.
#include "x11keytaptest.h"

#include "platform/fake/fakeaccessibilitytrust.h"
#include "platform/fake/manualscheduler.h"
#include "input/eventtap.h"
#include "input/triggerdetector.h"
#include "platform/keycodes.h"
#include "platform/linux/linuxaccessibilitytrust.h"
#include "platform/linux/postedkeyjournal.h"
#include "platform/linux/x11keytapbackend.h"
#include "platform/linux/xcbconnection.h"
#include "platform/linux/xkbkeyboard.h"
#include "platform/linux/xtestkeysynthesizer.h"
#include "support/fakekeywithholding.h"
#include "support/logcapture.h"
#include "support/scopedenv.h"
#include "support/tempdir.h"
#include "x11testwindow.h"
#include "support/polling.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <iterator>
#include <mutex>
#include <thread>
#include <utility>
#include <xcb/xinput.h>
#include <xcb/xtest.h>
#include <xkbcommon/xkbcommon-keysyms.h>

namespace korvane {
namespace {

using test::pollUntil;
using test::run;
using test::readAll;

using testing::ElementsAre;
using Seconds = std::chrono::duration<double>;

using test::ScopedEnv;
using test::SeenKey;
using test::X11KeyTapTest;

// An X server of the test's own, which it can kill and start again on the same display.
class OwnXServer {
public:
    explicit OwnXServer(const std::filesystem::path& dir)
        : dir_(dir) {}
    ~OwnXServer() { stop(); }

    // Starts on a free display the first time, on the same one after that.
    bool start() {
        std::filesystem::remove(dir_ / "display");
        std::string command = "Xvfb " + (number_.empty() ? std::string() : ":" + number_) +
                              " -displayfd 3 -nolisten tcp -noreset 3>" + (dir_ / "display").string() +
                              " >/dev/null 2>&1 & echo $! > " + (dir_ / "xpid").string();
        if (run(command) != 0 ||
            !pollUntil([&] { return readAll(dir_ / "display").find('\n') != std::string::npos; })) {
            return false;
        }
        number_ = readAll(dir_ / "display");
        number_.erase(number_.find('\n'));
        pid_ = std::stoi(readAll(dir_ / "xpid"));
        return true;
    }

    // Ends the server and waits until it has given up its display.
    bool stop() {
        if (pid_ == 0) {
            return true;
        }
        run("kill " + std::to_string(std::exchange(pid_, 0)));
        return pollUntil([&] { return !std::filesystem::exists("/tmp/.X" + number_ + "-lock"); });
    }

    std::string display() const { return ":" + number_; }

private:
    std::filesystem::path dir_;
    std::string number_;
    int pid_ = 0;
};

// A connection of the test's own that posts XTEST key events without recording them: Korvane's
// own events as they reach the server when the test says so, or another XTEST client's.
class RawPoster {
public:
    RawPoster()
        : display_(x11::XcbConnection::open())
        , keyboard_(display_ ? x11::XkbKeyboard::create(display_->get(), false) : nullptr) {}

    bool ok() const { return keyboard_ != nullptr; }
    xcb_connection_t* connection() const { return display_->get(); }
    std::uint8_t keycode(xkb_keysym_t keysym) const {
        return static_cast<std::uint8_t>(keyboard_->keycodeForKeysym(keysym).value_or(0));
    }

    void post(const std::vector<x11::PostedKey>& keys) {
        for (const x11::PostedKey& key : keys) {
            xcb_test_fake_input(connection(), key.press ? XCB_KEY_PRESS : XCB_KEY_RELEASE, key.keycode,
                                XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
        }
        xcb_flush(connection());
    }

private:
    std::unique_ptr<x11::XcbConnection> display_;
    std::unique_ptr<x11::XkbKeyboard> keyboard_;
};

// A second master pointer and keyboard, which bring their own XTEST devices with them.
class ExtraMaster {
public:
    explicit ExtraMaster(xcb_connection_t* connection)
        : connection_(connection) {
        struct {
            xcb_input_add_master_t head;
            char name[12];
        } add{};
        add.head = {XCB_INPUT_HIERARCHY_CHANGE_TYPE_ADD_MASTER, sizeof add / 4, 11, 1, 1};
        std::memcpy(add.name, "KorvaneTest", 11);
        auto cookie = xcb_input_xi_change_hierarchy_checked(
            connection_, 1, reinterpret_cast<const xcb_input_hierarchy_change_t*>(&add));
        if (x11::XcbReply<xcb_generic_error_t>(xcb_request_check(connection_, cookie))) {
            return;
        }
        x11::XcbReply<xcb_input_xi_query_device_reply_t> reply(xcb_input_xi_query_device_reply(
            connection_, xcb_input_xi_query_device(connection_, XCB_INPUT_DEVICE_ALL), nullptr));
        for (auto it = xcb_input_xi_query_device_infos_iterator(reply.get()); it.rem > 0;
             xcb_input_xi_device_info_next(&it)) {
            std::string_view name(xcb_input_xi_device_info_name(it.data), it.data->name_len);
            if (name == "KorvaneTest pointer") {
                pointer = it.data->deviceid;
            }
        }
    }
    ~ExtraMaster() {
        if (pointer == 0) {
            return;
        }
        xcb_input_remove_master_t remove{XCB_INPUT_HIERARCHY_CHANGE_TYPE_REMOVE_MASTER,
                                         sizeof remove / 4,
                                         pointer,
                                         XCB_INPUT_CHANGE_MODE_FLOAT,
                                         0,
                                         0,
                                         0};
        xcb_request_check(
            connection_, xcb_input_xi_change_hierarchy_checked(
                             connection_, 1, reinterpret_cast<const xcb_input_hierarchy_change_t*>(&remove)));
    }

    xcb_input_device_id_t pointer = 0;

private:
    xcb_connection_t* connection_;
};

bool setAccessibilityBus(bool enabled) {
    return run(std::string("dbus-send --session --type=method_call --dest=org.a11y.Bus /org/a11y/bus "
                           "org.freedesktop.DBus.Properties.Set string:org.a11y.Status string:IsEnabled "
                           "variant:boolean:") +
               (enabled ? "true" : "false")) == 0;
}

// The trust answers from its last question and asks again in the background: the session and
// display are changed while nothing asks it (another thread reading the environment while it changes
// would be a race), with a tap that is trusted, and the bus's switch is followed until the answer
// comes.
TEST_F(X11KeyTapTest, WithoutTrustOrAnX11SessionNoTapIsCreated) {
    auto trusted = std::make_shared<FakeAccessibilityTrust>();
    auto bare = std::make_shared<EventTap>(std::make_shared<x11::X11KeyTapBackend>(trusted, journal), trusted,
                                           scheduler);
    {
        ScopedEnv wayland("XDG_SESSION_TYPE", "wayland");
        EXPECT_FALSE(LinuxAccessibilityTrust::displayOffersInput());
        EXPECT_FALSE(bare->start([](auto, const auto&, auto) { return false; }));
    }
    {
        ScopedEnv noDisplay("DISPLAY", nullptr);
        EXPECT_FALSE(bare->start([](auto, const auto&, auto) { return false; }));
    }
    ASSERT_TRUE(setAccessibilityBus(false));
    EXPECT_TRUE(pollUntil([&] { return !trust->isTrusted(); }));
    EXPECT_FALSE(tap->start([](auto, const auto&, auto) { return false; }));
    ASSERT_TRUE(setAccessibilityBus(true));
    EXPECT_TRUE(pollUntil([&] { return trust->isTrusted(); }));
    EXPECT_THAT(log.lines(),
                testing::Each("[Korvane] Failed to create event tap. Is Accessibility permission granted?"));
    EXPECT_EQ(log.lines().size(), 3u);
}

TEST_F(X11KeyTapTest, TypedKeysReachTheHandlerTranslated) {
    startTap();
    auto typedAt = std::chrono::steady_clock::now();
    ASSERT_EQ(run("xdotool type --delay 10 'Ab1;' && xdotool key ctrl+c Return BackSpace Left super+Home"),
              0);
    ASSERT_TRUE(pollUntil([&] { return seenKeys().size() >= 9; })) << testing::PrintToString(seenKeys());
    RecordProperty("typeToHandlerMs", std::to_string(Seconds(seenAt - typedAt).count() * 1000));

    // Shift, Control and Super alone never reach the handler; Super adds no flag.
    EXPECT_THAT(seenKeys(),
                ElementsAre(SeenKey{0, "A", keyflag::shift}, SeenKey{11, "b", 0}, SeenKey{18, "1", 0},
                            SeenKey{41, ";", 0}, SeenKey{8, "c", keyflag::command},
                            SeenKey{keycode::returnKey, std::nullopt, 0},
                            SeenKey{keycode::backspace, std::nullopt, 0},
                            SeenKey{keycode::leftArrow, std::nullopt, 0},
                            SeenKey{keycode::home, std::nullopt, 0}));
}

// Buttons 1 and 8 on the root window open no window-manager menu, which would take the keyboard.
TEST_F(X11KeyTapTest, OnlyPressedMouseButtonsAreReported) {
    startTap();
    ASSERT_EQ(run("xdotool click 1 click 4 click 5 click 8 key z"), 0);
    ASSERT_TRUE(pollUntil([&] { return sawCharacters("z"); }));
    EXPECT_EQ(mouseDowns.load(), 2);
}

TEST_F(X11KeyTapTest, KorvanesOwnKeysNeverReachTheHandler) {
    startTap();
    x11::XTestKeySynthesizer synthesizer(journal);
    ASSERT_TRUE(synthesizer.postKeyPair(7, 0));
    ASSERT_TRUE(synthesizer.postKeyPair(keycode::backspace, keyflag::command));
    ASSERT_EQ(run("xdotool key y"), 0);
    ASSERT_TRUE(pollUntil([&] { return sawCharacters("y"); }));
    EXPECT_THAT(seenKeys(), ElementsAre(SeenKey{16, "y", 0}));
    EXPECT_EQ(journal->size(), 0u);
}

TEST_F(X11KeyTapTest, ClaimedKeysAreWithheldFromTheFocusedWindowUntilReleased) {
    openTerminal();
    tap->setKeyWithholding(withholding);
    startTap();
    withholding->set({{keycode::tab, "", 0}, {keycode::returnKey, "", 0}});
    ASSERT_TRUE(pollUntil([&] { return backend->last->grabCount() > 0; }));

    // Space is not claimed (the query is empty) and passes; Tab and Return are dropped.
    ASSERT_EQ(run("xdotool key a Tab space Return b"), 0);
    ASSERT_TRUE(pollUntil([&] { return readAll(typed) == "a b"; })) << testing::PrintToString(readAll(typed));
    ASSERT_TRUE(pollUntil([&] { return seenKeys().size() == 5; }));

    // A claimed key in a combination that is not grabbed already reached the window.
    ASSERT_EQ(run("xdotool key super+Tab"), 0);
    ASSERT_TRUE(pollUntil([&] {
        std::lock_guard lock(withholding->mutex);
        return !withholding->delivered.empty();
    }));
    EXPECT_EQ(withholding->delivered.front().keyCode, keycode::tab);

    withholding->set({});
    ASSERT_TRUE(pollUntil([&] { return backend->last->grabCount() == 0; }));
    ASSERT_EQ(run("xdotool key Return x"), 0);
    EXPECT_TRUE(pollUntil([&] { return readAll(typed).ends_with("\rx"); }))
        << testing::PrintToString(readAll(typed));
}

TEST_F(X11KeyTapTest, HeldKeysRepeatAsOftenAsInTheFocusedWindow) {
    openTerminal();
    startTap();
    ASSERT_EQ(run("xdotool keydown a && sleep 0.9 && xdotool keyup a && xdotool key b"), 0);
    ASSERT_TRUE(pollUntil([&] { return readAll(typed).ends_with("b"); }));
    ASSERT_TRUE(pollUntil([&] { return sawCharacters("b"); }));
    auto text = readAll(typed);
    auto repeatedInWindow = std::count(text.begin(), text.end(), 'a');
    auto keys = seenKeys();
    auto repeatedInTap =
        std::count_if(keys.begin(), keys.end(), [](const SeenKey& key) { return key.characters == "a"; });
    EXPECT_GT(repeatedInWindow, 1);
    EXPECT_EQ(repeatedInTap, repeatedInWindow);
}

TEST_F(X11KeyTapTest, AHeldWithheldKeyRepeatsToTheHandlerOnly) {
    openTerminal();
    tap->setKeyWithholding(withholding);
    startTap();
    withholding->set({{keycode::downArrow, "", 0}});
    ASSERT_TRUE(pollUntil([&] { return backend->last->grabCount() > 0; }));
    ASSERT_EQ(run("xdotool keydown Down && sleep 0.8 && xdotool keyup Down && xdotool key b"), 0);
    ASSERT_TRUE(pollUntil([&] { return readAll(typed) == "b"; })) << testing::PrintToString(readAll(typed));
    ASSERT_TRUE(pollUntil([&] { return sawCharacters("b"); }));
    auto keys = seenKeys();
    EXPECT_GT(std::count_if(keys.begin(), keys.end(),
                            [](const SeenKey& key) { return key.keyCode == keycode::downArrow; }),
              1);
}

TEST_F(X11KeyTapTest, ALostDisplayIsReportedOnceAndTheTapComesBackWithIt) {
    OwnXServer server(dir.path());
    ASSERT_TRUE(server.start());
    ScopedEnv display("DISPLAY", server.display().c_str());
    std::atomic<int> reenabled{0};
    tap->onTapReenabled = [&] { ++reenabled; };
    startTap();
    log.clear();

    ASSERT_TRUE(server.stop());
    const std::string lost = "[Korvane] Event tap lost its connection to the display; reconnecting";
    ASSERT_TRUE(pollUntil([&] { return !log.lines().empty(); }));
    // Health checks while the display is away neither re-enable nor give up.
    scheduler.advance(2 * EventTap::healthCheckInterval);
    EXPECT_THAT(log.lines(), ElementsAre(lost));

    ASSERT_TRUE(server.start());
    ASSERT_TRUE(pollUntil([&] { return reenabled.load() == 1; }, 10.0))
        << testing::PrintToString(log.lines());
    scheduler.advance(EventTap::healthCheckInterval);
    EXPECT_EQ(reenabled.load(), 1);
    EXPECT_THAT(log.lines(), ElementsAre(lost, "[Korvane] Event tap reconnected to the display"));
    ASSERT_EQ(run("xdotool key z"), 0);
    EXPECT_TRUE(pollUntil([&] { return sawCharacters("z"); }));
}

// Korvane's Control-BackSpace is still on its way when an on-screen keyboard (xdotool here) types
// BackSpace: that one is the user's, even though a BackSpace of Korvane's is expected.
TEST_F(X11KeyTapTest, AnotherXtestClientsKeyIsNotTakenForOneOfOurs) {
    RawPoster ours;
    ASSERT_TRUE(ours.ok());
    const std::uint8_t control = ours.keycode(XKB_KEY_Control_L);
    const std::uint8_t backspace = ours.keycode(XKB_KEY_BackSpace);
    const std::vector<x11::PostedKey> posted = {{control, true, 0},
                                                {backspace, true, XCB_MOD_MASK_CONTROL},
                                                {backspace, false, XCB_MOD_MASK_CONTROL},
                                                {control, false, XCB_MOD_MASK_CONTROL}};
    startTap();
    for (const x11::PostedKey& key : posted) {
        journal->record(key);
    }
    ASSERT_EQ(run("xdotool key BackSpace"), 0);
    ours.post(posted);
    ASSERT_EQ(run("xdotool key y"), 0);
    ASSERT_TRUE(pollUntil([&] { return sawCharacters("y"); }));
    EXPECT_THAT(seenKeys(), ElementsAre(SeenKey{keycode::backspace, std::nullopt, 0}, SeenKey{16, "y", 0}));
    EXPECT_EQ(journal->size(), 0u);
}

// A new master device brings a new XTEST keyboard while the tap runs; Korvane's keys posted
// through it are still its own.
TEST_F(X11KeyTapTest, KeysFromAHotPluggedXtestDeviceAreRecognised) {
    RawPoster ours;
    ASSERT_TRUE(ours.ok());
    startTap();
    ExtraMaster master(ours.connection());
    ASSERT_NE(master.pointer, 0);
    ASSERT_FALSE(x11::XcbReply<xcb_generic_error_t>(xcb_request_check(
        ours.connection(),
        xcb_input_xi_set_client_pointer_checked(ours.connection(), XCB_NONE, master.pointer))));
    const std::uint8_t a = ours.keycode(XKB_KEY_a);
    const std::vector<x11::PostedKey> posted = {{a, true, 0}, {a, false, 0}};
    for (const x11::PostedKey& key : posted) {
        journal->record(key);
    }
    ours.post(posted);
    ASSERT_EQ(run("xdotool key y"), 0);
    ASSERT_TRUE(pollUntil([&] { return sawCharacters("y"); }));
    EXPECT_THAT(seenKeys(), ElementsAre(SeenKey{16, "y", 0}));
    EXPECT_EQ(journal->size(), 0u);
}

// Tab typed right behind the trigger may reach the window before the grab that withholds it is in
// place. Either way the detector must know: a withheld Tab accepts, a delivered one dismisses.
TEST_F(X11KeyTapTest, TabRightAfterTheTriggerIsWithheldOrEndsTheSession) {
    auto window = test::X11TestWindow::open();
    ASSERT_TRUE(window);
    startDetector();
    int withheld = 0;
    int delivered = 0;
    for (int round = 0; round < 12; ++round) {
        SCOPED_TRACE(round);
        ASSERT_EQ(run("xdotool key --delay 0 semicolon semicolon Tab"), 0);
        ASSERT_TRUE(
            window->waitUntil([&](const auto&) { return window->count(XKB_KEY_semicolon, false) == 2; }));
        const bool settled = pollUntil(
            [&] {
                return sawSessionEvent<sessionevent::Accepted>() ||
                       sawSessionEvent<sessionevent::Dismissed>();
            },
            2.0);
        const bool tabReachedWindow = window->count(XKB_KEY_Tab, true) == 1;
        EXPECT_TRUE(settled) << "the session stayed open; Tab reached the window: " << tabReachedWindow;
        if (settled) {
            EXPECT_EQ(sawSessionEvent<sessionevent::Dismissed>(), tabReachedWindow);
            (tabReachedWindow ? delivered : withheld) += 1;
        }
        detector->reset();
        ASSERT_TRUE(pollUntil([&] { return backend->last->grabCount() == 0; }));
        window->waitUntil([](const auto&) { return false; }, 0.05);
        window->clear();
        takeSessionEvents();
    }
    RecordProperty("withheld", withheld);
    RecordProperty("delivered", delivered);
}

} // namespace
} // namespace korvane
