// Runs under scripts/xvfb-session: a private X server with a window manager and the accessibility
// bus. The injector runs with its real ports (XTEST, AT-SPI, the Qt clipboard and main loop) into a
// GTK entry (tests/platform/linux/fixtures) and into an xterm whose `cat` writes what it receives
// to a file.
#include "input/textinjector.h"

#include "input/applicationsets.h"
#include "input/appprofilecache.h"
#include "input/pasteshortcutcache.h"
#include "platform/keycodes.h"
#include "platform/linux/atspiaccessibletext.h"
#include "platform/linux/builtinkeyequivalentsource.h"
#include "platform/linux/desktopfileindex.h"
#include "platform/linux/liveactiveappprovider.h"
#include "platform/linux/postedkeyjournal.h"
#include "platform/linux/procelectronprobe.h"
#include "platform/linux/workerthread.h"
#include "platform/linux/xtestkeysynthesizer.h"
#include "platform/qt/qtpasteboard.h"
#include "platform/qt/qtscheduler.h"
#include "platform/schedulermainthreadcaller.h"
#include "support/logcapture.h"
#include "support/polling.h"
#include "support/qtx11.h"
#include "support/tempdir.h"

#include <QApplication>
#include <QClipboard>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <iterator>
#include <nlohmann/json.hpp>

namespace korvane {
namespace {

using test::run;
using test::readAll;

using testing::ElementsAre;
using testing::IsEmpty;

using test::spinUntil;

class TextInjectorX11Test : public testing::Test {
protected:
    static void SetUpTestSuite() {
        test::ensureX11Application("korvane_x11_injector_tests");
    }

    void SetUp() override {
        if (std::getenv("DISPLAY") == nullptr) {
            GTEST_SKIP() << "needs an X session (scripts/xvfb-session)";
        }
        scheduler = std::make_unique<QtScheduler>();
        accessibleText = atspi::AtspiAccessibleText::create();
        ASSERT_TRUE(accessibleText) << "no accessibility bus";
        TextInjector::Ports ports;
        ports.injectionQueue = std::make_shared<WorkerThread>("korvane-inject");
        ports.mainThread = std::make_shared<SchedulerMainThreadCaller>(*scheduler);
        ports.mainScheduler = scheduler.get();
        ports.activeApp = activeApp;
        // The application's own profile, unless the test asks for another strategy.
        ports.profileForBundleID = [this](const std::string& bundleID) {
            AppProfile profile = profiles->profile(bundleID);
            RecordProperty("profile", bundleID + "=" + std::to_string(static_cast<int>(profile.strategy)));
            if (forcedStrategy) {
                profile.strategy = *forcedStrategy;
            }
            return profile;
        };
        ports.pasteShortcutForBundleID = [this](const std::string& bundleID) {
            return shortcuts->pasteShortcut(bundleID);
        };
        ports.accessibleText = accessibleText;
        ports.keys = std::make_shared<x11::XTestKeySynthesizer>(journal);
        ports.pasteboard = pasteboard;
        ports.sleeper = std::make_shared<ThreadSleeper>();
        injector = std::make_shared<TextInjector>(std::move(ports));
    }

    void TearDown() override {
        injector.reset();
        for (int pid : children) {
            stop(pid);
        }
    }

    // Ends a window's process and waits until it is gone, so that it takes no focus from the next.
    void stop(int pid) {
        run("kill " + std::to_string(pid) + " 2>/dev/null");
        EXPECT_TRUE(spinUntil([&] { return !running(pid); }, 20.0)) << "process " << pid << " still runs";
    }

    // A process that has exited counts as gone even while nobody has reaped it yet.
    static bool running(int pid) {
        const std::string stat = readAll("/proc/" + std::to_string(pid) + "/stat");
        const auto close = stat.rfind(')');
        return close != std::string::npos && stat.size() > close + 2 && stat[close + 2] != 'Z';
    }

    // Raises the window of process `pid` matching `criteria` and waits until the window manager
    // has made it the active one; the window may still be on its way when this starts.
    void activate(int pid, const std::string& criteria) {
        ASSERT_TRUE(test::activateWindow("--all --onlyvisible --pid " + std::to_string(pid) + " " + criteria))
            << criteria;
    }

    int startInBackground(const std::string& command, const std::string& name) {
        const auto pidFile = dir.path() / (name + ".pid");
        EXPECT_EQ(run(command + " >/dev/null 2>&1 & echo $! > " + pidFile.string()), 0);
        const int pid = std::stoi(readAll(pidFile));
        children.push_back(pid);
        return pid;
    }

