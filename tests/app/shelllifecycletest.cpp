// The shell's lifecycle inside the whole shell: memory pressure, permission loss and the onboarding.
#include "shellfixture.h"

#include <QLabel>
#include <QPushButton>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

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

} // namespace
} // namespace korvane
