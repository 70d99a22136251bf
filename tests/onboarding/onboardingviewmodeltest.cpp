// The onboarding view model with a fake permission and virtual time: steps, the permission poll and
// its one report, the poll outliving the window, and a withdrawn permission seen on reopening.
#include "onboarding/onboardingviewmodel.h"

#include "platform/fake/fakeaccessibilitytrust.h"
#include "platform/fake/manualscheduler.h"

#include <gmock/gmock.h>

namespace korvane {
namespace {

class OnboardingViewModelTest : public testing::Test {
protected:
    std::shared_ptr<OnboardingViewModel> make(bool trusted) {
        trust->trusted = trusted;
        auto model = OnboardingViewModel::create(trust, scheduler);
        model->onPermissionGranted = [this] { ++grants; };
        model->addObserver([this] { ++notifications; });
        return model;
    }

    std::shared_ptr<FakeAccessibilityTrust> trust = std::make_shared<FakeAccessibilityTrust>();
    ManualScheduler scheduler;
    int grants = 0;
    int notifications = 0;
};

TEST_F(OnboardingViewModelTest, StepsMoveOneAtATimeAndStopAtBothEndsWithoutNotifying) {
    auto model = make(false);
    EXPECT_EQ(model->currentStep(), OnboardingStep::welcome);
    model->goBack();
    EXPECT_EQ(notifications, 0);
    model->advance();
    model->advance();
    EXPECT_EQ(model->currentStep(), OnboardingStep::ready);
    EXPECT_EQ(notifications, 2);
    model->advance();
    model->setCurrentStep(OnboardingStep::ready);
    model->setRealInputText("");
    EXPECT_EQ(notifications, 2);
    model->goBack();
    EXPECT_EQ(model->currentStep(), OnboardingStep::experience);
    model->setRealInputText(";;sig");
    model->setRealInputText(";;sig");
    EXPECT_EQ(notifications, 4);
    EXPECT_EQ(onboardingStepFromRaw(2), OnboardingStep::ready);
    EXPECT_EQ(onboardingStepFromRaw(3), std::nullopt);
}

TEST_F(OnboardingViewModelTest, AlreadyTrustedStartsGrantedAndReportsOnlyAtTheFirstTick) {
    auto model = make(true);
    EXPECT_TRUE(model->isPermissionGranted());
    EXPECT_EQ(grants, 0);
    model->startPermissionPolling();
    scheduler.advance(0.99);
    EXPECT_EQ(grants, 0);
    scheduler.advance(0.02);
    EXPECT_EQ(grants, 1);
    EXPECT_FALSE(model->isPolling());
    EXPECT_EQ(trust->requests, 0) << "no request is made without a press";
}

TEST_F(OnboardingViewModelTest, PollingTicksUntilTheGrantThenReportsOnceEvenWhenRestarted) {
    auto model = make(false);
    trust->grantAfterRequests = 3;
    for (int press = 0; press < 3; ++press) {
        model->requestPermission();
        scheduler.advance(0.5);
    }
    EXPECT_EQ(trust->requests, 3);
    EXPECT_FALSE(model->isPermissionGranted()) << "the grant is seen at a tick, not at the press";
    // Three presses left one poll: one tick, one check.
    scheduler.advance(0.5);
    EXPECT_TRUE(model->isPermissionGranted());
    EXPECT_EQ(grants, 1);
    EXPECT_EQ(scheduler.pendingTaskCount(), 0u);
    model->startPermissionPolling();
    scheduler.advance(5.0);
    EXPECT_EQ(grants, 1);
}

TEST_F(OnboardingViewModelTest, PollingWithoutTheGrantChangesNothingForAsLongAsItRuns) {
    auto model = make(false);
    model->startPermissionPolling();
    scheduler.advance(600.0);
    EXPECT_FALSE(model->isPermissionGranted());
    EXPECT_TRUE(model->isPolling());
    EXPECT_EQ(notifications, 0);
}

TEST_F(OnboardingViewModelTest, APollOutlivesTheReleasedModelAndStillReportsTheGrant) {
    auto model = make(false);
    model->startPermissionPolling();
    std::weak_ptr<OnboardingViewModel> weak = model;
    model.reset();
    scheduler.advance(3.0);
    ASSERT_FALSE(weak.expired());
    trust->trusted = true;
    scheduler.advance(1.0);
    EXPECT_EQ(grants, 1);
    EXPECT_TRUE(weak.expired()) << "released after the tick that saw the grant";
}

// A reopened flow after the permission was withdrawn shows it missing, and reports its return again,
// so that the shell starts the session a second time.
TEST_F(OnboardingViewModelTest, RefreshShowsAWithdrawnPermissionAndReportsItsReturn) {
    auto model = make(false);
    trust->trusted = true;
    model->startPermissionPolling();
    scheduler.advance(1.0);
    ASSERT_EQ(grants, 1);
    trust->trusted = false;
    scheduler.advance(2.0);
    EXPECT_TRUE(model->isPermissionGranted()) << "polling itself only ever grants";
    model->refreshPermission();
    EXPECT_FALSE(model->isPermissionGranted());
    trust->grantAfterRequests = trust->requests + 1;
    model->requestPermission();
    scheduler.advance(1.0);
    EXPECT_TRUE(model->isPermissionGranted());
    EXPECT_EQ(grants, 2);
}

} // namespace
} // namespace korvane
