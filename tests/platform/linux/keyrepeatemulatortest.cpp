#include "platform/linux/keyrepeatemulator.h"

#include <gtest/gtest.h>

namespace korvane::x11 {
namespace {

using std::chrono::milliseconds;

class KeyRepeatEmulatorTest : public testing::Test {
protected:
    KeyRepeatEmulatorTest() { emulator.configure(true, 600, 40); }

    KeyRepeatEmulator emulator;
    KeyRepeatEmulator::TimePoint t0{};
    static constexpr std::uint8_t a = 38;
    static constexpr std::uint8_t b = 56;
};

TEST_F(KeyRepeatEmulatorTest, ReleaseSettlesTheServersCount) {
    struct Case {
        std::uint32_t heldMs;
        int repeats;
    };
    for (Case c : {Case{599, 0}, Case{600, 1}, Case{639, 1}, Case{640, 2}, Case{1000, 11}}) {
        emulator.press(a, true, 5000, t0);
        auto owed = emulator.release(a, 5000 + c.heldMs);
        EXPECT_EQ(owed.keycode, a);
        EXPECT_EQ(owed.count, c.repeats) << "held " << c.heldMs << " ms";
    }
}

TEST_F(KeyRepeatEmulatorTest, RepeatsAreReportedAfterTheServersAndNeverTwice) {
    emulator.press(a, true, 100, t0);
    EXPECT_EQ(emulator.due(t0 + milliseconds(600)).count, 0);
    ASSERT_TRUE(emulator.nextDeadline());
    EXPECT_GT(*emulator.nextDeadline(), t0 + milliseconds(600));
    // By 700 ms the server made its repeats at 600, 640 and 680 ms.
    EXPECT_EQ(emulator.due(t0 + milliseconds(700)).count, 3);
    EXPECT_EQ(emulator.due(t0 + milliseconds(700)).count, 0);
    // Released at 730 ms of server time: the server made 4, one is still owed.
    EXPECT_EQ(emulator.release(a, 830).count, 1);
    EXPECT_FALSE(emulator.nextDeadline());
}

TEST_F(KeyRepeatEmulatorTest, AnotherRepeatingKeyTakesOverAndOthersDoNot) {
    emulator.press(a, true, 0, t0);
    EXPECT_EQ(emulator.press(56, false, 700, t0).count, 0);
    auto owed = emulator.press(b, true, 700, t0 + milliseconds(700));
    EXPECT_EQ(owed.keycode, a);
    EXPECT_EQ(owed.count, 3);
    EXPECT_EQ(emulator.release(a, 900).count, 0);
    EXPECT_EQ(emulator.release(b, 1320).count, 1);
}

TEST_F(KeyRepeatEmulatorTest, CancelledDisabledAndWrappedTimes) {
    emulator.press(a, true, 0, t0);
    emulator.cancel(a);
    EXPECT_EQ(emulator.release(a, 2000).count, 0);

    emulator.press(a, true, 0xFFFFFF00u, t0);
    EXPECT_EQ(emulator.release(a, 0xFFFFFF00u + 640).count, 2);

    emulator.configure(false, 600, 40);
    emulator.press(a, true, 0, t0);
    EXPECT_EQ(emulator.release(a, 2000).count, 0);
}

} // namespace
} // namespace korvane::x11
