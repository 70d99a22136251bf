#include "detectorharness.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace korvane {
namespace {

using test::DetectorHarness;
namespace Key = keycode;
namespace Flag = keyflag;
using State = TriggerDetector::State;
using Events = std::vector<std::string>;

constexpr std::uint16_t kLetter = DetectorHarness::letterKey;

WithheldKeySet sessionKeys(bool space, bool horizontal) {
    WithheldKeySet keys{{Key::returnKey}, {Key::tab}, {Key::escape}, {Key::upArrow}, {Key::downArrow}};
    if (space) {
        keys.push_back({Key::space});
    }
    if (horizontal) {
        keys.push_back({Key::leftArrow});
        keys.push_back({Key::rightArrow});
    }
    for (const char* letter : {"c", "o", "s", "r"}) {
        keys.push_back({0, letter, Flag::command});
    }
    return keys;
}

TEST(WithheldKeysTest, FollowTheDetectorState) {
    DetectorHarness h;
    EXPECT_TRUE(h.detector.withheldKeys().empty());

    h.open();
    EXPECT_EQ(h.detector.withheldKeys(), sessionKeys(false, false));
    h.type("a");
    EXPECT_EQ(h.detector.withheldKeys(), sessionKeys(true, false));
    h.detector.setSuppressHorizontalKeys(true);
    EXPECT_EQ(h.detector.withheldKeys(), sessionKeys(true, true));
    h.detector.setHorizontalNavigation(false);
    EXPECT_EQ(h.detector.withheldKeys(), sessionKeys(true, false));

    h.detector.pause();
    EXPECT_TRUE(h.detector.withheldKeys().empty());
    h.type("b");
    EXPECT_EQ(h.detector.withheldKeys(), sessionKeys(true, false));
    h.key(Key::escape);
    h.detector.reset();
    EXPECT_TRUE(h.detector.withheldKeys().empty());
}

TEST(WithheldKeysTest, ChangesAreAnnouncedOnceAndMayBeReadFromTheNotification) {
    DetectorHarness h;
    std::vector<std::size_t> announced;
    h.detector.setOnWithheldKeysChanged([&] { announced.push_back(h.detector.withheldKeys().size()); });

    h.type(";;");                               // activation: 9 keys
    h.type("a");                                // Space joins: 10
    h.type("b");                                // no change
    h.detector.setSuppressHorizontalKeys(true); // Left and Right join: 12
    h.detector.setSuppressHorizontalKeys(true); // no change
    h.key(Key::backspace);                      // no change
    h.key(Key::backspace);                      // query empty again, Space leaves: 11
    h.detector.pause();                         // nothing withheld: 0
    h.detector.reset();                         // no change
    h.detector.resetArmed();                    // no change
    EXPECT_EQ(announced, (std::vector<std::size_t>{9, 10, 12, 11, 0}));
}

struct DeliveredCase {
    const char* name;
    std::string query;
    bool suppressHorizontal;
    std::uint16_t keyCode;
    std::optional<std::string> characters;
    std::uint64_t flags;
    Events events;
    State state;
};

TEST(WithheldKeysTest, ADeliveredKeyThatWouldHaveBeenWithheldDismisses) {
    // clang-format off
    const std::vector<DeliveredCase> cases = {
        {"return is not an accept", "ab", false, Key::returnKey, std::nullopt, 0, {"dismissed"}, State::idle},
        {"down is not a navigation", "ab", false, Key::downArrow, std::nullopt, 0, {"dismissed"}, State::idle},
        {"escape", "ab", false, Key::escape, std::nullopt, 0, {"dismissed"}, State::idle},
        {"space after a query", "ab", false, Key::space, " ", 0, {"dismissed"}, State::idle},
        {"command-c", "ab", false, kLetter, "c", Flag::command, {"dismissed"}, State::idle},
        {"a suppressed right arrow", "ab", true, Key::rightArrow, std::nullopt, 0, {"dismissed"}, State::idle},
        {"a passing left arrow navigates", "ab", false, Key::leftArrow, std::nullopt, 0, {"left"},
         State::collecting},
        {"a printable key extends the query", "ab", false, kLetter, "c", 0, {"query:abc"}, State::collecting},
        {"backspace shortens the query", "ab", false, Key::backspace, std::nullopt, 0, {"query:a"},
         State::collecting},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DetectorHarness h;
        h.open(c.query);
        h.detector.setSuppressHorizontalKeys(c.suppressHorizontal);
        EXPECT_FALSE(h.detector.processDeliveredKey(c.keyCode, c.characters, c.flags));
        EXPECT_EQ(h.events, c.events);
        EXPECT_EQ(h.detector.state(), c.state);
    }
}

TEST(WithheldKeysTest, DeliveredKeysWhileIdleStillMatchTheTrigger) {
    DetectorHarness h;
    EXPECT_FALSE(h.detector.processDeliveredKey(kLetter, ";", 0));
    EXPECT_FALSE(h.detector.processDeliveredKey(kLetter, ";", 0));
    EXPECT_EQ(h.events, Events({"activated", "query:"}));
}

} // namespace
} // namespace korvane
