// The settings window end to end, under scripts/xvfb-session: "Configuration" chosen in the tray
// menu opens it; a snippet added there over the accessibility bus (fixtures/settingswindow.py) is
// written to the configuration file and completes in an xterm at once, without a restart.
#include "endtoendsupport.h"
#include "support/polling.h"
#include "support/tempdir.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

extern char** environ;

namespace korvane {
namespace {

namespace fs = std::filesystem;
using test::pollUntil;
using test::readAll;
using test::run;
using namespace test::e2e;

class SettingsEndToEndTest : public testing::Test {
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
        dir.write("home/.config/korvane/config.json",
                  R"({"snippets": [{"key": "sig", "expand": "Best,\nAda"}]})");
        dir.write("home/work/notes.txt", "notes\n");
        dir.write("state/korvane/defaults.json", R"({"hasCompletedOnboarding": true})");
        fs::create_directories(root / "run");
        fs::permissions(root / "run", fs::perms::owner_all);
        static const std::vector<std::string> replaced{
            "HOME=",           "XDG_CONFIG_HOME=", "XDG_CACHE_HOME=",
            "XDG_STATE_HOME=", "XDG_RUNTIME_DIR=", "KORVANE_TEST="};
        for (char** e = environ; *e != nullptr; ++e) {
            const std::string entry = *e;
            if (std::none_of(replaced.begin(), replaced.end(),
                             [&](const auto& p) { return entry.starts_with(p); })) {
                environment.push_back(entry);
            }
        }
        for (const std::string& entry :
             {"HOME=" + home.string(), "XDG_CONFIG_HOME=" + (home / ".config").string(),
              "XDG_CACHE_HOME=" + (home / ".cache").string(), "XDG_STATE_HOME=" + (root / "state").string(),
              "XDG_RUNTIME_DIR=" + (root / "run").string(), std::string("KORVANE_TEST_HOOKS=1"),
              std::string("QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1"), std::string("QT_QPA_PLATFORM=xcb")}) {
            environment.push_back(entry);
        }
        if (run("command -v trayer >/dev/null") == 0) {
            trayer = spawn({"/bin/sh", "-c",
                            "exec trayer --edge top --align right --widthtype request --height 24 "
                            "--SetDockType true --SetPartialStrut false --expand false"},
                           environment, root / "trayer.out", root / "trayer.err");
            pollUntil(
                [&] {
                    return !(trayerWindow = output("xdotool search --class trayer 2>/dev/null | head -1"))
                                .empty();
                },
                10.0);
        }
        korvane = spawn({KORVANE_BINARY}, environment, root / "korvane.out", root / "korvane.err");
        ASSERT_TRUE(pollUntil(
            [&] { return readAll(root / "korvane.out").find("[Korvane] Ready.") != std::string::npos; },
            30.0))
            << readAll(root / "korvane.err");
#endif
    }

    void TearDown() override {
        if (HasFailure()) {
            run("import -window root /tmp/korvane-e2e-settings.png >/dev/null 2>&1");
        }
        stop(korvane);
        stop(trayer);
        if (xterm > 0) {
            run("kill " + std::to_string(xterm) + " 2>/dev/null");
        }
        if (HasFailure()) {
            std::cout << "[ korvane  ] stdout:\n"
                      << readAll(root / "korvane.out") << "[ korvane  ] stderr (tail):\n"
                      << output("tail -n 30 " + quoted((root / "korvane.err").string())) << "\n";
        }
    }

    // The tray icon's window, docked below trayer's, or "".
    std::string trayIcon() const {
        std::size_t trayDepth = std::string::npos;
        for (const std::string& line : lines(output("xwininfo -root -tree 2>/dev/null"))) {
            const std::size_t depth = line.find_first_not_of(' ');
            if (trayDepth != std::string::npos && depth <= trayDepth) {
                trayDepth = std::string::npos;
            }
            if (line.find("\"trayer\")") != std::string::npos) {
                trayDepth = depth;
            } else if (trayDepth != std::string::npos && line.find("(\"korvane\"") != std::string::npos) {
                return line.substr(depth, line.find(' ', depth) - depth);
            }
        }
        return {};
    }

