// The keyboard's focus frame in each of Korvane's windows as a user sees it, under scripts/xvfb-session:
// at every stop of the focus, the window's first focus included, the screen is grabbed with the focus
// there and with it one Tab away (fixtures/focusframes.py); the frame is what changed around the
// control, two pixels thick or more and standing out at 3:1 from what was there before and from what
// lies beside it.
#include "endtoendsupport.h"
#include "focusframecontrast.h"

#include <QImage>
#include <filesystem>
#include <gmock/gmock.h>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace korvane {
namespace {

namespace fs = std::filesystem;
using namespace test::e2e;

// A stop of the focus as the fixture reported it: the picture, the focused object's place in it, the
// place then of the object of the picture before, and the object.
struct Stop {
    QRect place;
    QRect previousPlace;
    std::string what;
};

QRect rectFrom(std::istringstream& in) {
    int x = 0, y = 0, width = 0, height = 0;
    in >> x >> y >> width >> height;
    return {x, y, width, height};
}

bool movesFocusOnly(const std::string& key) {
    return key == "Tab" || key == "shift+Tab";
}

class FocusFramesEndToEndTest : public IsolatedKorvaneTest {
protected:
    void arrange() override {
        dir.write("home/.config/korvane/config.json",
                  R"({"snippets": [{"key": "sig", "expand": "Best"}, {"key": "hi", "expand": "Hello"}]})");
        dir.write("home/work/notes.txt", "notes\n");
        isolateEnvironment(
            {"KORVANE_TEST_HOOKS=1", "QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1", "QT_QPA_PLATFORM=xcb"});
    }

    // Walks Korvane's window `window` with `keys`, one picture a stop.
    std::vector<Stop> walk(const std::string& window, const std::vector<std::string>& keys) {
        folder = root / "frames";
        fs::remove_all(folder);
        std::string arguments = quoted(window) + " " + quoted(folder.string()) + " 120";
        for (const std::string& key : keys) {
            arguments += " " + key;
        }
        std::vector<Stop> stops;
        for (const std::string& line :
             lines(output(fixtureCommand("focusframes.py", arguments) + " 2>/dev/null"))) {
            std::istringstream in(line);
            int number = 0;
            in >> number;
            Stop stop;
            stop.place = rectFrom(in);
            stop.previousPlace = rectFrom(in);
            in >> std::ws;
            std::getline(in, stop.what);
            stops.push_back(stop);
        }
        walked = keys;
        return stops;
    }

    // The picture of stop `index` without the focus on it: the one a Tab away, taken while the stop lay
    // where it was, and not one of a key that also changes what shows (Space, an arrow).
    std::optional<std::size_t> without(const std::vector<Stop>& stops, std::size_t index) const {
        const Stop& stop = stops[index];
        if (index + 1 < stops.size() && movesFocusOnly(walked[index]) && stops[index + 1].what != stop.what &&
            stops[index + 1].previousPlace == stop.place) {
            return index + 1;
        }
        if (index > 0 && movesFocusOnly(walked[index - 1]) && stops[index - 1].what != stop.what &&
            stop.previousPlace == stops[index - 1].place) {
            return index - 1;
        }
        return std::nullopt;
    }

    QImage picture(std::size_t index) const {
        return QImage(QString::fromStdString((folder / (std::to_string(index) + ".png")).string()));
    }

    // Every stop's frame stands out; each stop's reading is printed, for the record.
    void expectFramesStandOut(const std::vector<Stop>& stops) {
        for (std::size_t index = 0; index < stops.size(); ++index) {
            SCOPED_TRACE(std::to_string(index) + " " + stops[index].what);
            const auto other = without(stops, index);
            if (!other) {
                ADD_FAILURE() << "no picture of the stop without the focus";
                continue;
            }
            const auto reading =
                FocusFrameContrast::read(picture(index), picture(*other), stops[index].place);
            std::cout << "[ frame    ] " << index << " " << stops[index].what << ": " << reading.describe()
                      << "\n";
            EXPECT_TRUE(reading.standsOut()) << reading.describe();
        }
    }

    static std::vector<std::string> whats(const std::vector<Stop>& stops) {
        std::vector<std::string> found;
        for (const Stop& stop : stops) {
            found.push_back(stop.what);
        }
        return found;
    }

    void startWithTray() {
        skipOnboarding();
        startTrayer();
        launch();
        ASSERT_TRUE(waitForOutput("[Korvane] Ready.", 30.0)) << readAll(errFile());
        ASSERT_TRUE(pollUntil([&] { return !trayIcon().empty(); }, 10.0));
    }

