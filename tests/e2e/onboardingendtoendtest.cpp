// The first start of the korvane binary under scripts/xvfb-session, with the session's
// accessibility switched off: onboarding opens, no key is watched, "Grant Permission" (pressed over
// the accessibility bus) switches it on and completion starts without a restart; "Get Started" is
// remembered across a restart; the switch turned off again while the onboarding shows "Welcome" brings
// the permission step and the keyboard with it.
#include "endtoendsupport.h"

#include <filesystem>
#include <gmock/gmock.h>
#include <regex>
#include <string>
#include <vector>

namespace korvane {
namespace {

namespace fs = std::filesystem;
using namespace test::e2e;

std::string setAccessibility(bool enabled) {
    return std::string(
               "dbus-send --session --print-reply --type=method_call --dest=org.a11y.Bus /org/a11y/bus "
               "org.freedesktop.DBus.Properties.Set string:org.a11y.Status string:IsEnabled "
               "variant:boolean:") +
           (enabled ? "true" : "false") + " >/dev/null 2>&1";
}

class OnboardingEndToEndTest : public IsolatedKorvaneTest {
protected:
    void arrange() override {
        dir.write(
            "home/.config/korvane/config.json",
            R"({"snippets": [{"key": "sig", "expand": "Best,\nAda"}, {"key": "hi", "expand": "Hello there"}]})");
        isolateEnvironment(
            {"KORVANE_TEST_HOOKS=1",
             // The windows are reachable over the accessibility bus even while its switch is off.
             "QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1", "QT_QPA_PLATFORM=xcb"});
        ASSERT_EQ(run(setAccessibility(false)), 0) << "the session has no accessibility bus";
    }

    void TearDown() override {
        IsolatedKorvaneTest::TearDown();
        run(setAccessibility(true));
    }

    std::size_t readyLines() const { return count(readAll(outFile()), std::string(kReadyLine) + "\n"); }

    // Korvane's visible windows of `width` × `height` exactly: the onboarding is 700 × 570.
    static std::vector<std::string> windowsSized(int width, int height) {
        std::vector<std::string> found;
        for (const std::string& window : visibleKorvaneWindows()) {
            const Geometry g = geometry(window);
            if (g.width == width && g.height == height) {
                found.push_back(window);
            }
        }
        return found;
    }
    static bool onboardingShown() { return !windowsSized(700, 570).empty(); }
    // The completion popup: a visible Korvane window wider than the tray icon that is not the onboarding.
    static bool popupShown() {
        for (const std::string& window : visibleKorvaneWindows()) {
            const Geometry g = geometry(window);
            if (g.width > 60 && !(g.width == 700 && g.height == 570)) {
                return true;
            }
        }
        return false;
    }

