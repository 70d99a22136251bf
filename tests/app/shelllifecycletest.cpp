// The shell's lifecycle inside the whole shell: memory pressure, permission loss and the onboarding.
#include "shellfixture.h"

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

} // namespace
} // namespace korvane