    void chooseInTrayMenu(const std::string& item) {
        ASSERT_EQ(
            run(fixtureCommand("settingswindow.py", "choose " + trayIcon() + " " + quoted(item) + " 15") +
                " >/dev/null 2>&1"),
            0)
            << "the tray menu had no " << item;
    }

    static std::vector<std::string> repeated(const std::string& key, int times) {
        return std::vector<std::string>(static_cast<std::size_t>(times), key);
    }

    static std::vector<std::string> joined(std::initializer_list<std::vector<std::string>> parts) {
        std::vector<std::string> all;
        for (const auto& part : parts) {
            all.insert(all.end(), part.begin(), part.end());
        }
        return all;
    }

    fs::path folder;
    std::vector<std::string> walked;
};

// The first start with the accessibility switched off: the three steps' controls, the header's and the
// footer's, from the window's first focus on, through "Continue" to the step that asks for the
// permission.
TEST_F(FocusFramesEndToEndTest, EveryStopOfTheOnboardingShowsItsFrame) {
    const std::string switchOff = "dbus-send --session --print-reply --type=method_call --dest=org.a11y.Bus "
                                  "/org/a11y/bus org.freedesktop.DBus.Properties.Set string:org.a11y.Status "
                                  "string:IsEnabled variant:boolean:";
    ASSERT_EQ(run(switchOff + "false >/dev/null 2>&1"), 0) << "the session has no accessibility bus";
    launch();
    const auto stops =
        walk("Korvane",
             joined({repeated("Tab", 4), {"space"}, repeated("Tab", 5), {"space"}, repeated("Tab", 5)}));
    run(switchOff + "true >/dev/null 2>&1");
    ASSERT_EQ(stops.size(), 17u) << testing::PrintToString(whats(stops));
    EXPECT_THAT(
        whats(stops),
        testing::IsSupersetOf({"radio button Welcome, checked", "push button Set up later",
                               "push button Close", "push button Grant Permission", "push button Continue",
                               "push button Back", "radio button Experience it, checked",
                               "push button Close for now", "radio button Ready, checked"}));
    expectFramesStandOut(stops);
}

// The settings window from the tray: the sidebar's first focus, the snippets page with the snippet
// editor open, and the preferences page from its text field to its last button.
TEST_F(FocusFramesEndToEndTest, EveryStopOfTheSettingsWindowShowsItsFrame) {
    if (run("command -v trayer >/dev/null") != 0) {
        GTEST_SKIP() << "no tray host in this session";
    }
    ASSERT_NO_FATAL_FAILURE(startWithTray());
    ASSERT_NO_FATAL_FAILURE(chooseInTrayMenu("Configuration"));
    // To "Add", which opens the editor on its key; through the editor to the sidebar, then the
    // preferences page.
    const auto stops =
        walk("Korvane Configuration",
             joined({repeated("Tab", 5), {"space"}, repeated("Tab", 7), {"Down"}, repeated("Tab", 36)}));
    ASSERT_EQ(stops.size(), 51u) << testing::PrintToString(whats(stops));
    EXPECT_THAT(
        whats(stops),
        testing::IsSupersetOf(
            {"list item Snippets", "list item Preferences", "page tab Global", "text Search snippets...",
             "push button Add", "text Key", "radio button Text, checked", "text Text to insert",
             "push button Cancel", "text Trigger sequence:", "check box Case-sensitive search, not checked",
             "push button Decrease Scan depth: 5", "filler Recent",
             "combo box Popup position:", "push button Font color picker", "radio button Dark, checked",
             "push button Reset to Defaults", "push button Edit Config File"}));
    expectFramesStandOut(stops);
}

// The box that "Trust this folder…" opens: its text, the window's first focus, and its buttons.
TEST_F(FocusFramesEndToEndTest, EveryStopOfTheTrustBoxShowsItsFrame) {
    if (run("command -v trayer >/dev/null") != 0) {
        GTEST_SKIP() << "no tray host in this session";
    }
    ASSERT_NO_FATAL_FAILURE(startWithTray());
    ASSERT_TRUE(openTerminal("korvane-trust", home / "work"));
    ASSERT_TRUE(waitForOutput("Project changed: work", 10.0));
    ASSERT_NO_FATAL_FAILURE(chooseInTrayMenu("Trust this folder\u2026"));
    const auto stops = walk("Trust This Folder?", repeated("Tab", 3));
    ASSERT_EQ(stops.size(), 4u) << testing::PrintToString(whats(stops));
    EXPECT_EQ(stops.front().what, "text Trust This Folder?");
    EXPECT_THAT(whats(stops), testing::IsSupersetOf({"push button Trust", "push button Cancel"}));
    expectFramesStandOut(stops);
    key("Escape");
}

} // namespace
} // namespace korvane
