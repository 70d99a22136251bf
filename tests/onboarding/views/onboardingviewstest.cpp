// The onboarding window offscreen with the fake permission and virtual time: what each step offers,
// the permission's road from "Grant Permission" to "Permission granted" and "You're all set", the
// locked try-it field, the demonstration's captions, the demo cards, and a snapshot of every step.
#include "onboarding/views/staticappdemocard.h"
#include "onboarding/views/symbolview.h"
#include "onboarding/views/typewriteranimationview.h"
#include "onboardingviewtestsupport.h"
#include "uikit/badge.h"

#include <QAccessible>
#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <gmock/gmock.h>
#include <optional>
#include <set>

namespace korvane {
namespace {

using test::OnboardingFixture;

TEST(OnboardingViewTest, EachStepOffersItsOwnControls) {
    struct Row {
        OnboardingStep step;
        bool granted;
        const char* counter;
        std::set<std::string> offered;
    };
    const Row rows[] = {
        {OnboardingStep::welcome, false, "Step 1 of 3", {"setUpLater", "close", "continue"}},
        {OnboardingStep::experience, false, "Step 2 of 3", {"setUpLater", "close", "back", "continue"}},
        {OnboardingStep::ready, false, "Step 3 of 3", {"close", "back", "closeForNow"}},
        {OnboardingStep::ready, true, "Step 3 of 3", {"close", "back", "getStarted"}},
    };
    for (const Row& row : rows) {
        OnboardingFixture flow(row.granted);
        flow.model->setCurrentStep(row.step);
        QApplication::processEvents();
        SCOPED_TRACE(row.counter);
        std::set<std::string> offered;
        for (const char* name : {"setUpLater", "close", "back", "continue", "getStarted", "closeForNow"}) {
            if (flow.shown(name) != nullptr) {
                offered.insert(name);
            }
        }
        EXPECT_EQ(offered, row.offered);
        EXPECT_TRUE(flow.showsText(row.counter));
        // The current step's button is the highlighted one.
        const QString current =
            flow.shown(("step" + std::to_string(static_cast<int>(row.step) + 1)).c_str())->styleSheet();
        EXPECT_TRUE(current.contains("rgb(0,122,255)"));
    }
}

TEST(OnboardingViewTest, NavigationMovesBetweenStepsAndOnlyTheCloseControlsEndTheFlow) {
    OnboardingFixture flow(false);
    int dismissals = 0;
    int completions = 0;
    flow.model->onDismiss = [&] { ++dismissals; };
    flow.model->onComplete = [&] { ++completions; };
    flow.click("continue");
    flow.click("continue");
    EXPECT_EQ(flow.model->currentStep(), OnboardingStep::ready) << "Continue never waits for the permission";
    flow.click("back");
    flow.click("setUpLater");
    EXPECT_EQ(flow.model->currentStep(), OnboardingStep::ready);
    flow.click("step1");
    EXPECT_EQ(flow.model->currentStep(), OnboardingStep::welcome);
    flow.click("close");
    flow.model->setCurrentStep(OnboardingStep::ready);
    QApplication::processEvents();
    flow.click("closeForNow");
    EXPECT_EQ(dismissals, 2);
    EXPECT_EQ(completions, 0);
}

// From the keyboard: whatever moves the step on (a control of the step left, the step's button in the
// header, the shell when the permission goes), the keyboard goes on in the step now shown; only the arrow
// keys on the step buttons keep it there, moving the choice. A screen reader hears the step buttons as
// one choice of three, the current one checked.
TEST(OnboardingViewTest, TheKeyboardFollowsTheStepShownAndTheCurrentStepIsChecked) {
    struct Row {
        OnboardingStep from;
        const char* focused;
        // Pressed on it; none: the step is changed from outside, as the shell does when the permission goes.
        std::optional<Qt::Key> key;
        OnboardingStep shown;
        // The control that keeps the keyboard; none: a control of the step shown has it.
        const char* keeps;
        bool losesPermission = false; // instead of the step changing from outside, as the shell does
    };
    const Row rows[] = {
        {OnboardingStep::welcome, "setUpLater", Qt::Key_Space, OnboardingStep::ready, nullptr},
        {OnboardingStep::experience, "continue", Qt::Key_Space, OnboardingStep::ready, nullptr},
        {OnboardingStep::experience, "back", Qt::Key_Space, OnboardingStep::welcome, nullptr},
        {OnboardingStep::welcome, "step1", std::nullopt, OnboardingStep::ready, nullptr},
        {OnboardingStep::welcome, "close", std::nullopt, OnboardingStep::ready, nullptr},
        {OnboardingStep::welcome, "step1", Qt::Key_Right, OnboardingStep::experience, "step2"},
        {OnboardingStep::ready, "getStarted", std::nullopt, OnboardingStep::ready, nullptr, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.focused) + (row.key ? " pressed" : " left"));
        OnboardingFixture flow(row.losesPermission);
        ASSERT_TRUE(QTest::qWaitForWindowActive(flow.window.get()));
        flow.model->setCurrentStep(row.from);
        QApplication::processEvents();
        flow.shown(row.focused)->setFocus(Qt::TabFocusReason);
        if (row.key) {
            QTest::keyClick(QApplication::focusWidget(), *row.key);
        } else if (row.losesPermission) {
            flow.model->setPermissionGranted(false);
        } else {
            flow.model->setCurrentStep(row.shown);
        }
        QApplication::processEvents();
        ASSERT_EQ(flow.model->currentStep(), row.shown);
        QWidget* content = flow.window->view().stepContent();
        QWidget* focused = QApplication::focusWidget();
        const std::string name = focused ? focused->objectName().toStdString() : "nothing";
        if (row.keeps) {
            EXPECT_EQ(name, row.keeps);
        } else {
            EXPECT_TRUE(focused != nullptr && content->isAncestorOf(focused)) << name << " has the keyboard";
        }
        for (int raw = 0; raw < 3; ++raw) {
            QAccessibleInterface* step =
                QAccessible::queryAccessibleInterface(flow.shown(("step" + std::to_string(raw + 1)).c_str()));
            EXPECT_EQ(step->role(), QAccessible::RadioButton);
            EXPECT_EQ(step->state().checked, raw == static_cast<int>(row.shown)) << raw;
        }
    }
}

// A screen reader's action on a step's pill, the one it offers ("Toggle"), shows that step, which alone
// reads checked.
TEST(OnboardingViewTest, AScreenReadersActionOnAStepShowsThatStep) {
    OnboardingFixture flow(false);
    ASSERT_TRUE(QTest::qWaitForWindowActive(flow.window.get()));
    const auto pill = [&](int raw) {
        return QAccessible::queryAccessibleInterface(flow.shown(("step" + std::to_string(raw + 1)).c_str()));
    };
    for (int raw : {2, 0, 1}) {
        QAccessibleActionInterface* actions = pill(raw)->actionInterface();
        ASSERT_NE(actions, nullptr);
        ASSERT_FALSE(actions->actionNames().isEmpty());
        actions->doAction(actions->actionNames().front());
        QApplication::processEvents();
        EXPECT_EQ(flow.model->currentStep(), static_cast<OnboardingStep>(raw));
        for (int other = 0; other < 3; ++other) {
            EXPECT_EQ(pill(other)->state().checked, other == raw) << raw << " " << other;
        }
    }
}

// Tab walks the window as it shows, from the top: the header, the step's own controls, the footer. A
// step is made after the header and footer, and its controls ("Grant Permission", "Open Configuration")
// came last, after "Continue".
TEST(OnboardingViewTest, TabWalksTheHeaderTheStepAndTheFooterInTurn) {
    struct Row {
        OnboardingStep step;
        bool granted;
        const char* what;
    };
    const Row rows[] = {
        {OnboardingStep::welcome, false, "Welcome, Grant Permission"},
        {OnboardingStep::ready, false, "Ready, Grant Permission"},
        {OnboardingStep::ready, true, "Ready, Open Configuration"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        OnboardingFixture flow(row.granted);
        ASSERT_TRUE(QTest::qWaitForWindowActive(flow.window.get()));
        flow.model->setCurrentStep(row.step);
        QApplication::processEvents();
        QWidget* content = flow.window->view().stepContent();
        const int top = content->mapTo(flow.window.get(), QPoint(0, 0)).y();
        const int bottom = top + content->height();
        QWidget* close = flow.shown("close");
        close->setFocus(Qt::TabFocusReason);
        // Once round, from the header's last control back to it.
        std::vector<std::string> parts = {"header"};
        for (int stop = 0; stop < 12; ++stop) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QWidget* focused = QApplication::focusWidget();
            const int y = focused->mapTo(flow.window.get(), QPoint(0, focused->height() / 2)).y();
            const std::string part = content->isAncestorOf(focused) ? "step" : y < top ? "header" : "footer";
            EXPECT_TRUE(part != "step" || (y > top && y < bottom));
            if (parts.back() != part) {
                parts.push_back(part);
            }
            if (focused == close) {
                break;
            }
        }
        EXPECT_THAT(parts, testing::ElementsAre("header", "step", "footer", "header"));
    }
}

TEST(OnboardingViewTest, AnAlreadyTrustedStartShowsPermissionGrantedAndAsksNothing) {
    OnboardingFixture flow(true);
    EXPECT_TRUE(flow.showsText("Permission granted"));
    EXPECT_EQ(flow.shown("grantPermission"), nullptr);
    flow.advance(3.0);
    EXPECT_EQ(flow.trust->requests, 0);
    test::snapshot(*flow.window, "onboarding-welcome-granted");
}

// The card switches at the poll's next tick, not at the press, and the try-it field unlocks with it.
TEST(OnboardingViewTest, GrantPermissionTurnsTheCardGreenAtTheNextTick) {
    OnboardingFixture flow(false);
    flow.trust->grantAfterRequests = 1;
    flow.advance(1.7);
    test::snapshot(*flow.window, "onboarding-welcome");
    flow.click("grantPermission");
    EXPECT_EQ(flow.trust->requests, 1);
    EXPECT_FALSE(flow.showsText("Permission granted"));
    flow.advance(1.0);
    EXPECT_TRUE(flow.showsText("Permission granted"));
    EXPECT_EQ(flow.shown("grantPermission"), nullptr);
}

TEST(OnboardingViewTest, TheTryItFieldIsLockedUntilTheGrantAndKeepsItsText) {
    OnboardingFixture flow(false);
    flow.model->setCurrentStep(OnboardingStep::experience);
    QApplication::processEvents();
    auto* field = flow.shown<QLineEdit>("tryItField");
    ASSERT_NE(field, nullptr);
    EXPECT_FALSE(field->isEnabled());
    EXPECT_EQ(field->placeholderText().toStdString(), ";; here");
    EXPECT_TRUE(flow.showsText("Grant accessibility permission in Step 1 to try this"));
    test::snapshot(*flow.window, "onboarding-experience-locked");

    flow.trust->trusted = true;
    flow.model->startPermissionPolling();
    flow.advance(1.0);
    EXPECT_TRUE(field->isEnabled());
    EXPECT_FALSE(flow.showsText("Grant accessibility permission in Step 1 to try this"));
    field->setFocus();
    for (const QChar c : QString(";;sig")) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(field, &press);
    }
    EXPECT_EQ(flow.model->realInputText(), ";;sig");
    flow.click("back");
    flow.click("continue");
    EXPECT_EQ(flow.shown<QLineEdit>("tryItField")->text().toStdString(), ";;sig");
    test::snapshot(*flow.window, "onboarding-experience-open");
}

