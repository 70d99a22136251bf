#include "input/eventtap.h"

#include "platform/fake/manualscheduler.h"
#include "platform/fake/fakeaccessibilitytrust.h"
#include "platform/fake/fakekeytapbackend.h"
#include "platform/keycodes.h"
#include "support/fakekeywithholding.h"
#include "support/logcapture.h"

#include <atomic>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <mutex>
#include <vector>

namespace korvane {
namespace {

using testing::ElementsAre;
using testing::IsEmpty;

using test::SeenKey;

class EventTapTest : public testing::Test {
protected:
    EventTapTest() { scheduler.attachClock(&clock); }

    std::shared_ptr<FakeKeyTap> startTap(EventTap::Handler handler = nullptr) {
        if (!handler) {
            handler = [this](std::uint16_t keyCode, const std::optional<std::string>& characters,
                             std::uint64_t flags) {
                std::lock_guard lock(seenMutex);
                seen.push_back({keyCode, characters, flags});
                return keyCode == keycode::tab;
            };
        }
        EXPECT_TRUE(tap->start(std::move(handler)));
        auto fake = backend->lastTap();
        EXPECT_TRUE(fake && fake->isRunning());
        return fake;
    }

    std::vector<SeenKey> seenKeys() {
        std::lock_guard lock(seenMutex);
        return seen;
    }

    static TapEvent key(std::uint16_t keyCode, std::optional<std::string> characters = std::nullopt,
                        std::uint64_t flags = 0) {
        TapEvent event;
        event.keyCode = keyCode;
        event.characters = std::move(characters);
        event.flags = flags;
        return event;
    }

    static TapEvent ofType(TapEvent::Type type) {
        TapEvent event;
        event.type = type;
        return event;
    }

    test::LogCapture log;
    FakeClock clock;
    ManualScheduler scheduler;
    std::shared_ptr<FakeKeyTapBackend> backend = std::make_shared<FakeKeyTapBackend>();
    std::shared_ptr<FakeAccessibilityTrust> trust = std::make_shared<FakeAccessibilityTrust>();
    std::shared_ptr<EventTap> tap = std::make_shared<EventTap>(backend, trust, scheduler, clock);
    std::mutex seenMutex;
    std::vector<SeenKey> seen;
};

TEST_F(EventTapTest, StopOnANeverStartedTapOnlyPrintsTheStopLine) {
    tap->stop();
    EXPECT_THAT(log.lines(), ElementsAre("[Korvane] Event tap stopped"));
    EXPECT_EQ(backend->createdCount(), 0);
    EXPECT_EQ(scheduler.pendingTaskCount(), 0u);
}

TEST_F(EventTapTest, RefusedTapReportsFailureAndStartsNothing) {
    backend->refuseCreation = true;
    EXPECT_FALSE(tap->start([](auto, const auto&, auto) { return false; }));
    EXPECT_THAT(log.lines(),
                ElementsAre("[Korvane] Failed to create event tap. Is Accessibility permission granted?"));
    EXPECT_EQ(scheduler.pendingTaskCount(), 0u);
}

TEST_F(EventTapTest, KeyDownsReachTheHandlerAndItsAnswerDecidesTheDrop) {
    auto fake = startTap();
    EXPECT_THAT(log.lines(), ElementsAre("[Korvane] Event tap started on dedicated thread"));

    EXPECT_EQ(fake->deliver(key(0, "a", keyflag::shift)), false);
    EXPECT_EQ(fake->deliver(key(keycode::tab)), true);

    TapEvent marked = key(keycode::tab);
    marked.marked = true;
    EXPECT_EQ(fake->deliver(marked), false);
    EXPECT_EQ(fake->deliver(ofType(TapEvent::Type::flagsChanged)), false);

    // A key that already reached the application is reported but can no longer be dropped.
    TapEvent delivered = key(keycode::tab);
    delivered.withholdable = false;
    EXPECT_EQ(fake->deliver(delivered), false);

    EXPECT_THAT(seenKeys(),
                ElementsAre(SeenKey{0, "a", keyflag::shift}, SeenKey{keycode::tab, std::nullopt, 0},
                            SeenKey{keycode::tab, std::nullopt, 0}));
}

TEST_F(EventTapTest, MouseDownCallsBackAndPasses) {
    std::atomic<int> downs{0};
    tap->onMouseDown = [&] { ++downs; };
    auto fake = startTap();
    EXPECT_EQ(fake->deliver(ofType(TapEvent::Type::mouseDown)), false);
    EXPECT_EQ(downs.load(), 1);
    EXPECT_THAT(seenKeys(), IsEmpty());
}

TEST_F(EventTapTest, SlowHandlerCallsWriteOneLatencyLine) {
    struct Case {
        double handlerSeconds;
        std::size_t lines;
    };
    for (Case c : {Case{0.004, 0}, Case{0.006, 1}}) {
        SCOPED_TRACE(c.handlerSeconds);
        log.clear();
        auto fake = startTap([&](std::uint16_t keyCode, const auto&, auto) {
            clock.advance(c.handlerSeconds);
            return keyCode == keycode::escape;
        });
        fake->deliver(key(keycode::escape));
        auto lines = log.performanceLines();
        ASSERT_EQ(lines.size(), c.lines);
        if (c.lines == 1) {
            EXPECT_EQ(lines[0].category, "EventTap.Performance");
            EXPECT_EQ(lines[0].message, "[KEY_LATENCY] keyCode=53 suppress=true elapsed=6.00ms");
        }
        tap->stop();
    }
}

// A popup key that reached the application anyway still goes through the detector in the key path.
TEST_F(EventTapTest, SlowDeliveredPopupKeysAreLoggedToo) {
    auto withholding = std::make_shared<test::FakeKeyWithholding>();
    withholding->onDelivered = [&] { clock.advance(0.006); };
    tap->setKeyWithholding(withholding);
    auto fake = startTap();
    withholding->set({{keycode::tab, "", 0}});
    TapEvent lateTab = key(keycode::tab);
    lateTab.withholdable = false;
    EXPECT_EQ(fake->deliver(lateTab), false);
    auto lines = log.performanceLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].message, "[KEY_LATENCY] keyCode=48 suppress=false elapsed=6.00ms");
}

