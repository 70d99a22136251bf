#pragma once

#include "support/polling.h"
#include "support/tempdir.h"

#include <cstddef>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <sys/types.h>
#include <vector>

// Helpers of the end-to-end tests: child processes they start and reap, shell output, the text a raw
// terminal ends up showing, and the fixture that runs the korvane binary in a private home. All of
// it runs on the test's main thread.
namespace korvane::test::e2e {

using test::activateWindow;
using test::pollUntil;
using test::readAll;
using test::run;

inline constexpr const char* kReadyLine = "[Korvane] Ready. Type ;; to activate.";

std::string quoted(const std::string& text);

// What `command` printed on stdout, without the final line break.
std::string output(const std::string& command);

std::vector<std::string> lines(const std::string& text);

std::size_t count(const std::string& text, const std::string& needle);

// The text a plain line editor holds after receiving `bytes` from a terminal in raw mode:
// Backspace and Delete remove the character before the cursor, the arrow keys move it, a carriage
// return breaks the line. What the application sent a terminal, as the user would see it edited.
std::string edited(const std::string& bytes);

// Starts `argv` with `environment`, its output appended to two files; the process id.
pid_t spawn(const std::vector<std::string>& argv, const std::vector<std::string>& environment,
            const std::filesystem::path& out, const std::filesystem::path& err);

// Whether the child `pid` has ended, reaping it; its wait status in `status`.
bool ended(pid_t pid, int* status = nullptr);

void stop(pid_t pid);

// The korvane binary under test in a temporary HOME with its own XDG folders, on the X session the
// test runs in: starting and stopping it, its output, the xterms and keys a user would type.
class IsolatedKorvaneTest : public testing::Test {
protected:
    // Skips without a korvane binary or an X session; makes `root`, `home` and a private runtime
    // folder, then arranges the test.
    void SetUp() final;
    // What a test needs before it starts: its files, its environment, the processes it begins with.
    virtual void arrange() = 0;
    // Stops korvane, the tray host and every helper; on a failure prints what korvane said.
    void TearDown() override;

    static std::string korvaneBinary();
    // The command that runs the python fixture `script` with `arguments`, under the system python.
    static std::string fixtureCommand(const std::string& script, const std::string& arguments);

    // This process's environment with HOME and the XDG folders moved into `root`, without the test
    // runner's KORVANE_TEST, followed by `extra` entries.
    void isolateEnvironment(const std::vector<std::string>& extra);
    // Written so that no onboarding window takes the focus from the windows typed into.
    void skipOnboarding();

    // Starts korvane once more, its output in new files; no waiting.
    void launch();
    // Starts korvane and waits up to 30 s for its ready line.
    bool startKorvane();
    std::filesystem::path outFile() const;
    std::filesystem::path errFile() const;
    // Waits until korvane's stdout holds the whole `line` at least `times` times.
    bool waitForLine(const std::string& line, std::size_t times = 1, double seconds = 10.0);
    // Waits until korvane's stdout contains `text` anywhere.
    bool waitForOutput(const std::string& text, double seconds = 10.0);

    // Starts trayer as the tray host when installed; `trayerWindow` is its window, or "".
    void startTrayer();
    // The tray icon's window, docked somewhere below one of trayer's windows, or "".
    std::string trayIcon() const;
    // The korvaneitems.py listing of `what` ("menu" or "rows").
    static std::vector<std::string> accessibleItems(const std::string& what);
    // Waits until the completion rows include one containing `text`; the rows last seen.
    static std::vector<std::string> rowsWith(const std::string& text);
    // The tray menu's visible items, opened with a right click on the docked icon and closed again.
    std::vector<std::string> trayMenu() const;
    // The line korvane prints when `project` becomes the current project.
    static std::string projectLine(const std::filesystem::path& project);

    // An xterm titled `title` running `program` (which touches readyFile(`title`) once set up) in
    // `directory` (the current one when empty); focused.
    bool openXterm(const std::string& title, const std::filesystem::path& directory,
                   const std::string& program, const std::string& geometry = "70x12");
    // The same, not focused: for a program that sets its window's title itself.
    bool startXterm(const std::string& title, const std::filesystem::path& directory,
                    const std::string& program, const std::string& geometry = "70x12");
    // An xterm whose program writes every byte it receives, untranslated, to typedFile(`title`).
    bool openTerminal(const std::string& title, const std::filesystem::path& directory = {});
    std::filesystem::path readyFile(const std::string& title) const;
    std::filesystem::path typedFile(const std::string& title) const;

    static bool focus(const std::string& title);
    static bool type(const std::string& text);
    static bool key(const std::string& keys);

    struct Geometry {
        int x = 0, y = 0, width = 0, height = 0;
    };
    static Geometry geometry(const std::string& window);
    // Korvane's visible windows: the popup, its other windows and the tray icon all bear its name.
    static std::vector<std::string> visibleKorvaneWindows();
    // The popup's window while it is on screen, or "": a Korvane window wider than the tray icon.
    static std::string popupWindow();
    static bool popupShown(bool shown);
    static void screenshot(const std::string& name);

    test::TempDir dir;
    std::filesystem::path root, home;
    std::vector<std::string> environment;
    pid_t korvane = 0;
    pid_t trayer = 0;
    int starts = 0;
    std::string trayerWindow;
    std::vector<int> helpers;
};

} // namespace korvane::test::e2e