TEST(OnboardingViewTest, GrantPermissionOnTheReadyStepShowsAllSetWithinOneTick) {
    OnboardingFixture flow(false);
    int granted = 0;
    int configurations = 0;
    flow.model->onPermissionGranted = [&] { ++granted; };
    flow.model->onOpenConfiguration = [&] { ++configurations; };
    flow.model->setCurrentStep(OnboardingStep::ready);
    QApplication::processEvents();
    EXPECT_TRUE(flow.showsText("Almost ready"));
    test::snapshot(*flow.window, "onboarding-ready-almost");
    flow.trust->grantAfterRequests = 1;
    flow.click("grantPermission");
    flow.advance(1.2);
    EXPECT_TRUE(flow.showsText("You're all set"));
    EXPECT_FALSE(flow.showsText("Almost ready"));
    ASSERT_NE(flow.shown("getStarted"), nullptr);
    EXPECT_TRUE(flow.shown("getStarted")->isEnabled());
    EXPECT_EQ(flow.shown("closeForNow"), nullptr);
    EXPECT_EQ(granted, 1);
    flow.click("openConfiguration");
    flow.click("openConfiguration");
    EXPECT_EQ(configurations, 2);
    test::snapshot(*flow.window, "onboarding-ready-all-set");
}

// Korvane sits in the system tray: no step of either look speaks of a menu bar.
TEST(OnboardingViewTest, TheStepsSpeakOfTheSystemTray) {
    std::set<std::string> tray;
    for (bool granted : {false, true}) {
        OnboardingFixture flow(granted);
        for (auto step : {OnboardingStep::welcome, OnboardingStep::experience, OnboardingStep::ready}) {
            flow.model->setCurrentStep(step);
            QApplication::processEvents();
            for (QLabel* label : flow.window->findChildren<QLabel*>()) {
                const std::string text = label->text().toStdString();
                if (!label->isVisible()) {
                    continue;
                }
                EXPECT_EQ(text.find("menu bar"), std::string::npos) << text;
                if (text.find("system tray") != std::string::npos) {
                    tray.insert(text);
                }
            }
        }
    }
    const std::string joiner = "\u2060";
    EXPECT_EQ(tray, (std::set<std::string>{"Korvane is now running in your system tray. Type " + joiner +
                                               ";;" + joiner + " in any app to trigger completions.",
                                           "You can also grant permission later from the system tray."}));
}