    // The GTK entry, focused, holding `text` with the caret at its end.
    void openEntry(const std::string& text, const std::string& clipboard = {}) {
        std::string command = "/usr/bin/python3 " + std::string(KORVANE_FIXTURES) + "/gtkentrywindow.py '" +
                              entryStatus.string() + "' '" + text + "'";
        if (!clipboard.empty()) {
            command += " '" + clipboard + "'";
        }
        // The status of an earlier entry must not pass for this one's.
        std::filesystem::remove(entryStatus);
        const int pid = startInBackground(command, "entry");
        activate(pid, "--class KorvaneGtk");
        ASSERT_TRUE(spinUntil([&] { return entry().value("focused", false); }, 20.0)) << readAll(entryStatus);
    }

    // What the entry last wrote; an empty object before it has written anything.
    nlohmann::json entry() const {
        auto status = nlohmann::json::parse(readAll(entryStatus), nullptr, false);
        return status.is_object() ? status : nlohmann::json::object();
    }

    // An xterm with the focus whose `cat` writes each line it gets to `typed`.
    void openTerminal() {
        const auto ready = dir.path() / "ready";
        terminalPid = startInBackground("xterm -u8 -title KorvaneInjectTerm -e sh -c 'echo ready > " +
                                            ready.string() + "; exec cat > " + typed.string() + "'",
                                        "xterm");
        ASSERT_TRUE(spinUntil([&] { return std::filesystem::exists(ready); }, 20.0));
        activate(terminalPid, "--name KorvaneInjectTerm");
    }

    // The target as the shell takes it when a session begins.
    struct Target {
        std::optional<std::int32_t> pid;
        std::optional<std::string> bundleID;
        std::optional<std::uint64_t> window;
    };
    Target focusNow() {
        const auto frontmost = activeApp->frontmostApplication();
        return {frontmost ? std::optional(frontmost->pid) : std::nullopt,
                frontmost ? std::optional(frontmost->bundleID) : std::nullopt, activeApp->activeWindowID()};
    }

    std::optional<bool> inject(std::size_t deletionCount, const std::string& text, Target target) {
        std::optional<bool> result;
        const auto start = std::chrono::steady_clock::now();
        injector->injectAsync(deletionCount, text, target.pid, target.bundleID, target.window,
                              [&](bool ok) { result = ok; });
        spinUntil([&] { return result.has_value(); }, 30.0);
        RecordProperty("injectMs", std::to_string(std::chrono::duration<double, std::milli>(
                                                      std::chrono::steady_clock::now() - start)
                                                      .count()));
        return result;
    }

