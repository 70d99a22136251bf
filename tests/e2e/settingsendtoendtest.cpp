// The settings window end to end, under scripts/xvfb-session: "Configuration" chosen in the tray
// menu opens it; a snippet added there over the accessibility bus (fixtures/settingswindow.py) is
// written to the configuration file and completes in an xterm at once, without a restart; the keys
// keep the focus where the user is; Korvane never offers itself as an application to configure; the
// trust box tells a screen reader what has the focus before the settings window was ever opened.
#include "endtoendsupport.h"
#include "platform/linux/liveactiveappprovider.h"

#include <algorithm>
#include <filesystem>
#include <functional>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

namespace korvane {
namespace {

namespace fs = std::filesystem;
using namespace test::e2e;

class SettingsEndToEndTest : public IsolatedKorvaneTest {
protected:
    // The user's config.json that Korvane starts with.
    virtual nlohmann::json configFile() const {
        // Enough snippets that the list scrolls and shows them in reused rows.
        nlohmann::json snippets = nlohmann::json::parse(R"([{"key": "sig", "expand": "Best,\nAda"}])");
        for (int i = 0; i < 40; ++i) {
            snippets.push_back(
                {{"key", "note" + std::to_string(i)}, {"expand", "Note " + std::to_string(i)}});
        }
        return nlohmann::json{{"snippets", snippets}};
    }

    void arrange() override {
        dir.write("home/.config/korvane/config.json", configFile().dump());
        dir.write("home/work/notes.txt", "notes\n");
        skipOnboarding();
        isolateEnvironment(
            {"KORVANE_TEST_HOOKS=1", "QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1", "QT_QPA_PLATFORM=xcb"});
        startTrayer();
        launch();
        ASSERT_TRUE(waitForOutput("[Korvane] Ready.", 30.0)) << readAll(errFile());
    }

    void TearDown() override {
        if (HasFailure()) {
            screenshot("settings");
        }
        IsolatedKorvaneTest::TearDown();
    }

    static int fixture(const std::string& arguments) {
        return run(fixtureCommand("settingswindow.py", arguments) + " >/dev/null 2>&1");
    }
    // The lines the fixture printed.
    static std::vector<std::string> fixtureLines(const std::string& arguments) {
        return lines(output(fixtureCommand("settingswindow.py", arguments) + " 2>/dev/null"));
    }