TEST_F(EventTapTest, DisabledTapIsReenabledWhileTrusted) {
    std::atomic<int> reenabled{0};
    tap->onTapReenabled = [&] { ++reenabled; };
    auto fake = startTap();
    fake->disableBySystem();
    fake->setEnabled(true);

    fake->deliver(ofType(TapEvent::Type::tapDisabledByTimeout));
    EXPECT_EQ(reenabled.load(), 1);
    EXPECT_TRUE(fake->isEnabled());

    // The health check notices a tap that stayed off.
    log.clear();
    fake->disableBySystem();
    scheduler.advance(EventTap::healthCheckInterval);
    EXPECT_TRUE(fake->isEnabled());
    EXPECT_EQ(reenabled.load(), 2);
    EXPECT_THAT(log.lines(), ElementsAre("[Korvane] Event tap re-enabled after timeout"));
}

TEST_F(EventTapTest, ALostDisplayIsReportedOnceAndOnlyItsReturnReenables) {
    std::atomic<int> reenabled{0};
    std::atomic<int> revoked{0};
    tap->onTapReenabled = [&] { ++reenabled; };
    tap->onPermissionRevoked = [&] { ++revoked; };
    auto fake = startTap();
    log.clear();

    fake->setConnected(false);
    fake->deliver(ofType(TapEvent::Type::connectionLost));
    // Without the display the trust check fails as well; the tap is left to reconnect.
    trust->trusted = false;
    scheduler.advance(3 * EventTap::healthCheckInterval);
    EXPECT_EQ(reenabled.load(), 0);
    EXPECT_EQ(revoked.load(), 0);

    trust->trusted = true;
    fake->setConnected(true);
    fake->deliver(ofType(TapEvent::Type::connectionRestored));
    scheduler.advance(EventTap::healthCheckInterval);
    EXPECT_EQ(reenabled.load(), 1);
    EXPECT_THAT(log.lines(),
                ElementsAre("[Korvane] Event tap lost its connection to the display; reconnecting",
                            "[Korvane] Event tap reconnected to the display"));
}