TEST(OnboardingViewTest, TheDemonstrationNamesEveryPhaseWithinSixSeconds) {
    OnboardingFixture flow(false);
    auto* demo = dynamic_cast<TypewriterAnimationView*>(flow.window->findChild<QWidget*>("typewriter"));
    ASSERT_NE(demo, nullptr);
    std::set<std::string> captions;
    for (int tenth = 0; tenth < 60; ++tenth) {
        flow.advance(0.1);
        captions.insert(demo->accessibleName().toStdString());
    }
    EXPECT_THAT(captions, testing::UnorderedElementsAre("Writing normally...", "Trigger detected!",
                                                        "Filtering results...", "Completion inserted!"));
    // Leaving the screen stops it; coming back starts one loop again.
    flow.model->setCurrentStep(OnboardingStep::experience);
    QApplication::processEvents();
    EXPECT_FALSE(demo->animation().isRunning());
}

TEST(OnboardingViewTest, DemoCardsShowAtMostFourRowsTheirBadgeAndAnIconOrItsSymbol) {
    test::ensureOnboardingApplication();
    struct Row {
        std::string appName;
        std::vector<std::string> labels;
        int rows;
        bool hint;
        const char* badge;
        const char* symbol;
    };
    const Row rows[] = {
        {"Terminal", {"a", "b", "c", "d", "e"}, 4, true, "Git", "terminal"},
        {"Slack", {"lgtm", "ack", "pr-ready", "thanks"}, 4, true, "Manual", "bubble.left"},
        {"Mail", {}, 0, false, "Manual", "envelope"},
        {"mail", {"x"}, 1, true, "Snippet", "app"},
    };
    // Nothing is installed.
    const StaticAppDemoCard::IconLookup none = [](const std::string&) { return std::nullopt; };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.appName);
        StaticAppDemoCard card(row.appName, "See you tomorrow!\n;;", row.labels, none);
        EXPECT_EQ(card.findChildren<QWidget*>("demoRow").size(), row.rows);
        const auto texts = [&] {
            std::multiset<std::string> all;
            for (QLabel* label : card.findChildren<QLabel*>()) {
                all.insert(label->text().toStdString());
            }
            return all;
        }();
        EXPECT_EQ(texts.count("Tab accept"), row.hint ? 1u : 0u);
        const auto badges = card.findChildren<QWidget*>("demoBadge");
        EXPECT_EQ(badges.size(), row.rows);
        for (QWidget* badge : badges) {
            EXPECT_EQ(dynamic_cast<Badge&>(*badge).text().toStdString(), row.badge);
        }
        auto* symbol = dynamic_cast<SymbolView*>(card.findChild<QWidget*>("appSymbol"));
        ASSERT_NE(symbol, nullptr);
        EXPECT_EQ(symbol->name().toStdString(), row.symbol);
    }
    StaticAppDemoCard card("Mail", "See you tomorrow!\n;;", {}, none);
    card.adjustSize();
    auto* input = card.findChild<QLabel*>("visualInput");
    EXPECT_GE(input->sizeHint().height(), 2 * input->fontMetrics().height())
        << "every line of the input shows";
}

} // namespace
} // namespace korvane