    // "Configuration" chosen in the tray menu, until the settings window shows.
    void openConfiguration() {
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
    }
};

TEST_F(SettingsEndToEndTest, ConfigurationFromTheTrayAddsASnippetThatCompletesAtOnce) {
    if (trayerWindow.empty()) {
        GTEST_SKIP() << "no tray host in this session";
    }
    ASSERT_NO_FATAL_FAILURE(openConfiguration());

    ASSERT_EQ(fixture("add-snippet hi " + quoted("Hello from the settings window") + " 15"), 0);
    const fs::path config = home / ".config/korvane/config.json";
    ASSERT_TRUE(pollUntil([&] { return readAll(config).find("\"hi\"") != std::string::npos; }, 5.0))
        << readAll(config);
    const auto file = nlohmann::json::parse(readAll(config));
    EXPECT_EQ(file["snippets"].back(),
              nlohmann::json::parse(R"({"key":"hi","expand":"Hello from the settings window"})"));
    EXPECT_EQ(file["snippets"].front()["key"], "sig") << "the other snippets stay";

    // A screen reader is told the rows as they stand, scrolled to the new one at the end: a run of the
    // file's snippets in its order, ending with the new one, and no row the list keeps hidden; each row
    // is named by what it holds, its key and its text.
    std::vector<std::string> read;
    for (const std::string& line :
         lines(output(fixtureCommand("settingswindow.py", "rows 10") + " 2>/dev/null"))) {
        if (!line.empty()) {
            read.push_back(line);
        }
    }
    ASSERT_FALSE(read.empty()) << "no snippet rows over the accessibility bus";
    EXPECT_EQ(read.back(), "hi: Hello from the settings window");
    const auto& stored = file["snippets"];
    const std::size_t first = stored.size() - read.size();
    for (std::size_t i = 0; i < read.size(); ++i) {
        EXPECT_EQ(read[i], stored[first + i]["key"].get<std::string>() + ": " +
                               stored[first + i]["expand"].get<std::string>())
            << "row " << i;
    }

    // In a terminal, ";;hi" completes with the new snippet, without restarting Korvane.
    ASSERT_TRUE(openTerminal("korvane-settings", home / "work"));
    // Korvane has taken the terminal in (its project) before the trigger is typed.
    ASSERT_TRUE(waitForOutput("Project changed: work", 10.0));
    ASSERT_TRUE(type(";;hi"));
    ASSERT_TRUE(pollUntil(
        [] {
            const std::string rows = output(fixtureCommand("korvaneitems.py", "rows 2") + " 2>/dev/null");
            return rows.find("hi") != std::string::npos;
        },
        10.0))
        << "typed so far: " << testing::PrintToString(readAll(typedFile("korvane-settings")));
    ASSERT_TRUE(key("Return"));
    EXPECT_TRUE(pollUntil(
        [&] { return edited(readAll(typedFile("korvane-settings"))) == "Hello from the settings window"; },
        10.0))
        << testing::PrintToString(edited(readAll(typedFile("korvane-settings"))));
    EXPECT_EQ(count(readAll(outFile()), "[Korvane] Ready."), 1u) << "no restart";
}

// Without a mouse and with a screen reader, over the accessibility bus: Shift+Tab walks back every stop
// Tab walked on the snippets page, past the rows first in view, their pencils and trash cans among them;
// the rows told are then those in view; Delete on a row asks about it by its key; each picker of the
// preferences page is named by its label.
TEST_F(SettingsEndToEndTest, ShiftTabWalksBackWhatTabWalkedAndAScreenReaderHearsNames) {
    if (trayerWindow.empty()) {
        GTEST_SKIP() << "no tray host in this session";
    }
    ASSERT_NO_FATAL_FAILURE(openConfiguration());
    ASSERT_TRUE(focus("Korvane Configuration"));

    const std::size_t count = 60;
    std::vector<std::string> forwards;
    std::vector<std::string> backwards;
    for (const std::string& line :
         lines(output(fixtureCommand("settingswindow.py",
                                     "walk 'Search snippets...' " + std::to_string(count) + " 60") +
                      " 2>/dev/null"))) {
        (line.rfind("> ", 0) == 0 ? forwards : backwards).push_back(line.substr(2));
    }
    ASSERT_EQ(forwards.size(), count) << testing::PrintToString(forwards);
    ASSERT_EQ(backwards.size(), count) << testing::PrintToString(backwards);
    EXPECT_THAT(forwards, testing::Contains("push button Delete snippet note12")) << "it went past the view";
    EXPECT_THAT(backwards.back(), testing::EndsWith("Search snippets..."));
    std::vector<std::string> expected(forwards.rbegin() + 1, forwards.rend());
    expected.push_back(backwards.back());
    EXPECT_EQ(backwards, expected);

    for (const std::string& row :
         lines(output(fixtureCommand("settingswindow.py", "rows 10") + " 2>/dev/null"))) {
        EXPECT_THAT(row, testing::MatchesRegex("(sig|note[0-9]+): .+"));
    }
    EXPECT_EQ(output(fixtureCommand("settingswindow.py", "delete 'sig: Best, Ada' 10") + " 2>/dev/null"),
              "Delete the snippet 'sig'?");
    EXPECT_EQ(lines(output(fixtureCommand("settingswindow.py", "pickers 10") + " 2>/dev/null")),
              (std::vector<std::string>{"Popup position:", "Badge style"}));
}

// Without a mouse and with a screen reader: Tab from the sidebar into the Preferences page scrolled to
// its end, and Shift+Tab from the footer into it scrolled to its top, bring each control they reach into
// view. Wherever the keyboard is, the object it is on is the one that says it has the focus, and it is
// named: the snippet editor's text box itself, not a part of it. The appearance choice, one Tab stop
// moved with the arrows, is told as the radio buttons it acts as.
TEST_F(SettingsEndToEndTest, TheFocusIsInViewNamedAndAlone) {
    if (trayerWindow.empty()) {
        GTEST_SKIP() << "no tray host in this session";
    }
    ASSERT_NO_FATAL_FAILURE(openConfiguration());
    ASSERT_TRUE(focus("Korvane Configuration"));
    auto walk = [&](const std::string& arguments, std::size_t count) {
        const std::vector<std::string> stops =
            lines(output(fixtureCommand("settingswindow.py",
                                        "tab-from " + arguments + " " + std::to_string(count) + " 90") +
                         " 2>/dev/null"));
        EXPECT_EQ(stops.size(), count) << testing::PrintToString(stops);
        for (const std::string& stop : stops) {
            EXPECT_EQ(stop.find('['), std::string::npos) << stop;
            EXPECT_THAT(stop, testing::Not(testing::EndsWith(" "))) << "unnamed";
        }
        return stops;
    };
    const auto down = walk("Preferences-bottom Pages Tab", 36);
    EXPECT_THAT(down, testing::Contains("text Trigger sequence:"));
    EXPECT_THAT(down, testing::Contains(testing::MatchesRegex("radio button (Glass|Dark|Light), checked")));
    walk("Preferences-top 'Edit Config File' shift+Tab", 3);
    EXPECT_THAT(walk("Add Key Tab", 4), testing::Contains("text Text to insert"));
}

// In a process that has not opened the settings window yet, the box that "Trust this folder…" opens
// tells a screen reader one object with the focus, named: the box's text, not also a part of it.
TEST_F(SettingsEndToEndTest, TheTrustBoxTellsOneNamedFocusFromTheStart) {
    if (trayerWindow.empty()) {
        GTEST_SKIP() << "no tray host in this session";
    }
    ASSERT_TRUE(openTerminal("korvane-trust", home / "work"));
    ASSERT_TRUE(waitForOutput("Project changed: work", 10.0));
    ASSERT_TRUE(pollUntil([&] { return !trayIcon().empty(); }, 10.0));
    ASSERT_EQ(fixture("choose " + trayIcon() + " " + quoted("Trust this folder\u2026") + " 15"), 0)
        << "the tray menu offered no folder to trust";
    EXPECT_EQ(fixtureLines("focused-in 'Trust This Folder?' 15"),
              std::vector<std::string>{"text Trust This Folder?"});
}

// The dark look stored and a link among the snippets.
class SettingsKeysEndToEndTest : public SettingsEndToEndTest {
protected:
    nlohmann::json configFile() const override {
        nlohmann::json file = SettingsEndToEndTest::configFile();
        file["snippets"].push_back({{"key", "docs"}, {"url", "https://example.org/docs"}});
        file["settings"] = {{"material", "solid"}, {"appearance", "dark"}};
        return file;
    }