TEST_F(EventTapTest, RevocationStopsTheTapOnceAndLaterTicksDoNothing) {
    std::atomic<int> revoked{0};
    tap->onPermissionRevoked = [&] { ++revoked; };
    auto fake = startTap();
    log.clear();

    trust->trusted = false;
    scheduler.advance(EventTap::healthCheckInterval);
    EXPECT_EQ(revoked.load(), 1);
    EXPECT_TRUE(fake->wasStopped());
    EXPECT_THAT(
        log.lines(),
        ElementsAre(
            "[Korvane] Accessibility permission revoked while event tap is active. Stopping event tap.",
            "[Korvane] Event tap stopped"));

    scheduler.advance(3 * EventTap::healthCheckInterval);
    EXPECT_EQ(revoked.load(), 1);
    EXPECT_EQ(scheduler.pendingTaskCount(), 0u);

    // A new start arms the revocation again.
    trust->trusted = true;
    auto second = startTap();
    trust->trusted = false;
    second->deliver(ofType(TapEvent::Type::tapDisabledByUserInput));
    EXPECT_EQ(revoked.load(), 2);
}

TEST_F(EventTapTest, StopFromInsideTheHandlerDoesNotDeadlock) {
    auto fake = startTap([&](auto, const auto&, auto) {
        tap->stop();
        return false;
    });
    EXPECT_EQ(fake->deliver(key(0, "a")), false);
    EXPECT_TRUE(fake->wasStopped());
    EXPECT_EQ(fake->deliver(key(0, "b")), std::nullopt);
}

TEST_F(EventTapTest, RapidStartAndStopLeavesNoTapRunning) {
    for (int i = 0; i < 20; ++i) {
        ASSERT_TRUE(tap->start([](auto, const auto&, auto) { return false; }));
        tap->stop();
        EXPECT_FALSE(backend->lastTap()->isRunning());
    }
}

TEST_F(EventTapTest, ReleasingTheLastReferenceStopsTheTapAndSaysItOnce) {
    auto fake = startTap();
    tap.reset();
    EXPECT_TRUE(fake->wasStopped());
    EXPECT_FALSE(fake->isRunning());

    // Quitting stops the tap, then lets it go: one stop line, not two.
    tap = std::make_shared<EventTap>(backend, trust, scheduler, clock);
    startTap();
    log.clear();
    tap->stop();
    tap.reset();
    EXPECT_THAT(log.lines(), ElementsAre("[Korvane] Event tap stopped"));
}

TEST_F(EventTapTest, ClaimsFollowTheWithheldKeysAndDeliveredKeysGoToTheDetector) {
    auto withholding = std::make_shared<test::FakeKeyWithholding>();
    tap->setKeyWithholding(withholding);
    auto fake = startTap();
    EXPECT_THAT(fake->claimedKeys(), IsEmpty());

    withholding->set({{keycode::tab, "", 0}, {0, "c", keyflag::command}});
    EXPECT_THAT(fake->claimedKeys(),
                ElementsAre(KeyClaim{keycode::tab, "", 0}, KeyClaim{0, "c", keyflag::command}));

    TapEvent lateTab = key(keycode::tab);
    lateTab.withholdable = false;
    TapEvent lateCopy = key(8, "C", keyflag::command | keyflag::shift);
    lateCopy.withholdable = false;
    TapEvent plainC = key(8, "c");
    plainC.withholdable = false;
    fake->deliver(lateTab);
    fake->deliver(lateCopy);
    fake->deliver(plainC);

    EXPECT_THAT(withholding->delivered, ElementsAre(SeenKey{keycode::tab, std::nullopt, 0},
                                                    SeenKey{8, "C", keyflag::command | keyflag::shift}));
    EXPECT_THAT(seenKeys(), ElementsAre(SeenKey{8, "c", 0}));

    withholding->set({});
    EXPECT_THAT(fake->claimedKeys(), IsEmpty());
}

} // namespace
} // namespace korvane
