// The key tap's hold of the keyboard while a withheld key is down, under scripts/xvfb-session.
#include "x11keytaptest.h"

#include "platform/keycodes.h"
#include "platform/linux/xtestkeysynthesizer.h"
#include "x11testwindow.h"

#include <condition_variable>
#include <gmock/gmock.h>
#include <thread>
#include <xkbcommon/xkbcommon-keysyms.h>

namespace korvane {
namespace {

using test::pollUntil;
using test::run;
using test::X11KeyTapTest;

// Accepting with a Tab that the user holds: neither its release nor its repeats may reach the
// window, also once the session has ended and Tab is no longer claimed.
TEST_F(X11KeyTapTest, AWithheldKeyIsWithheldUntilItIsReleased) {
    auto window = test::X11TestWindow::open();
    ASSERT_TRUE(window);
    // A short delay, so that a short hold repeats.
    auto repeat = window->setRepeat({150, 25});
    ASSERT_TRUE(repeat);
    std::shared_ptr<void> restoreRepeat(nullptr, [&](void*) { window->setRepeat(*repeat); });
    tap->setKeyWithholding(withholding);
    std::atomic<int> tabs{0};
    ASSERT_TRUE(tap->start([&](std::uint16_t keyCode, const auto&, auto) {
        if (keyCode != keycode::tab) {
            return false;
        }
        ++tabs;
        const bool claimed = withholding->withholds(keyCode);
        withholding->set({});
        return claimed;
    }));
    withholding->set({{keycode::tab, "", 0}});
    ASSERT_TRUE(pollUntil([&] { return backend->last->grabCount() > 0; }));

    // Korvane's own keys, typed while Tab is still down, wait for it to come up.
    ASSERT_EQ(run("xdotool keydown Tab"), 0);
    ASSERT_TRUE(pollUntil([&] { return tabs.load() > 0; }));
    x11::XTestKeySynthesizer synthesizer(journal);
    std::thread injector([&] { synthesizer.postKeyPair(keycode::backspace, 0); });
    ASSERT_EQ(run("sleep 0.4 && xdotool keyup Tab && xdotool key x"), 0);
    injector.join();
    ASSERT_TRUE(window->waitUntil([&](const auto&) { return window->count(XKB_KEY_x, false) == 1; }));
    EXPECT_EQ(window->count(XKB_KEY_Tab, true), 0) << testing::PrintToString(window->events());
    EXPECT_EQ(window->count(XKB_KEY_Tab, false), 0) << testing::PrintToString(window->events());
    EXPECT_EQ(window->count(XKB_KEY_BackSpace, false), 1) << testing::PrintToString(window->events());
    EXPECT_GT(tabs.load(), 1);
    // Nothing stays grabbed once the key is up.
    EXPECT_TRUE(pollUntil([&] { return backend->last->grabCount() == 0; }));
}

// Typing on while the key that accepted (a withheld Tab) is still down: the typed keys reach the
// window, in order and once each, and the Tab's release still does not.
TEST_F(X11KeyTapTest, KeysTypedDuringAWithheldKeysHoldPassAndItsReleaseStaysWithheld) {
    auto window = test::X11TestWindow::open();
    ASSERT_TRUE(window);
    tap->setKeyWithholding(withholding);
    std::atomic<int> heard{0};
    ASSERT_TRUE(tap->start([&](std::uint16_t keyCode, const auto& characters, auto) {
        if (keyCode != keycode::tab) {
            heard += characters == std::optional<std::string>("a") || characters == std::optional<std::string>("b");
            return false;
        }
        const bool claimed = withholding->withholds(keyCode);
        withholding->set({});
        return claimed;
    }));
    for (int round = 0; round < 3; ++round) {
        window->clear();
        heard = 0;
        withholding->set({{keycode::tab, "", 0}});
        ASSERT_TRUE(pollUntil([&] { return backend->last->grabCount() > 0; }));
        ASSERT_EQ(run("xdotool keydown Tab key a b keyup Tab key x"), 0);
        ASSERT_TRUE(window->waitUntil([&](const auto&) { return window->count(XKB_KEY_x, false) == 1; }))
            << testing::PrintToString(window->events());
        const std::uint8_t a = window->keycode(XKB_KEY_a);
        const std::uint8_t b = window->keycode(XKB_KEY_b);
        const std::uint8_t x = window->keycode(XKB_KEY_x);
        EXPECT_EQ(window->events(), (std::vector<test::X11TestWindow::KeyEvent>{
                                        {true, a}, {false, a}, {true, b}, {false, b}, {true, x}, {false, x}}))
            << "round " << round;
        // Their raw copies come once the hold is over; the copies the tap posted are not heard again.
        EXPECT_TRUE(pollUntil([&] { return heard.load() >= 2; })) << heard.load();
        EXPECT_FALSE(pollUntil([&] { return heard.load() > 2; }, 0.3)) << "the handler hears each typed key once";
        EXPECT_TRUE(pollUntil([&] { return backend->last->grabCount() == 0; }));
    }
}

// While a grabbed key waits for its answer the server holds back every key of the keyboard, so a
// tap stuck in its handler must not keep the desktop's keyboard frozen.
TEST_F(X11KeyTapTest, AStalledHandlerDoesNotFreezeTheKeyboard) {
    auto window = test::X11TestWindow::open();
    ASSERT_TRUE(window);
    std::mutex stallMutex;
    std::condition_variable stallEnded;
    bool stalling = true;
    auto endStall = [&] {
        {
            std::lock_guard lock(stallMutex);
            stalling = false;
        }
        stallEnded.notify_all();
    };
    tap->setKeyWithholding(withholding);
    ASSERT_TRUE(tap->start([&](std::uint16_t keyCode, const auto&, auto) {
        if (keyCode == keycode::tab) {
            std::unique_lock lock(stallMutex);
            stallEnded.wait_for(lock, std::chrono::seconds(10), [&] { return !stalling; });
        }
        return withholding->withholds(keyCode);
    }));
    withholding->set({{keycode::tab, "", 0}});
    ASSERT_TRUE(pollUntil([&] { return backend->last->grabCount() > 0; }));

    ASSERT_EQ(run("xdotool key Tab x"), 0);
    const bool typed = window->waitUntil(
        [&](const auto&) {
            return window->count(XKB_KEY_Tab, true) == 1 && window->count(XKB_KEY_x, true) == 1;
        },
        2.0 + x11::X11KeyTap::grabAnswerBound.count() / 1000.0);
    endStall();
    EXPECT_TRUE(typed) << testing::PrintToString(window->events());
    EXPECT_THAT(log.lines(), testing::Contains(
                                 "[Korvane] Key tap did not answer within 2 s; released the keyboard grabs"));
    // Once the handler answers again, the claimed key is grabbed again.
    EXPECT_TRUE(pollUntil([&] { return backend->last->grabCount() > 0; }));

    // The stalled answer was "withhold", but the key had been replayed by then: once nothing is
    // claimed, Tab is not kept grabbed as if it were still held, and its next press reaches the window.
    withholding->set({});
    ASSERT_TRUE(pollUntil([&] { return backend->last->grabCount() == 0; }));
    ASSERT_EQ(run("xdotool key Tab"), 0);
    EXPECT_TRUE(window->waitUntil([&](const auto&) { return window->count(XKB_KEY_Tab, true) == 2; }))
        << testing::PrintToString(window->events());
}

} // namespace
} // namespace korvane