    test::LogCapture log;
    test::TempDir dir;
    std::filesystem::path entryStatus = dir.path() / "entry.json";
    std::filesystem::path typed = dir.path() / "typed";
    std::vector<int> children;
    int terminalPid = 0;
    std::unique_ptr<QtScheduler> scheduler;
    std::shared_ptr<LiveActiveAppProvider> activeApp =
        std::make_shared<LiveActiveAppProvider>(std::make_shared<DesktopFileIndex>(DesktopFileIndex::xdgDataDirs()));
    std::shared_ptr<AppProfileCache> profiles = std::make_shared<AppProfileCache>(std::make_shared<ProcElectronProbe>(
        [this](const std::string& bundleID) { return activeApp->processIdentifier(bundleID); }));
    std::shared_ptr<PasteShortcutCache> shortcuts =
        std::make_shared<PasteShortcutCache>(std::make_shared<BuiltinKeyEquivalentSource>(terminalBundleIDs()));
    std::optional<InjectionStrategy> forcedStrategy;
    std::shared_ptr<x11::PostedKeyJournal> journal = std::make_shared<x11::PostedKeyJournal>();
    std::shared_ptr<QtPasteboard> pasteboard = std::make_shared<QtPasteboard>();
    std::shared_ptr<atspi::AtspiAccessibleText> accessibleText;
    std::shared_ptr<TextInjector> injector;
};

TEST_F(TextInjectorX11Test, TheEntryGetsTheExpansionWithTheCaretAtTheMarker) {
    openEntry("say ;;hel");
    EXPECT_EQ(inject(5, "hello $0world", focusNow()), true);
    ASSERT_TRUE(spinUntil([&] { return entry()["text"] == "say hello world"; })) << readAll(entryStatus);
    EXPECT_TRUE(spinUntil([&] { return entry()["cursor"] == 10; })) << readAll(entryStatus);
    // Replaced through AT-SPI: not one key was posted.
    EXPECT_EQ(journal->size(), 0u);
    EXPECT_THAT(log.lines(), IsEmpty());
}

TEST_F(TextInjectorX11Test, TheTerminalGetsTheLinePastedAndTheClipboardBack) {
    // Another application owns the clipboard; the terminal pastes the primary selection.
    openEntry("", "old contents");
    openTerminal();
    ASSERT_EQ(run("xdotool type --delay 5 'say ;;hel'"), 0);
    EXPECT_EQ(inject(5, "hello world", focusNow()), true);
    ASSERT_EQ(run("xdotool key Return"), 0);
    EXPECT_TRUE(spinUntil([&] { return readAll(typed) == "say hello world\n"; })) << readAll(typed);
    EXPECT_TRUE(spinUntil([] { return QGuiApplication::clipboard()->text() == "old contents"; }))
        << QGuiApplication::clipboard()->text().toStdString();
}

TEST_F(TextInjectorX11Test, TypedUnicodeArrivesByteExact) {
    const std::string text = "naïve — 東京 🎉";
    forcedStrategy = InjectionStrategy::cgEventChunked;
    openTerminal();
    EXPECT_EQ(inject(0, text, focusNow()), true);
    ASSERT_EQ(run("xdotool key Return"), 0);
    EXPECT_TRUE(spinUntil([&] { return readAll(typed) == text + "\n"; })) << readAll(typed);

    openEntry("");
    EXPECT_EQ(inject(0, text, focusNow()), true);
    EXPECT_TRUE(spinUntil([&] { return entry()["text"] == text; })) << readAll(entryStatus);
}

TEST_F(TextInjectorX11Test, NothingIsTypedOnceTheFocusMovedAway) {
    openTerminal();
    openEntry("keep");
    const Target target = focusNow();
    activate(terminalPid, "--name KorvaneInjectTerm");
    for (InjectionStrategy strategy : {InjectionStrategy::ax, InjectionStrategy::cgEventChunked}) {
        forcedStrategy = strategy;
        EXPECT_EQ(inject(2, "typed", target), false);
    }
    ASSERT_EQ(run("xdotool key Return"), 0);
    EXPECT_TRUE(spinUntil([&] { return readAll(typed) == "\n"; })) << readAll(typed);
    EXPECT_EQ(entry()["text"], "keep");
    EXPECT_THAT(log.lines(), ElementsAre("[Korvane] Injection aborted: target app changed",
                                         "[Korvane] Injection aborted: target app changed"));
}

// The trigger and query hold an emoji and a decomposed accent: each is one character to remove,
// through AT-SPI (which counts code points) and through Backspace alike.
TEST_F(TextInjectorX11Test, EmojiAndCombiningAccentsAreRemovedWhole) {
    for (InjectionStrategy strategy : {InjectionStrategy::ax, InjectionStrategy::cgEventChunked}) {
        openEntry("x 🎉;;🎉e\u0301");
        forcedStrategy = strategy;
        EXPECT_EQ(inject(4, "ok", focusNow()), true);
        EXPECT_TRUE(spinUntil([&] { return entry()["text"] == "x 🎉ok"; })) << readAll(entryStatus);
        EXPECT_EQ(journal->size() == 0, strategy == InjectionStrategy::ax);
        stop(children.back());
        children.pop_back();
    }
}

// Shift still held from the accepting keys must not turn the typed text into capitals, and is held
// again afterwards; without an X connection nothing can be posted.
TEST_F(TextInjectorX11Test, HeldModifiersAreLiftedForTheInputAndPutBack) {
    forcedStrategy = InjectionStrategy::cgEventChunked;
    openTerminal();
    ASSERT_EQ(run("xdotool keydown shift"), 0);
    EXPECT_EQ(inject(0, "abc", focusNow()), true);
    ASSERT_EQ(run("xdotool type x && xdotool keyup shift && xdotool key Return"), 0);
    EXPECT_TRUE(spinUntil([&] { return readAll(typed) == "abcX\n"; })) << readAll(typed);

    const std::string display = std::getenv("DISPLAY");
    unsetenv("DISPLAY");
    x11::XTestKeySynthesizer disconnected(journal);
    EXPECT_FALSE(disconnected.beginInput());
    EXPECT_FALSE(disconnected.postKeyPair(keycode::backspace, 0));
    EXPECT_FALSE(disconnected.postText("a"));
    setenv("DISPLAY", display.c_str(), 1);
}

} // namespace
} // namespace korvane