    static int fixture(const std::string& arguments) {
        return run("/usr/bin/python3 " KORVANE_FIXTURES "/settingswindow.py " + arguments +
                   " >/dev/null 2>&1");
    }

    test::TempDir dir;
    fs::path root, home;
    std::vector<std::string> environment;
    pid_t korvane = 0;
    pid_t trayer = 0;
    int xterm = 0;
    std::string trayerWindow;
};

TEST_F(SettingsEndToEndTest, ConfigurationFromTheTrayAddsASnippetThatCompletesAtOnce) {
    if (trayerWindow.empty()) {
        GTEST_SKIP() << "no tray host in this session";
    }
    ASSERT_TRUE(pollUntil([&] { return !trayIcon().empty(); }, 10.0));
    ASSERT_EQ(fixture("choose " + trayIcon() + " Configuration 15"), 0)
        << "the tray menu had no Configuration";
    ASSERT_TRUE(pollUntil(
        [] {
            return !output("xdotool search --onlyvisible --name '^Korvane Configuration$' 2>/dev/null")
                        .empty();
        },
        10.0))
        << "the settings window did not open";

    ASSERT_EQ(fixture("add-snippet hi " + quoted("Hello from the settings window") + " 15"), 0);
    const fs::path config = home / ".config/korvane/config.json";
    ASSERT_TRUE(pollUntil([&] { return readAll(config).find("\"hi\"") != std::string::npos; }, 5.0))
        << readAll(config);
    const auto file = nlohmann::json::parse(readAll(config));
    EXPECT_EQ(file["snippets"].back(),
              nlohmann::json::parse(R"({"key":"hi","expand":"Hello from the settings window"})"));
    EXPECT_EQ(file["snippets"].front()["key"], "sig") << "the other snippet stays";

    // In a terminal, ";;hi" completes with the new snippet, without restarting Korvane.
    const fs::path ready = root / "xterm.ready";
    const std::string program = "stty raw -echo && touch " + quoted(ready.string()) + " && exec cat > " +
                                quoted((root / "xterm.typed").string());
    ASSERT_EQ(run("cd " + quoted((home / "work").string()) +
                  " && { xterm -T korvane-settings -geometry 70x12 -e sh -c " + quoted(program) +
                  " >/dev/null 2>&1 & echo $! > " + quoted((root / "xterm.pid").string()) + "; }"),
              0);
    ASSERT_TRUE(pollUntil([&] { return fs::exists(ready); }, 20.0));
    xterm = std::stoi(readAll(root / "xterm.pid"));
    ASSERT_TRUE(test::activateWindow("--name '^korvane-settings$'"));
    // Korvane has taken the terminal in (its project) before the trigger is typed.
    ASSERT_TRUE(pollUntil(
        [&] { return readAll(root / "korvane.out").find("Project changed: work") != std::string::npos; },
        10.0));
    ASSERT_EQ(run("xdotool type --delay 40 ';;hi' >/dev/null 2>&1"), 0);
    ASSERT_TRUE(pollUntil(
        [] {
            const std::string rows =
                output("/usr/bin/python3 " KORVANE_FIXTURES "/korvaneitems.py rows 2 2>/dev/null");
            return rows.find("hi") != std::string::npos;
        },
        10.0))
        << "typed so far: " << testing::PrintToString(readAll(root / "xterm.typed"));
    ASSERT_EQ(run("xdotool key --delay 40 Return >/dev/null 2>&1"), 0);
    EXPECT_TRUE(pollUntil(
        [&] { return edited(readAll(root / "xterm.typed")) == "Hello from the settings window"; }, 10.0))
        << testing::PrintToString(edited(readAll(root / "xterm.typed")));
    EXPECT_EQ(count(readAll(root / "korvane.out"), "[Korvane] Ready."), 1u) << "no restart";
}

} // namespace
} // namespace korvane
