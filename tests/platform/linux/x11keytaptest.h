#pragma once

// The key tap tests' fixture: a real tap on the private X session's display, the accessibility trust
// that lets it start, and the keys its handler saw.
#include "input/eventtap.h"
#include "input/triggerdetector.h"
#include "platform/fake/manualscheduler.h"
#include "platform/linux/linuxaccessibilitytrust.h"
#include "platform/linux/postedkeyjournal.h"
#include "platform/linux/x11keytap.h"
#include "platform/linux/x11keytapbackend.h"
#include "support/fakekeywithholding.h"
#include "support/logcapture.h"
#include "support/polling.h"
#include "support/tempdir.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <mutex>
#include <string>
#include <vector>

namespace korvane::test {

// Remembers the taps it makes, so the tests can watch the grabs.
class RecordingBackend final : public KeyTapBackend {
public:
    explicit RecordingBackend(std::shared_ptr<KeyTapBackend> inner)
        : inner_(std::move(inner)) {}
    std::shared_ptr<KeyTap> createTap() override {
        auto tap = inner_->createTap();
        last = std::dynamic_pointer_cast<x11::X11KeyTap>(tap);
        return tap;
    }
    std::shared_ptr<x11::X11KeyTap> last;

private:
    std::shared_ptr<KeyTapBackend> inner_;
};

class X11KeyTapTest : public testing::Test {
protected:
    void SetUp() override {
        if (std::getenv("DISPLAY") == nullptr) {
            GTEST_SKIP() << "needs an X session (scripts/xvfb-session)";
        }
        ASSERT_TRUE(pollUntil([&] { return trust->isTrusted(); }))
            << "display without XInput 2.2/XTEST or accessibility bus off";
        tap->onMouseDown = [this] { ++mouseDowns; };
    }

    void TearDown() override {
        tap->stop();
        if (terminalPid > 0) {
            run("kill " + std::to_string(terminalPid) + " 2>/dev/null");
        }
    }

    void startTap() {
        ASSERT_TRUE(tap->start(
            [this](std::uint16_t keyCode, const std::optional<std::string>& characters, std::uint64_t flags) {
                std::lock_guard lock(seenMutex);
                seen.push_back({keyCode, characters, flags});
                seenAt = std::chrono::steady_clock::now();
                return withholding->withholds(keyCode);
            }));
    }

    // Starts the tap with a real trigger detector behind it, as the shell wires them.
    void startDetector() {
        detector = std::make_shared<TriggerDetector>([this](const SessionEvent& event) {
            std::lock_guard lock(seenMutex);
            sessionEvents.push_back(event);
        });
        tap->setKeyWithholding(detector);
        ASSERT_TRUE(tap->start(
            [this](std::uint16_t keyCode, const std::optional<std::string>& characters, std::uint64_t flags) {
                return detector->processKey(keyCode, characters, flags);
            }));
    }

    std::vector<SessionEvent> takeSessionEvents() {
        std::lock_guard lock(seenMutex);
        return std::exchange(sessionEvents, {});
    }

    template <typename Event> bool sawSessionEvent() {
        std::lock_guard lock(seenMutex);
        return std::any_of(sessionEvents.begin(), sessionEvents.end(),
                           [](const SessionEvent& event) { return std::holds_alternative<Event>(event); });
    }

    std::vector<SeenKey> seenKeys() {
        std::lock_guard lock(seenMutex);
        return seen;
    }

    bool sawCharacters(const std::string& characters) {
        auto keys = seenKeys();
        return std::any_of(keys.begin(), keys.end(),
                           [&](const SeenKey& key) { return key.characters == characters; });
    }

    // An xterm with the focus whose raw keyboard input lands byte for byte in `typed`.
    void openTerminal() {
        std::string command = "xterm -class KorvaneTest -e sh -c 'stty raw -echo; echo ready > " +
                              (dir.path() / "ready").string() + "; exec cat > " + typed.string() +
                              "' >/dev/null 2>&1 & echo $! > " + (dir.path() / "pid").string();
        ASSERT_EQ(run(command), 0);
        ASSERT_TRUE(pollUntil([&] { return std::filesystem::exists(dir.path() / "ready"); }, 10.0));
        terminalPid = std::stoi(readAll(dir.path() / "pid"));
        ASSERT_TRUE(test::activateWindow("--class KorvaneTest"));
    }

    test::LogCapture log;
    test::TempDir dir;
    std::filesystem::path typed = dir.path() / "typed";
    int terminalPid = 0;
    ManualScheduler scheduler;
    // Tells no one: no observer is set, so nothing is posted to the scheduler from its thread.
    std::shared_ptr<LinuxAccessibilityTrust> trust = std::make_shared<LinuxAccessibilityTrust>(scheduler);
    std::shared_ptr<x11::PostedKeyJournal> journal = std::make_shared<x11::PostedKeyJournal>();
    std::shared_ptr<RecordingBackend> backend =
        std::make_shared<RecordingBackend>(std::make_shared<x11::X11KeyTapBackend>(trust, journal));
    std::shared_ptr<test::FakeKeyWithholding> withholding = std::make_shared<test::FakeKeyWithholding>();
    std::shared_ptr<EventTap> tap = std::make_shared<EventTap>(backend, trust, scheduler);
    std::atomic<int> mouseDowns{0};
    std::mutex seenMutex;
    std::vector<SeenKey> seen;
    std::chrono::steady_clock::time_point seenAt;
    std::shared_ptr<TriggerDetector> detector;
    std::vector<SessionEvent> sessionEvents;
};


} // namespace korvane::test
