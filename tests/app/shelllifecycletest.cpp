// The shell's lifecycle inside the whole shell: memory pressure, permission loss and the onboarding.
#include "platform/linux/fakestatusowner.h"
#include "platform/linux/linuxaccessibilitytrust.h"
#include "platform/linux/privatebus.h"
#include "platform/qt/qtscheduler.h"
#include "shellfixture.h"
#include "support/scopedenv.h"

#include <QCoreApplication>
#include <QLabel>
#include <QPushButton>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

namespace korvane {
namespace {

using testing::Contains;
using ShellLifecycleTest = test::ShellFixture;

TEST_F(ShellLifecycleTest, MemoryPressureEvictsCachesAndSearchGoesOn) {
    const std::pair<MemoryPressureEvent, const char*> cases[] = {
        {{true, true}, "critical"}, {{true, false}, "warning"}, {{false, false}, "unknown"}};
    for (const auto& [event, level] : cases) {
        memoryPressure->fire(event);
        EXPECT_THAT(lines.lines(), Contains(std::string("[Korvane] Memory pressure detected (") + level +
                                            "), evicting optional caches"));
    }
    EXPECT_TRUE(coordinator->popupController().viewModel().labelCache().empty());
    type(";;sig");
    press(keycode::returnKey);
    EXPECT_EQ(field->text(), "Best,\nAda");
}

TEST_F(ShellLifecycleTest, RevokedPermissionClosesThePopupAndAsksForSetup) {
    type(";;s");
    ASSERT_TRUE(popup->isVisible());
    trust->trusted = false;
    coordinator->shell().handlePermissionRevoked();
    EXPECT_FALSE(popup->isVisible());
    EXPECT_FALSE(coordinator->shell().isSessionStarted());
    EXPECT_EQ(coordinator->triggerDetector().state(), TriggerDetector::State::idle);
    EXPECT_TRUE(coordinator->shell().isOnboardingActive());
    QMenu* menu = coordinator->statusBar()->menu();
    const auto titles = [&] {
        std::vector<std::string> all;
        for (QAction* action : menu->actions()) {
            all.push_back(action->text().toStdString());
        }
        return all;
    }();
    EXPECT_THAT(titles, Contains("Finish Setup"));
    coordinator->shell().finishOnboarding(true);
    EXPECT_FALSE(coordinator->shell().isOnboardingActive());
}

// Onboarding, the shell's side: what ends it, what records it, and the permission's return.

QWidget* shownOnboardingWindow() {
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window->objectName() == "onboardingWindow" && window->isVisible()) {
            return window;
        }
    }
    return nullptr;
}

QPushButton* shownButton(QWidget* window, const char* name) {
    for (QPushButton* pressable : window->findChildren<QPushButton*>(name)) {
        if (pressable->isVisible()) {
            return pressable;
        }
    }
    return nullptr;
}

bool showsText(QWidget* window, const char* text) {
    for (QLabel* label : window->findChildren<QLabel*>()) {
        if (label->isVisible() && label->text() == text) {
            return true;
        }
    }
    return false;
}

TEST_F(ShellLifecycleTest, OnlyGetStartedRecordsTheOnboardingAndTheCloseButtonStoresNothing) {
    defaults->setBool(ShellLifecycle::hasCompletedOnboardingKey, false);
    coordinator->shell().showOnboarding(false);
    QWidget* window = shownOnboardingWindow();
    ASSERT_NE(window, nullptr);
    shownButton(window, "close")->click();
    settle();
    EXPECT_FALSE(coordinator->shell().isOnboardingActive());
    EXPECT_EQ(shownOnboardingWindow(), nullptr);
    EXPECT_FALSE(defaults->boolForKey(ShellLifecycle::hasCompletedOnboardingKey));

    coordinator->shell().showOnboarding(false);
    window = shownOnboardingWindow();
    ASSERT_NE(window, nullptr);
    window->close();
    settle();
    EXPECT_FALSE(coordinator->shell().isOnboardingActive());
    EXPECT_FALSE(defaults->boolForKey(ShellLifecycle::hasCompletedOnboardingKey));

    coordinator->shell().showOnboarding(false);
    window = shownOnboardingWindow();
    shownButton(window, "setUpLater")->click();
    shownButton(window, "getStarted")->click();
    settle();
    EXPECT_FALSE(coordinator->shell().isOnboardingActive());
    EXPECT_TRUE(defaults->boolForKey(ShellLifecycle::hasCompletedOnboardingKey));
}