    std::optional<double> stored(const char* setting) const {
        const auto file =
            nlohmann::json::parse(readAll(home / ".config/korvane/config.json"), nullptr, false);
        if (file.is_discarded() || !file.contains("settings") || !file["settings"].contains(setting)) {
            return std::nullopt;
        }
        return file["settings"][setting].get<double>();
    }
};

// Without a mouse: Space on a stepper's arrow goes on pressing that arrow at its limit, where it keeps
// the focus and changes nothing, neither the value nor another control; Tab and Shift+Tab enter a
// group of choices on the chosen one, as a screen reader hears it first.
TEST_F(SettingsKeysEndToEndTest, KeysKeepTheFocusAtALimitAndEnterAChoiceOnTheChosenOne) {
    if (trayerWindow.empty()) {
        GTEST_SKIP() << "no tray host in this session";
    }
    ASSERT_NO_FATAL_FAILURE(openConfiguration());
    ASSERT_TRUE(focus("Korvane Configuration"));

    EXPECT_EQ(fixtureLines("press-on Preferences-top 'Decrease Row padding' space 10 30"),
              std::vector<std::string>{"focus: push button Decrease Row padding: 0"});
    EXPECT_TRUE(pollUntil([&] { return stored("row_padding") == 0.0; }, 5.0))
        << readAll(home / ".config/korvane/config.json");
    EXPECT_EQ(fixtureLines("press-on Preferences-top 'Increase Font size' space 6 30"),
              std::vector<std::string>{"focus: push button Increase Font size: 20"})
        << "the focus left the arrow, or a window opened";
    EXPECT_TRUE(pollUntil([&] { return stored("font_size") == 20.0; }, 5.0));

    const std::vector<std::string> dark{"radio button Dark, checked"};
    EXPECT_EQ(fixtureLines("tab-from Preferences-top 'Badge style' Tab 1 30"), dark);
    EXPECT_EQ(fixtureLines("tab-from Preferences-top 'Reset to Defaults' shift+Tab 1 30"), dark);
    EXPECT_EQ(fixtureLines("tab-from Edit:docs 'Label (optional)' Tab 1 30"),
              std::vector<std::string>{"radio button URL, checked"});
}

// Korvane's windows are named by the application ID it excludes as its own, with no desktop file of
// it installed: its settings window in front is never captured, and the installed applications
// (which take in the running ones) never list it.
TEST_F(SettingsEndToEndTest, KorvaneIsNeverOfferedAsAnApplicationToConfigure) {
    if (trayerWindow.empty()) {
        GTEST_SKIP() << "no tray host in this session";
    }
    ASSERT_NO_FATAL_FAILURE(openConfiguration());

    LiveActiveAppProvider activeApp(
        std::make_shared<DesktopFileIndex>(std::vector<fs::path>{home / ".local/share"}));
    std::optional<FrontmostApplication> front;
    ASSERT_TRUE(
        pollUntil([&] { return (front = activeApp.frontmostApplication()) && front->pid == korvane; }, 10.0))
        << "the settings window never became the active window";
    EXPECT_EQ(front->bundleID, "korvane");

    const std::vector<std::string> listed =
        lines(output(fixtureCommand("settingswindow.py", "installed-apps 15") + " 2>/dev/null"));
    EXPECT_THAT(listed, testing::Contains("trayer")) << "the running applications are listed";
    EXPECT_THAT(listed, testing::Not(testing::Contains(testing::StrCaseEq("korvane"))));
}

// Two commands of the user's that note each run in a file of their own: the wiki, named in config.json's
// `providers`, and the tickets, left out of it.
class OwnCommandEndToEndTest : public SettingsEndToEndTest {
protected:
    nlohmann::json configFile() const override {
        return nlohmann::json{{"providers", {"manual", "files", "wiki"}},
                              {"custom_providers", {command("wiki", "Wiki"), command("tickets", "Tickets")}}};
    }

