#include "detectorharness.h"
#include "support/logcapture.h"

#include <algorithm>
#include <atomic>
#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <vector>

namespace korvane {
namespace {

using test::DetectorHarness;
namespace Key = keycode;
namespace Flag = keyflag;
using State = TriggerDetector::State;
using Events = std::vector<std::string>;

constexpr std::uint16_t kLetter = DetectorHarness::letterKey;
constexpr std::uint16_t kF5 = 96;

struct KeyPress {
    std::uint16_t keyCode;
    std::optional<std::string> characters;
    std::uint64_t flags = 0;
};

KeyPress chars(std::string text) {
    return {kLetter, std::move(text)};
}
KeyPress press(std::uint16_t code, std::uint64_t flags = 0) {
    return {code, std::nullopt, flags};
}

struct MatchCase {
    const char* name;
    std::string trigger;
    bool armed;
    std::vector<KeyPress> keys;
    bool activates;
    std::size_t progress;
};

TEST(TriggerDetectorTest, MatchesTheTriggerCharacterByCharacter) {
    // clang-format off
    const std::vector<MatchCase> cases = {
        {"two semicolons", ";;", false, {chars(";"), chars(";")}, true, 0},
        {"a stray letter restarts the match", ";;", false, {chars(";"), chars("x"), chars(";"), chars(";")}, true, 0},
        {"backspace lowers progress", ";;", false, {chars(";"), press(Key::backspace), chars(";")}, false, 1},
        {"backspace never goes below zero", ";;", false, {press(Key::backspace), chars(";")}, false, 1},
        {"armed then backspace then the last character", ";;", true, {press(Key::backspace), chars(";")}, true, 0},
        {"armed then the last character restarts at one", ";;", true, {chars(";")}, false, 1},
        {"a key without characters forgets the progress", ";;", false, {chars(";"), press(kF5), chars(";")}, false,
         1},
        {"trigger and a letter in one event", ";;", false, {chars(";;a")}, true, 0},
        {"canonically equal characters match", ";;", false, {chars("\u037E"), chars(";")}, true, 0},
        {"decomposed input matches a precomposed trigger", "\u00e9\u00e9", false, {chars("e\u0301e\u0301")}, true,
         0},
        {"a longer trigger", "@@x", false, {chars("@"), chars("x"), chars("@"), chars("@"), chars("x")}, true, 0},
        {"alt with the trigger's characters types none of them", ";;", false,
         {chars(";"), {kLetter, ";", Flag::option}, chars(";")}, false, 1},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DetectorHarness h;
        h.detector.setTrigger(c.trigger);
        if (c.armed) {
            h.detector.resetArmed();
        }
        bool swallowed = false;
        for (const auto& k : c.keys) {
            swallowed = h.key(k.keyCode, k.characters, k.flags) || swallowed;
        }
        EXPECT_FALSE(swallowed);
        EXPECT_EQ(h.detector.state() == State::collecting, c.activates);
        EXPECT_EQ(h.events, c.activates ? Events({"activated", "query:"}) : Events{});
        EXPECT_EQ(h.detector.triggerProgress(), c.progress);
        if (c.activates) {
            EXPECT_EQ(h.detector.currentQuery(), "");
        }
    }
}

TEST(TriggerDetectorTest, EmptyTriggerNeverActivatesNorWithholds) {
    DetectorHarness h;
    h.detector.setTrigger("");
    h.detector.resetArmed();
    EXPECT_FALSE(h.type(";;;;abc"));
    EXPECT_FALSE(h.key(Key::backspace));
    EXPECT_FALSE(h.key(Key::returnKey));
    EXPECT_EQ(h.detector.state(), State::idle);
    EXPECT_TRUE(h.detector.withheldKeys().empty());
    EXPECT_TRUE(h.events.empty());
}

TEST(TriggerDetectorTest, ClearPartialTriggerKeepsAnArmedTrigger) {
    DetectorHarness h;
    h.type(";");
    h.detector.clearPartialTrigger();
    EXPECT_EQ(h.detector.triggerProgress(), 0u);
    h.detector.resetArmed();
    h.detector.clearPartialTrigger();
    EXPECT_EQ(h.detector.triggerProgress(), 2u);
}

struct CollectingCase {
    const char* name;
    std::string query;
    bool allCallbacks;
    bool suppressHorizontal;
    KeyPress key;
    bool swallowed;
    Events events;
    State state;
};

TEST(TriggerDetectorTest, CollectingKeyTable) {
    // clang-format off
    const std::vector<CollectingCase> cases = {
        {"return accepts", "ab", true, false, press(Key::returnKey), true, {"accepted:ab"}, State::idle},
        {"tab accepts", "ab", true, false, press(Key::tab), true, {"accepted:ab"}, State::idle},
        {"command-return accepts", "ab", true, false, press(Key::returnKey, Flag::command), true, {"accepted:ab"},
         State::idle},
        {"backspace on an empty query dismisses", "", true, false, press(Key::backspace), false, {"dismissed"},
         State::idle},
        {"backspace shortens the query", "ab", true, false, press(Key::backspace), false, {"query:a"},
         State::collecting},
        {"command-backspace dismisses", "ab", true, false, press(Key::backspace, Flag::command), false,
         {"dismissed"}, State::idle},
        {"control-backspace dismisses", "ab", true, false, press(Key::backspace, Flag::control), false,
         {"dismissed"}, State::idle},
        {"option-backspace dismisses", "ab", true, false, press(Key::backspace, Flag::option), false,
         {"dismissed"}, State::idle},
        {"escape with its callback", "ab", true, false, press(Key::escape), true, {"escape"}, State::collecting},
        {"escape without its callback dismisses", "ab", false, false, press(Key::escape), true, {"dismissed"},
         State::idle},
        {"down", "", true, false, press(Key::downArrow), true, {"navigate:down"}, State::collecting},
        {"up", "", true, false, press(Key::upArrow), true, {"navigate:up"}, State::collecting},
        {"arrows are withheld without a callback", "", false, false, press(Key::upArrow), true, {},
         State::collecting},
        {"space on an empty query dismisses", "", true, false, press(Key::space), false, {"dismissed"},
         State::idle},
        {"space after a query", "a", true, false, press(Key::space), true, {"space"}, State::collecting},
        {"home dismisses", "a", true, false, press(Key::home), false, {"dismissed"}, State::idle},
        {"end dismisses", "a", true, false, press(Key::end), false, {"dismissed"}, State::idle},
        {"page up dismisses", "a", true, false, press(Key::pageUp), false, {"dismissed"}, State::idle},
        {"page down dismisses", "a", true, false, press(Key::pageDown), false, {"dismissed"}, State::idle},
        {"forward delete dismisses", "a", true, false, press(Key::forwardDelete), false, {"dismissed"},
         State::idle},
        {"alt with a letter dismisses", "a", true, false, {kLetter, "b", Flag::option}, false, {"dismissed"},
         State::idle},
        {"alt-return still accepts", "a", true, false, press(Key::returnKey, Flag::option), true, {"accepted:a"},
         State::idle},
        {"left passes by default", "a", true, false, press(Key::leftArrow), false, {"left"}, State::collecting},
        {"right is withheld when suppressed", "a", true, true, press(Key::rightArrow), true, {"right"},
         State::collecting},
        {"left without a callback dismisses", "a", false, true, press(Key::leftArrow), false, {"dismissed"},
         State::idle},
        {"command-c copies", "a", true, false, {kLetter, "c", Flag::command}, true, {"copy"}, State::collecting},
        {"command-shift-c copies", "a", true, false, {kLetter, "C", Flag::command | Flag::shift}, true, {"copy"},
         State::collecting},
        {"command-o opens", "a", true, false, {kLetter, "o", Flag::command}, true, {"open"}, State::collecting},
        {"command-s saves", "a", true, false, {kLetter, "s", Flag::command}, true, {"save"}, State::collecting},
        {"command-r refreshes", "a", true, false, {kLetter, "r", Flag::command}, true, {"refresh"},
         State::collecting},
        {"other command keys dismiss", "a", true, false, {kLetter, "x", Flag::command}, false, {"dismissed"},
         State::idle},
        {"command without characters dismisses", "a", true, false, press(kF5, Flag::command), false,
         {"dismissed"}, State::idle},
        {"a key without characters is ignored", "a", true, false, press(kF5), false, {}, State::collecting},
        {"a printable key extends the query", "a", true, false, chars("b"), false, {"query:ab"},
         State::collecting},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DetectorHarness h;
        h.open(c.query);
        h.record(c.allCallbacks);
        h.detector.setSuppressHorizontalKeys(c.suppressHorizontal);
        EXPECT_EQ(h.key(c.key.keyCode, c.key.characters, c.key.flags), c.swallowed);
        EXPECT_EQ(h.events, c.events);
        EXPECT_EQ(h.detector.state(), c.state);
    }
}

struct PausedCase {
    const char* name;
    KeyPress key;
    Events events;
    State state;
    std::optional<std::string> query;
};

TEST(TriggerDetectorTest, PausedKeyTable) {
    // clang-format off
    const std::vector<PausedCase> cases = {
        {"backspace shortens silently", press(Key::backspace), {}, State::paused, "a"},
        {"option-backspace dismisses", press(Key::backspace, Flag::option), {"dismissed"}, State::idle, {}},
        {"command-backspace dismisses", press(Key::backspace, Flag::command), {"dismissed"}, State::idle, {}},
        {"control with a letter dismisses", {kLetter, "a", Flag::control}, {"dismissed"}, State::idle, {}},
        {"command with a letter dismisses", {kLetter, "c", Flag::command}, {"dismissed"}, State::idle, {}},
        {"alt with a letter dismisses", {kLetter, "f", Flag::option}, {"dismissed"}, State::idle, {}},
        {"return dismisses", press(Key::returnKey), {"dismissed"}, State::idle, {}},
        {"escape dismisses", press(Key::escape), {"dismissed"}, State::idle, {}},
        {"an arrow dismisses", press(Key::downArrow), {"dismissed"}, State::idle, {}},
        {"space dismisses", {Key::space, " "}, {"dismissed"}, State::idle, {}},
        {"a key without characters dismisses", press(kF5), {"dismissed"}, State::idle, {}},
        {"a printable key resumes collecting", chars("c"), {"query:abc"}, State::collecting, "abc"},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DetectorHarness h;
        h.open("ab");
        h.detector.pause();
        EXPECT_FALSE(h.key(c.key.keyCode, c.key.characters, c.key.flags));
        EXPECT_EQ(h.events, c.events);
        EXPECT_EQ(h.detector.state(), c.state);
        EXPECT_EQ(h.detector.currentQuery(), c.query);
    }
}

TEST(TriggerDetectorTest, BackspaceOnAnEmptyQueryLeavesTheTriggerAlmostTyped) {
    for (const bool paused : {false, true}) {
        SCOPED_TRACE(paused ? "paused" : "collecting");
        DetectorHarness h;
        h.open();
        if (paused) {
            h.detector.pause();
        }
        EXPECT_FALSE(h.key(Key::backspace));
        EXPECT_EQ(h.events, Events{"dismissed"});
        EXPECT_EQ(h.detector.triggerProgress(), 1u);
        h.type(";");
        EXPECT_EQ(h.detector.state(), State::collecting);
    }
}

TEST(TriggerDetectorTest, BackspaceOnTheHelpQuery) {
    DetectorHarness h;
    h.open("?");
    h.key(Key::backspace);
    EXPECT_EQ(h.events, Events{"help"});

    h.detector.reset();
    h.open("a?");
    h.key(Key::backspace);
    EXPECT_EQ(h.events, Events{"query:a"});

    h.detector.reset();
    h.open("?");
    h.detector.setHandledEvents(allSessionEvents & ~sessionEventBit<sessionevent::HelpBackRequested>());
    h.key(Key::backspace);
    EXPECT_EQ(h.events, Events{"query:"});
}

TEST(TriggerDetectorTest, BackspaceRemovesWholeCharacters) {
    DetectorHarness h;
    h.open();
    h.key(kLetter, "\u00e9");
    h.key(Key::backspace);
    EXPECT_EQ(h.detector.currentQuery(), "");
    h.type("a");
    EXPECT_EQ(h.detector.currentQuery(), "a");

    // A family emoji is five code points joined into one character.
    h.key(kLetter, "\U0001F468\u200D\U0001F469\u200D\U0001F467");
    EXPECT_EQ(h.detector.typedCharacterCount(), 2u);
    h.key(Key::backspace);
    EXPECT_EQ(h.detector.currentQuery(), "a");

    // A combining accent typed on its own joins the letter before it.
    h.type("e");
    h.key(kLetter, "\u0301");
    EXPECT_EQ(h.detector.typedCharacterCount(), 2u);
    h.key(Key::backspace);
    EXPECT_EQ(h.detector.currentQuery(), "a");
    EXPECT_EQ(h.detector.typedCharacterCount(), 1u);

    // CR LF is one character, in plain ASCII text as in any other.
    h.key(kLetter, "\r\n");
    EXPECT_EQ(h.detector.typedCharacterCount(), 2u);
    h.key(Key::backspace);
    EXPECT_EQ(h.detector.currentQuery(), "a");
}

// A key whose text is not well-formed UTF-8 (a surrogate code point) types nothing.
TEST(TriggerDetectorTest, IllFormedTextCountsAsNoText) {
    DetectorHarness h;
    h.open("a");
    EXPECT_FALSE(h.key(kLetter, "\xed\xa0\x80"));
    h.type("b");
    EXPECT_EQ(h.detector.currentQuery(), "ab");
    EXPECT_EQ(h.detector.typedCharacterCount(), 2u);
    EXPECT_EQ(h.events, Events({"query:ab"}));
}

TEST(TriggerDetectorTest, QueryIsCappedButTypedCharactersAreCounted) {
    DetectorHarness h;
    h.open();
    const std::string seventy(70, 'q');
    h.type(seventy);
    EXPECT_EQ(h.events.size(), 70u);
    EXPECT_EQ(h.events.back(), "query:" + std::string(64, 'q'));
    EXPECT_EQ(h.detector.typedCharacterCount(), 70u);

    // The characters past the cap are the last ones in the document, so Backspace takes them first.
    for (int i = 0; i < 6; ++i) {
        h.key(Key::backspace);
    }
    EXPECT_EQ(h.detector.currentQuery(), std::string(64, 'q'));
    EXPECT_EQ(h.detector.typedCharacterCount(), 64u);
    h.key(Key::backspace);
    EXPECT_EQ(h.detector.currentQuery(), std::string(63, 'q'));
}

TEST(TriggerDetectorTest, ACharacterThatDoesNotFitIsDroppedWhole) {
    DetectorHarness h;
    h.open(std::string(63, 'q'));
    h.key(kLetter, "\u00e9");
    EXPECT_EQ(h.events.back(), "query:" + std::string(63, 'q'));
    EXPECT_EQ(h.detector.typedCharacterCount(), 64u);
    // Later characters are not stored either, so the query stays what the document starts with.
    h.type("z");
    EXPECT_EQ(h.detector.currentQuery(), std::string(63, 'q'));
    EXPECT_EQ(h.detector.typedCharacterCount(), 65u);
    h.key(Key::backspace);
    h.key(Key::backspace);
    h.type("z");
    EXPECT_EQ(h.detector.currentQuery(), std::string(63, 'q') + "z");
}

TEST(TriggerDetectorTest, TypedCountOutlivesTheSessionUntilTheNextActivation) {
    DetectorHarness h;
    std::size_t countSeenOnAccept = 0;
    h.onEvent = [&](const SessionEvent& event) {
        if (std::holds_alternative<sessionevent::Accepted>(event)) {
            countSeenOnAccept = h.detector.typedCharacterCount();
        }
    };
    h.open("abc");
    h.key(Key::tab);
    EXPECT_EQ(countSeenOnAccept, 3u);
    h.detector.reset();
    EXPECT_EQ(h.detector.typedCharacterCount(), 3u);
    h.type(";;");
    EXPECT_EQ(h.detector.typedCharacterCount(), 0u);
}

TEST(TriggerDetectorTest, CallbacksMayCallBackIntoTheDetector) {
    DetectorHarness h;
    std::vector<std::optional<std::string>> seen;
    h.onEvent = [&](const SessionEvent& event) {
        if (std::holds_alternative<sessionevent::TriggerActivated>(event)) {
            seen.push_back(h.detector.currentQuery());
        } else if (const auto* update = std::get_if<sessionevent::QueryUpdated>(&event)) {
            seen.push_back(update->query);
            if (update->query == "x") {
                h.detector.reset();
            }
        } else if (std::holds_alternative<sessionevent::Accepted>(event)) {
            h.detector.resetArmed();
            h.detector.pause();
            seen.push_back(std::string(toString(h.detector.state())));
        }
    };
    h.type(";;");
    h.type("x");
    EXPECT_EQ(h.detector.state(), State::idle);
    h.type(";;");
    h.key(Key::returnKey);
    using Seen = std::vector<std::optional<std::string>>;
    EXPECT_EQ(seen, Seen({"", "", "x", "", "", "idle"}));
    EXPECT_EQ(h.detector.triggerProgress(), 2u);
}

// The shell turns horizontal navigation on and off from the main thread while the tap thread hands
// in keys: each arrow must be judged on one consistent reading of the switch.
TEST(TriggerDetectorTest, HorizontalNavigationMayBeSwitchedWhileKeysArrive) {
    DetectorHarness h;
    int navigations = 0;
    int dismissals = 0;
    h.onEvent = [&](const SessionEvent& event) {
        navigations += std::holds_alternative<sessionevent::HorizontalNavigate>(event) ? 1 : 0;
        dismissals += std::holds_alternative<sessionevent::Dismissed>(event) ? 1 : 0;
    };
    std::atomic<std::size_t> largestWithheldSet{0};
    h.detector.setOnWithheldKeysChanged(
        [&] { largestWithheldSet = std::max(largestWithheldSet.load(), h.detector.withheldKeys().size()); });
    h.open("a");
    h.detector.setSuppressHorizontalKeys(true);

    std::atomic<bool> done{false};
    std::thread switcher([&] {
        for (bool on = false; !done; on = !on) {
            h.detector.setHorizontalNavigation(on);
            std::this_thread::yield();
        }
    });
    constexpr int arrows = 2000;
    int mismatches = 0;
    for (int i = 0; i < arrows; ++i) {
        const int navigationsBefore = navigations;
        const bool swallowed = h.key(i % 2 == 0 ? Key::leftArrow : Key::rightArrow);
        // A withheld arrow navigated; one that passed ended the session.
        mismatches += swallowed != (navigations > navigationsBefore) ? 1 : 0;
        if (h.detector.state() == State::idle) {
            h.type(";;a");
            h.detector.setSuppressHorizontalKeys(true);
        }
    }
    done = true;
    switcher.join();
    EXPECT_EQ(mismatches, 0);
    EXPECT_EQ(navigations + dismissals, arrows);
    EXPECT_LE(largestWithheldSet.load(), 12u);
}

TEST(TriggerDetectorTest, LogsOnlyKeysSlowerThanTwoMilliseconds) {
    test::LogCapture log;
    DetectorHarness h;
    h.open("a");
    double delay = 0.0019;
    h.onEvent = [&](const SessionEvent& event) {
        if (std::holds_alternative<sessionevent::Accepted>(event)) {
            h.clock.advance(delay);
        }
    };
    h.key(Key::returnKey);
    EXPECT_TRUE(log.performanceLines().empty());

    h.open("a");
    delay = 0.0021;
    h.key(Key::returnKey);
    const auto lines = log.performanceLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].category, "TriggerDetector.Performance");
    EXPECT_EQ(lines[0].message,
              "[PROCESS_KEY] keyCode=36 state=collecting suppress=true callbacks=1 elapsed=2.10ms");
}

} // namespace
} // namespace korvane
