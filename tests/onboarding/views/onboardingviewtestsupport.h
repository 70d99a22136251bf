#pragma once

#include "onboarding/onboardingviewmodel.h"
#include "onboarding/views/onboardingwindow.h"
#include "platform/fake/fakeaccessibilitytrust.h"
#include "platform/fake/manualscheduler.h"

#include <QPushButton>
#include <memory>
#include <string>

class QWidget;

// The onboarding window of the view tests: offscreen (unless the test program made its application on
// a display), animations off, with the fake permission and virtual time; lookups of its controls by
// object name and snapshots of what it shows.
namespace korvane::test {

void ensureOnboardingApplication();

struct OnboardingFixture {
    explicit OnboardingFixture(bool trusted);

    // The control named `name` that is on screen now (a hidden step's controls are not), or null.
    template <typename T = QPushButton> T* shown(const char* name) const {
        for (T* found : window->findChildren<T*>(name)) {
            if (found->isVisible()) {
                return found;
            }
        }
        return nullptr;
    }
    // Whether a label reading `text` is on screen.
    bool showsText(const std::string& text) const;
    void click(const char* name);
    // Moves virtual time on by `seconds` and lets Qt handle what that changed.
    void advance(double seconds);

    std::shared_ptr<FakeAccessibilityTrust> trust = std::make_shared<FakeAccessibilityTrust>();
    ManualScheduler scheduler;
    std::shared_ptr<OnboardingViewModel> model;
    std::unique_ptr<OnboardingWindow> window;
};

// Writes `widget` as it is drawn to $KORVANE_SNAPSHOT_DIR/<name>.png when that variable is set.
void snapshot(QWidget& widget, const std::string& name);

} // namespace korvane::test
