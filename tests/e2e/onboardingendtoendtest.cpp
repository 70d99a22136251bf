// The first start of the korvane binary under scripts/xvfb-session, with the session's
// accessibility switched off: onboarding opens, no key is watched, "Grant Permission" (pressed over
// the accessibility bus) switches it on and completion starts without a restart; "Get Started" is
// remembered across a restart.
#include "endtoendsupport.h"
#include "support/polling.h"
#include "support/tempdir.h"

#include <filesystem>
#include <gmock/gmock.h>
#include <regex>
#include <string>
#include <vector>

extern char** environ;

namespace korvane {
namespace {

namespace fs = std::filesystem;
using namespace test::e2e;
using test::pollUntil;
using test::readAll;
using test::run;

constexpr const char* kReadyLine = "[Korvane] Ready. Type ;; to activate.";

std::string setAccessibility(bool enabled) {
    return std::string(
               "dbus-send --session --print-reply --type=method_call --dest=org.a11y.Bus /org/a11y/bus "
               "org.freedesktop.DBus.Properties.Set string:org.a11y.Status string:IsEnabled "
               "variant:boolean:") +
           (enabled ? "true" : "false") + " >/dev/null 2>&1";
}

class OnboardingEndToEndTest : public testing::Test {
protected:
    void SetUp() override {
#ifndef KORVANE_BINARY
        GTEST_SKIP() << "the korvane executable is not part of this build";
#else
        if (std::getenv("DISPLAY") == nullptr) {
            GTEST_SKIP() << "needs an X session (scripts/xvfb-session)";
        }
        root = fs::canonical(dir.path());
        home = root / "home";
        dir.write(
            "home/.config/korvane/config.json",
            R"({"snippets": [{"key": "sig", "expand": "Best,\nAda"}, {"key": "hi", "expand": "Hello there"}]})");
        fs::create_directories(root / "run");
        fs::permissions(root / "run", fs::perms::owner_all);
        for (char** e = environ; *e != nullptr; ++e) {
            const std::string entry = *e;
            static const std::vector<std::string> replaced{
                "HOME=",           "XDG_CONFIG_HOME=", "XDG_CACHE_HOME=",
                "XDG_STATE_HOME=", "XDG_RUNTIME_DIR=", "KORVANE_TEST="};
            if (std::none_of(replaced.begin(), replaced.end(),
                             [&](const auto& p) { return entry.starts_with(p); })) {
                environment.push_back(entry);
            }
        }
        for (const std::string& entry :
             {"HOME=" + home.string(), "XDG_CONFIG_HOME=" + (home / ".config").string(),
              "XDG_CACHE_HOME=" + (home / ".cache").string(), "XDG_STATE_HOME=" + (root / "state").string(),
              "XDG_RUNTIME_DIR=" + (root / "run").string(), std::string("KORVANE_TEST_HOOKS=1"),
              // The windows are reachable over the accessibility bus even while its switch is off.
              std::string("QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1"), std::string("QT_QPA_PLATFORM=xcb")}) {
            environment.push_back(entry);
        }
        ASSERT_EQ(run(setAccessibility(false)), 0) << "the session has no accessibility bus";
#endif
    }

    void TearDown() override {
        stop(korvane);
        for (int pid : helpers) {
            run("kill " + std::to_string(pid) + " 2>/dev/null");
        }
        run(setAccessibility(true));
        if (HasFailure()) {
            std::cout << "[ korvane  ] stdout:\n"
                      << readAll(outFile()) << "[ korvane  ] stderr (tail):\n"
                      << output("tail -n 30 " + quoted(errFile())) << "\n";
        }
    }

    fs::path outFile() const {
        return root / ("korvane" + std::to_string(starts) + ".out");
    }
    fs::path errFile() const {
        return root / ("korvane" + std::to_string(starts) + ".err");
    }

    void startKorvane() {
        ++starts;
#ifdef KORVANE_BINARY
        korvane = spawn({KORVANE_BINARY}, environment, outFile(), errFile());
#endif
    }

    std::size_t readyLines() const {
        return count(readAll(outFile()), std::string(kReadyLine) + "\n");
    }

    // Korvane's visible windows of `width` × `height` exactly: the onboarding is 700 × 570.
    static std::vector<std::string> windowsSized(int width, int height) {
        std::vector<std::string> found;
        for (const std::string& window :
             lines(output("xdotool search --onlyvisible --name '^Korvane$' 2>/dev/null"))) {
            if (output("xdotool getwindowgeometry " + window + " 2>/dev/null | grep Geometry")
                    .find(std::to_string(width) + "x" + std::to_string(height)) != std::string::npos) {
                found.push_back(window);
            }
        }
        return found;
    }
    static bool onboardingShown() {
        return !windowsSized(700, 570).empty();
    }
    // The completion popup: a visible Korvane window wider than the tray icon that is not the onboarding.
    static bool popupShown() {
        for (const std::string& window :
             lines(output("xdotool search --onlyvisible --name '^Korvane$' 2>/dev/null"))) {
            const std::string geometry =
                output("xdotool getwindowgeometry " + window + " 2>/dev/null | grep Geometry");
            const int width = std::atoi(geometry.substr(geometry.find(':') + 1).c_str());
            if (width > 60 && geometry.find("700x570") == std::string::npos) {
                return true;
            }
        }
        return false;
    }