    nlohmann::json command(const std::string& id, const std::string& label) const {
        return {{"id", id},
                {"label", label},
                {"command", "printf 'run\\n' >> " + quoted(runsFile(id).string()) + "; printf 'alpha-" + id +
                                "\\t" + label + " alpha\\n'"}};
    }
    fs::path runsFile(const std::string& id) const { return home / (id + ".runs"); }
    std::size_t runs(const std::string& id) const { return count(readAll(runsFile(id)), "run\n"); }

    // The eye button `name` pressed in the settings window, until config.json is saved as `saved` says
    // and Korvane has read it for the `reloads`th time.
    void pressEye(const std::string& name, const std::function<bool(const nlohmann::json&)>& saved,
                  std::size_t reloads) {
        ASSERT_EQ(fixture("eye " + quoted(name) + " 15"), 0) << "the settings window shows no " << name;
        const fs::path config = home / ".config/korvane/config.json";
        ASSERT_TRUE(
            pollUntil([&] { return saved(nlohmann::json::parse(readAll(config), nullptr, false)); }, 5.0))
            << readAll(config);
        ASSERT_TRUE(waitForLine("[Korvane] Global config reloaded, merged with project config", reloads));
    }

    // The popup's rows for ";;alpha" in the terminal, once they hold the wiki's and, when `tickets`, the
    // tickets' row; then the popup is closed.
    std::vector<std::string> popupRows(bool tickets) {
        std::vector<std::string> rows;
        if (!focus("korvane-eye") || !type(";;alpha") || !popupShown(true)) {
            ADD_FAILURE() << "no popup";
            return rows;
        }
        const auto holds = [&](const std::string& text) {
            return std::any_of(rows.begin(), rows.end(),
                               [&](const std::string& row) { return row.find(text) != std::string::npos; });
        };
        pollUntil(
            [&] {
                rows = lines(output(fixtureCommand("korvaneitems.py", "rows 2") + " 2>/dev/null"));
                return holds("alpha-wiki") && (!tickets || holds("alpha-ticket"));
            },
            10.0);
        key("Escape");
        popupShown(false);
        return rows;
    }