    static bool press(const std::string& button) {
        return run(fixtureCommand("korvanecontrol.py", quoted(button) + " 15")) == 0;
    }
    // The object of the onboarding that says it has the focus, with what holds it (korvanecontrol.py).
    static std::string focused() {
        return output(fixtureCommand("korvanecontrol.py", "--focused Korvane 5") + " 2>/dev/null");
    }
};

TEST_F(OnboardingEndToEndTest, FirstStartAsksForThePermissionAndTheGrantWorksWithoutARestart) {
    launch();
    ASSERT_TRUE(pollUntil(onboardingShown, 30.0)) << "the onboarding window never mapped";
    screenshot("onboarding");
    EXPECT_EQ(readyLines(), 0u) << "no key is watched without the permission";

    // Without the permission the trigger is only text.
    ASSERT_TRUE(openTerminal("korvane-first"));
    ASSERT_TRUE(type(";;s"));
    ASSERT_TRUE(pollUntil([&] { return readAll(typedFile("korvane-first")) == ";;s"; }, 10.0))
        << readAll(typedFile("korvane-first"));
    EXPECT_FALSE(popupShown());

    ASSERT_TRUE(press("Grant Permission"));
    ASSERT_TRUE(pollUntil([&] { return readyLines() == 1; }, 15.0))
        << "completion did not start after the grant";
    EXPECT_EQ(output("dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus "
                     "org.freedesktop.DBus.Properties.Get string:org.a11y.Status string:IsEnabled | tail -1"),
              "   variant       boolean true");
    ASSERT_TRUE(focus("korvane-first"));
    ASSERT_TRUE(type(" ;;si"));
    EXPECT_TRUE(pollUntil(popupShown, 10.0)) << "the trigger opened nothing after the grant";
    key("Escape");

    // The try-it field of the experience step completes too, inside Korvane's own window.
    ASSERT_TRUE(press("Continue"));
    const auto onboarding = windowsSized(700, 570);
    ASSERT_FALSE(onboarding.empty());
    ASSERT_EQ(run("xdotool windowactivate --sync " + onboarding.front() + " >/dev/null 2>&1"), 0);
    ASSERT_EQ(run(fixtureCommand("korvanecontrol.py", "--focus ';; here' 15")), 0);
    ASSERT_TRUE(type(";;hi"));
    ASSERT_TRUE(pollUntil(popupShown, 10.0)) << "the trigger opened nothing in the try-it field";
    ASSERT_TRUE(key("Return"));
    EXPECT_TRUE(pollUntil(
        [] { return output(fixtureCommand("korvanecontrol.py", "--text ';; here' 5")) == "Hello there"; },
        10.0))
        << output(fixtureCommand("korvanecontrol.py", "--text ';; here' 5"));

    // Finishing is remembered: the next start shows no onboarding.
    ASSERT_TRUE(press("Set up later"));
    ASSERT_TRUE(press("Get Started"));
    ASSERT_TRUE(pollUntil([] { return !onboardingShown(); }, 10.0));
    // The window goes before the flag is written.
    const fs::path defaults = root / "state/korvane/defaults.json";
    EXPECT_TRUE(pollUntil(
        [&] { return std::regex_search(readAll(defaults), std::regex("\"hasCompletedOnboarding\": *true")); },
        10.0))
        << readAll(defaults);
    stop(korvane);
    launch();
    ASSERT_TRUE(pollUntil([&] { return readyLines() == 1; }, 30.0));
    EXPECT_FALSE(pollUntil(onboardingShown, 3.0)) << "onboarding came back after Get Started";
}

// With the onboarding open on "Welcome" and the permission given, the switch turned off: the window
// shows "Almost ready", and the keyboard goes with it, wherever in the window it was (the step's own
// button, the close button).
TEST_F(OnboardingEndToEndTest, TheKeyboardGoesToTheStepThatTheLostPermissionBrings) {
    launch();
    ASSERT_TRUE(pollUntil(onboardingShown, 30.0)) << "the onboarding window never mapped";
    struct Row {
        const char* focus;
        // "Back" pressed that many times to come to "Welcome" from the step the last row left.
        int backs;
    };
    std::size_t grants = 0;
    for (const Row& row : {Row{"Welcome", 0}, Row{"Close", 2}}) {
        const std::string control = row.focus;
        SCOPED_TRACE(control);
        ASSERT_TRUE(press("Grant Permission"));
        ++grants;
        ASSERT_TRUE(pollUntil([&] { return readyLines() == grants; }, 15.0))
            << "completion did not start after the grant";
        for (int back = 0; back < row.backs; ++back) {
            ASSERT_TRUE(press("Back"));
        }
        // A press over the bus clicks a moment later; "Welcome", which has no control of its own, hands
        // the keyboard to "Continue" once it shows.
        if (row.backs > 0) {
            ASSERT_TRUE(pollUntil([] { return focused().starts_with("push button Continue in "); }, 10.0))
                << focused();
        }
        ASSERT_EQ(run(fixtureCommand("korvanecontrol.py", "--focus " + quoted(control) + " 15")), 0);
        ASSERT_TRUE(
            pollUntil([&] { return focused().find(" " + control + " in ") != std::string::npos; }, 10.0))
            << focused();

        ASSERT_EQ(run(setAccessibility(false)), 0);
        // "Grant Permission" of the ready step shows only in its "Almost ready" look.
        EXPECT_TRUE(pollUntil([] { return focused().starts_with("push button Grant Permission in "); }, 15.0))
            << "the focus stayed on " << focused();
        EXPECT_THAT(focused(), testing::MatchesRegex("push button Grant Permission in (.*/)?Ready(/.*)?"))
            << "not a control of the step shown";
    }
}

} // namespace
} // namespace korvane