    static bool press(const std::string& button) {
        return run("/usr/bin/python3 " KORVANE_FIXTURES "/korvanecontrol.py " + quoted(button) + " 15") == 0;
    }

    // An xterm titled `title` whose program writes every byte it receives to `<title>.typed`; focused.
    bool openTerminal(const std::string& title) {
        const fs::path ready = root / (title + ".ready");
        const std::string program = "stty raw -echo && touch " + quoted(ready) + " && exec cat > " +
                                    quoted(root / (title + ".typed"));
        const std::string command = "{ xterm -T " + title + " -geometry 70x12 -e sh -c " + quoted(program) +
                                    " >/dev/null 2>&1 & echo $! > " + quoted(root / (title + ".pid")) + "; }";
        if (run(command) != 0 || !pollUntil([&] { return fs::exists(ready); }, 20.0)) {
            return false;
        }
        helpers.push_back(std::stoi(readAll(root / (title + ".pid"))));
        return test::activateWindow("--name '^" + title + "$'");
    }

    test::TempDir dir;
    fs::path root, home;
    std::vector<std::string> environment;
    pid_t korvane = 0;
    int starts = 0;
    std::vector<int> helpers;
};

TEST_F(OnboardingEndToEndTest, FirstStartAsksForThePermissionAndTheGrantWorksWithoutARestart) {
    startKorvane();
    ASSERT_TRUE(pollUntil(onboardingShown, 30.0)) << "the onboarding window never mapped";
    run("import -window root /tmp/korvane-e2e-onboarding.png >/dev/null 2>&1");
    EXPECT_EQ(readyLines(), 0u) << "no key is watched without the permission";

    // Without the permission the trigger is only text.
    ASSERT_TRUE(openTerminal("korvane-first"));
    ASSERT_EQ(run("xdotool type --delay 40 ';;s' >/dev/null 2>&1"), 0);
    ASSERT_TRUE(pollUntil([&] { return readAll(root / "korvane-first.typed") == ";;s"; }, 10.0))
        << readAll(root / "korvane-first.typed");
    EXPECT_FALSE(popupShown());

    ASSERT_TRUE(press("Grant Permission"));
    ASSERT_TRUE(pollUntil([&] { return readyLines() == 1; }, 15.0))
        << "completion did not start after the grant";
    EXPECT_EQ(output("dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus "
                     "org.freedesktop.DBus.Properties.Get string:org.a11y.Status string:IsEnabled | tail -1"),
              "   variant       boolean true");
    ASSERT_TRUE(test::activateWindow("--name '^korvane-first$'"));
    ASSERT_EQ(run("xdotool type --delay 40 ' ;;si' >/dev/null 2>&1"), 0);
    EXPECT_TRUE(pollUntil(popupShown, 10.0)) << "the trigger opened nothing after the grant";
    run("xdotool key Escape >/dev/null 2>&1");

    // The try-it field of the experience step completes too, inside Korvane's own window.
    ASSERT_TRUE(press("Continue"));
    const auto onboarding = windowsSized(700, 570);
    ASSERT_FALSE(onboarding.empty());
    ASSERT_EQ(run("xdotool windowactivate --sync " + onboarding.front() + " >/dev/null 2>&1"), 0);
    ASSERT_EQ(run("/usr/bin/python3 " KORVANE_FIXTURES "/korvanecontrol.py --focus ';; here' 15"), 0);
    ASSERT_EQ(run("xdotool type --delay 40 ';;hi' >/dev/null 2>&1"), 0);
    ASSERT_TRUE(pollUntil(popupShown, 10.0)) << "the trigger opened nothing in the try-it field";
    ASSERT_EQ(run("xdotool key Return >/dev/null 2>&1"), 0);
    EXPECT_TRUE(pollUntil(
        [] {
            return output("/usr/bin/python3 " KORVANE_FIXTURES "/korvanecontrol.py --text ';; here' 5") ==
                   "Hello there";
        },
        10.0))
        << output("/usr/bin/python3 " KORVANE_FIXTURES "/korvanecontrol.py --text ';; here' 5");

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
    startKorvane();
    ASSERT_TRUE(pollUntil([&] { return readyLines() == 1; }, 30.0));
    EXPECT_FALSE(pollUntil(onboardingShown, 3.0)) << "onboarding came back after Get Started";
}

} // namespace
} // namespace korvane