    static bool names(const nlohmann::json& file, const std::string& id) {
        const auto& providers = file.value("providers", nlohmann::json::array());
        return std::find(providers.begin(), providers.end(), id) != providers.end();
    }
};

// The settings window and the popup agree about the user's own commands: one that config.json's list
// leaves out shows struck through, and the popup neither runs nor lists it; its eye shows it, in the
// popup too, and hides it again.
TEST_F(OwnCommandEndToEndTest, TheEyeShowsAndHidesAnOwnCommandInThePopup) {
    if (trayerWindow.empty()) {
        GTEST_SKIP() << "no tray host in this session";
    }
    // A repository, so that Korvane reads the project and runs the commands there.
    ASSERT_EQ(run("git init -q " + quoted((home / "work").string())), 0);
    ASSERT_TRUE(openTerminal("korvane-eye", home / "work"));
    ASSERT_TRUE(waitForOutput("Project changed: work", 10.0));
    ASSERT_TRUE(pollUntil([&] { return runs("wiki") > 0; }, 15.0)) << "the project was never read";

    auto rows = popupRows(false);
    EXPECT_THAT(rows, testing::Contains(testing::HasSubstr("alpha-wiki")));
    EXPECT_THAT(rows, testing::Not(testing::Contains(testing::HasSubstr("alpha-ticket"))));
    EXPECT_EQ(runs("tickets"), 0u) << "a hidden command ran";

    ASSERT_NO_FATAL_FAILURE(openConfiguration());
    ASSERT_NO_FATAL_FAILURE(pressEye(
        "Show Tickets", [](const auto& file) { return names(file, "tickets"); }, 1));
    rows = popupRows(true);
    EXPECT_THAT(rows, testing::Contains(testing::HasSubstr("alpha-ticket")));
    EXPECT_GT(runs("tickets"), 0u);

    ASSERT_NO_FATAL_FAILURE(openConfiguration());
    const std::size_t wikiRuns = runs("wiki");
    ASSERT_NO_FATAL_FAILURE(pressEye(
        "Hide Tickets", [](const auto& file) { return file.is_object() && !names(file, "tickets"); }, 2));
    const std::size_t ticketRuns = runs("tickets");
    // The project is read again with the new sources once its terminal is in front: the wiki runs, the
    // tickets do not.
    ASSERT_TRUE(focus("korvane-eye"));
    ASSERT_TRUE(pollUntil([&] { return runs("wiki") > wikiRuns; }, 15.0)) << "the project was not read again";
    rows = popupRows(false);
    EXPECT_THAT(rows, testing::Contains(testing::HasSubstr("alpha-wiki")));
    EXPECT_THAT(rows, testing::Not(testing::Contains(testing::HasSubstr("alpha-ticket"))));
    EXPECT_EQ(runs("tickets"), ticketRuns) << "a hidden command ran";
}

} // namespace
} // namespace korvane