// A flow left open while the permission goes reopens at its last step asking for it, not offering
// "Get Started"; granting it then starts completion again without a restart.
TEST_F(ShellLifecycleTest, AfterRevocationTheOpenFlowAsksAgainAndTheGrantRestartsTheSession) {
    coordinator->shell().showOnboarding(false);
    QWidget* window = shownOnboardingWindow();
    ASSERT_NE(window, nullptr);
    trust->trusted = false;
    coordinator->shell().handlePermissionRevoked();
    settle();
    EXPECT_TRUE(showsText(window, "Almost ready"));
    EXPECT_EQ(shownButton(window, "getStarted"), nullptr);
    ASSERT_NE(shownButton(window, "closeForNow"), nullptr);

    lines.clear();
    trust->grantAfterRequests = trust->requests + 1;
    shownButton(window, "grantPermission")->click();
    EXPECT_FALSE(coordinator->shell().isSessionStarted()) << "the grant is seen at the next poll";
    scheduler.advance(1.0);
    settle();
    EXPECT_TRUE(coordinator->shell().isSessionStarted());
    EXPECT_THAT(lines.lines(), Contains("[Korvane] Ready. Type ;; to activate."));
    EXPECT_TRUE(showsText(window, "You're all set"));
    EXPECT_NE(shownButton(window, "getStarted"), nullptr);
    EXPECT_TRUE(coordinator->shell().isOnboardingActive()) << "granting leaves the flow open";
    type(";;s");
    EXPECT_TRUE(popup->isVisible());
}

TEST_F(ShellLifecycleTest, APermissionThatCameBackWhileNoFlowWasOpenStartsTheSessionWhenTheFlowCloses) {
    trust->trusted = false;
    coordinator->shell().handlePermissionRevoked();
    settle();
    QWidget* window = shownOnboardingWindow();
    ASSERT_NE(window, nullptr);
    ASSERT_NE(shownButton(window, "closeForNow"), nullptr);
    shownButton(window, "closeForNow")->click();
    settle();
    EXPECT_FALSE(coordinator->shell().isSessionStarted());

    // Granted from outside; the flow opened afterwards sees it already granted and reports no change.
    trust->trusted = true;
    coordinator->shell().showOnboarding(false);
    window = shownOnboardingWindow();
    ASSERT_NE(window, nullptr);
    lines.clear();
    coordinator->shell().finishOnboarding(true);
    settle();
    EXPECT_TRUE(coordinator->shell().isSessionStarted());
    EXPECT_THAT(lines.lines(), Contains("[Korvane] Ready. Type ;; to activate."));
    type(";;s");
    EXPECT_TRUE(popup->isVisible());
}

std::vector<std::string> menuTitles(const StatusBarController& statusBar) {
    std::vector<std::string> titles;
    for (QAction* action : statusBar.menu()->actions()) {
        titles.push_back(action->text().toStdString());
    }
    return titles;
}

// The start decides once the trust port has answered, and never before: with the answer, session and
// onboarding as the permission and the finished onboarding ask; without one for longer than the
// port's questions may take, the onboarding shows, and a grant that comes later starts the session
// and takes away an onboarding the user had already finished.
TEST_F(ShellLifecycleTest, TheStartDecidesOnTheTrustPortsFirstAnswer) {
    struct Case {
        bool trusted;
        bool completed;
        bool answersLate;
        bool session;
        bool onboarding;
    };
    const Case cases[] = {
        {true, true, false, true, false},  {true, false, false, true, true},
        {false, true, false, false, true}, {false, false, false, false, true},
        {true, true, true, true, false},   {true, false, true, true, true},
        {false, true, true, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "trusted " << c.trusted << ", completed " << c.completed
                                        << ", answers late " << c.answersLate);
        coordinator.reset();
        settle();
        lines.clear();
        trust->trusted = c.trusted;
        trust->answerHeld = true;
        completedOnboarding = c.completed;
        makeCoordinator();
        EXPECT_FALSE(coordinator->shell().isSessionStarted());
        EXPECT_FALSE(coordinator->shell().isOnboardingActive());
        EXPECT_TRUE(coordinator->shell().isProjectDetectionStarted());
        if (c.answersLate) {
            scheduler.advance(ShellLifecycle::firstTrustAnswerWait);
            EXPECT_FALSE(coordinator->shell().isSessionStarted());
            EXPECT_TRUE(coordinator->shell().isOnboardingActive())
                << "no answer: the way to the permission shows";
        }
        trust->answerNow();
        settle();
        EXPECT_EQ(coordinator->shell().isSessionStarted(), c.session);
        EXPECT_EQ(coordinator->shell().isOnboardingActive(), c.onboarding);
        EXPECT_EQ(testing::Matches(Contains("[Korvane] Ready. Type ;; to activate."))(lines.lines()),
                  c.session);
        EXPECT_EQ(testing::Matches(Contains("Finish Setup"))(menuTitles(*coordinator->statusBar())),
                  !c.trusted);
    }
}

// The shell with the real trust port asking the accessibility bus of a private session bus, whose
// org.a11y.Bus owner the test switches; the port tells the shell through the Qt main loop.
class ShellOverTheAccessibilityBusTest : public test::ShellFixture {
protected:
    void SetUp() override {
        test::ensureShellApplication();
        dbus_threads_init_default();
        ASSERT_FALSE(bus.address().empty());
        busVariable.emplace("DBUS_SESSION_BUS_ADDRESS", bus.address().c_str());
        owner.emplace(bus.address());
        ASSERT_TRUE(owner->owns());
        owner->answer(true);
        mainLoop.emplace();
        trustPort = std::make_shared<LinuxAccessibilityTrust>(*mainLoop, [] {
            return LinuxAccessibilityTrust::accessibilityBusEnabled(
                [](std::int32_t pid) { return pid == ::getpid(); });
        });
        ShellFixture::SetUp();
    }

    // The port goes, finishing its question, before the loop it tells and the bus it asks.
    void TearDown() override {
        ShellFixture::TearDown();
        trustPort.reset();
    }

    // Runs the port's reports and the shell's work until `done` holds.
    template <typename Predicate> bool settleUntil(Predicate done) {
        return test::pollUntil([&] {
            QCoreApplication::processEvents();
            settle();
            return done();
        });
    }

    // Runs the port's reports and what is due now, virtual time standing still.
    template <typename Predicate> bool settleNowUntil(Predicate done, double seconds = 5.0) {
        return test::pollUntil(
            [&] {
                QCoreApplication::processEvents();
                scheduler.runUntilIdle();
                return done();
            },
            seconds);
    }

    // The questions the port has put to the bus owner once none has come for a tenth of a second.
    int questionsWhenQuiet() {
        int seen = -1;
        while (seen != owner->calls()) {
            seen = owner->calls();
            settleNowUntil([] { return false; }, 0.1);
        }
        return seen;
    }

    // The permission goes while the session runs: the tap's health check hears it, and the
    // onboarding opens by itself at the step that asks for it.
    void revokeUntilTheOnboardingAsks() {
        ASSERT_TRUE(settleUntil([&] { return coordinator->shell().isSessionStarted(); }));
        owner->answer(false);
        ASSERT_TRUE(settleUntil([&] {
            scheduler.advance(EventTap::healthCheckInterval);
            return coordinator->shell().isOnboardingActive();
        }));
        ASSERT_FALSE(coordinator->shell().isSessionStarted());
    }

    test::PrivateBus bus;
    std::optional<test::ScopedEnv> busVariable;
    std::optional<test::FakeStatusOwner> owner;
    std::optional<QtScheduler> mainLoop;
};

// The permission goes while Korvane runs, the settings window open, and comes back, and the
// onboarding it opened is closed within the same second: the last answer the port had was the old
// one, and the new one still starts the session. The tray item follows; a trigger opens the popup.
TEST_F(ShellOverTheAccessibilityBusTest, APermissionBackAsTheOnboardingClosesStartsTheSession) {
    ASSERT_TRUE(settleUntil([&] { return coordinator->shell().isSessionStarted(); }))
        << "the first answer starts the session";
    EXPECT_FALSE(coordinator->shell().isOnboardingActive());
    coordinator->shell().showConfigurationWindow();

    owner->answer(false);
    // The tap's health check asks; the answer stops the session and opens the onboarding.
    ASSERT_TRUE(settleUntil([&] {
        scheduler.advance(EventTap::healthCheckInterval);
        return coordinator->shell().isOnboardingActive();
    }));
    EXPECT_FALSE(coordinator->shell().isSessionStarted());
    EXPECT_THAT(menuTitles(*coordinator->statusBar()), Contains("Finish Setup"));
    EXPECT_THAT(lines.lines(), Contains("[Korvane] Accessibility permission revoked while event tap is "
                                        "active. Stopping event tap."));
    QWidget* window = shownOnboardingWindow();
    ASSERT_NE(window, nullptr);
    ASSERT_NE(shownButton(window, "closeForNow"), nullptr);

    // From here each question waits for the owner's next answer: the port's last answer when the
    // onboarding closes is that the permission is off, and the one that it is back comes after.
    owner->hold();
    lines.clear();
    shownButton(window, "closeForNow")->click();
    owner->answer(true);
    EXPECT_TRUE(settleUntil([&] { return coordinator->shell().isSessionStarted(); }))
        << "the permission's return went unheard";
    EXPECT_FALSE(coordinator->shell().isOnboardingActive());
    EXPECT_THAT(lines.lines(), Contains("[Korvane] Ready. Type ;; to activate."));
    EXPECT_THAT(menuTitles(*coordinator->statusBar()), Contains("Onboarding"));
    type(";;s");
    EXPECT_TRUE(popup->isVisible());
}

// The onboarding waits at its permission step, the switch is turned on by another program and not by
// "Grant Permission": the shell's next question starts the session, with no tray menu opened and no
// window closed. The card keeps asking until its own button is pressed.
TEST_F(ShellOverTheAccessibilityBusTest, APermissionGivenElsewhereWhileTheOnboardingAsksStartsTheSession) {
    revokeUntilTheOnboardingAsks();
    QWidget* window = shownOnboardingWindow();
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(showsText(window, "Almost ready"));
    questionsWhenQuiet();

    lines.clear();
    owner->answer(true);
    scheduler.advance(ShellLifecycle::onboardingTrustCheckInterval);
    EXPECT_TRUE(settleNowUntil([&] { return coordinator->shell().isSessionStarted(); }))
        << "the switch turned on elsewhere went unheard";
    EXPECT_THAT(lines.lines(), Contains("[Korvane] Ready. Type ;; to activate."));
    EXPECT_THAT(menuTitles(*coordinator->statusBar()), Contains("Onboarding"));
    EXPECT_TRUE(coordinator->shell().isOnboardingActive());
    EXPECT_TRUE(showsText(window, "Almost ready"));
    type(";;s");
    EXPECT_TRUE(popup->isVisible());
}

// The shell asks only while a step offers "Grant Permission", the flow opened by itself or from the
// tray, and stops when the step is left or the window closes. The switch stays off throughout.
TEST_F(ShellOverTheAccessibilityBusTest, TheShellAsksOnlyWhileTheOnboardingOffersTheGrant) {
    revokeUntilTheOnboardingAsks();
    QWidget* window = shownOnboardingWindow();
    ASSERT_NE(window, nullptr);
    // Whether the port puts questions to the bus over a few of the shell's intervals after `button`.
    const auto asksAfter = [&](const char* button) {
        if (button) {
            shownButton(window, button)->click();
        }
        const int before = questionsWhenQuiet();
        for (int tick = 0; tick < 3; ++tick) {
            scheduler.advance(ShellLifecycle::onboardingTrustCheckInterval);
            questionsWhenQuiet();
        }
        return questionsWhenQuiet() > before;
    };
    EXPECT_TRUE(asksAfter(nullptr)) << "opened by itself at its last step";
    EXPECT_FALSE(asksAfter("back")) << "the try-it step";
    EXPECT_TRUE(asksAfter("back")) << "the welcome step's card";
    EXPECT_FALSE(asksAfter("close")) << "closed";
    EXPECT_FALSE(coordinator->shell().isOnboardingActive());

    coordinator->statusBar()->onOpenOnboarding();
    window = shownOnboardingWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(showsText(window, "Almost ready"));
    EXPECT_TRUE(asksAfter(nullptr)) << "opened from the tray";
    EXPECT_FALSE(coordinator->shell().isSessionStarted());
}

} // namespace
} // namespace korvane
