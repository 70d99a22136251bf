#include "popup/popupcontroller.h"

#include "platform/fake/manualscheduler.h"
#include "platform/fake/fakecaretlocator.h"
#include "platform/fake/fakefocusedwindowframe.h"
#include "platform/fake/fakepointerlocation.h"
#include "platform/fake/fakepopupsurfacewindow.h"
#include "platform/fake/fakescreenlist.h"
#include "popuptestsupport.h"

#include <gtest/gtest.h>

namespace korvane {
namespace {

using test::results;

// A 1440 x 900 primary screen whose top 25 are taken by a panel.
const ScreenInfo primary{{0, 0, 1440, 900}, {0, 0, 1440, 875}};
// A taller screen to its right.
const ScreenInfo secondary{{1440, 0, 1920, 1080}, {1440, 0, 1920, 1080}};

class PopupControllerTest : public ::testing::Test {
protected:
    PopupControllerTest() {
        screens.list = {primary};
        controller = PopupController::create(scheduler, {screens, caret, focusedWindow, pointer},
                                             [this](std::shared_ptr<PopupViewModel>) {
                                                 auto made = std::make_unique<FakePopupSurfaceWindow>();
                                                 window = made.get();
                                                 return made;
                                             });
    }

    double w() const { return controller->viewModel().popupWidth(); }
    double h() const { return controller->viewModel().popupHeight(); }

    ManualScheduler scheduler;
    FakeScreenList screens;
    FakeCaretLocator caret;
    FakeFocusedWindowFrame focusedWindow;
    FakePointerLocation pointer;
    FakePopupSurfaceWindow* window = nullptr;
    std::shared_ptr<PopupController> controller;
};

TEST(PopupPlacementTest, FixedPositionsAgainstTheReferenceAndNoneForAutomatic) {
    const ScreenRect r{100, 200, 1000, 600};
    struct Case {
        PopupPosition position;
        std::optional<ScreenPoint> origin;
    } cases[] = {
        {PopupPosition::topLeft, ScreenPoint{120, 800 - 100 - 20}},
        {PopupPosition::topRight, ScreenPoint{1100 - 300 - 20, 680}},
        {PopupPosition::bottomLeft, ScreenPoint{120, 220}},
        {PopupPosition::bottomRight, ScreenPoint{780, 220}},
        {PopupPosition::center, ScreenPoint{600 - 150, 500 - 50}},
        {PopupPosition::bottomCenter, ScreenPoint{600 - 150, 220}},
        {PopupPosition::automatic, std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(PopupPlacement::anchorOrigin(c.position, r, 300, 100), c.origin) << toString(c.position);
    }
}

TEST(PopupPlacementTest, CaretAnchorLiesBelowTheCaretByItsHeightPlusFour) {
    EXPECT_EQ(PopupPlacement::caretAnchor({50, 100, 2, 18}, 900).point, (ScreenPoint{50, 900 - (118 + 22)}));
    EXPECT_EQ(PopupPlacement::caretAnchor({50, 100, 0, 0}, 900).point, (ScreenPoint{50, 900 - (100 + 8)}));
    EXPECT_EQ(PopupPlacement::caretAnchor({50, 100, 2, 18}, 900).caretTop, 800);
}

TEST(PopupPlacementTest, ScreenContainingIsHalfOpenAndFallsBackToTheFirst) {
    const std::vector<ScreenInfo> both{primary, secondary};
    EXPECT_EQ(PopupPlacement::screenContaining(both, {1440, 10}), secondary);
    EXPECT_EQ(PopupPlacement::screenContaining(both, {1439.5, 10}), primary);
    EXPECT_EQ(PopupPlacement::screenContaining(both, {-50, -50}), primary);
    EXPECT_EQ(PopupPlacement::screenContaining({}, {0, 0}), std::nullopt);
}

TEST_F(PopupControllerTest, AutomaticPlacementFollowsCaretThenWindowThenPointer) {
    struct Case {
        const char* name;
        std::vector<ScreenInfo> screens;
        std::optional<ScreenRect> caret;
        std::optional<ScreenRect> window;
        ScreenPoint pointer;
        // The expected top-left corner of the popup, given its size.
        std::function<ScreenPoint(double w, double h)> topLeft;
    } cases[] = {
        {"caret in the middle",
         {primary},
         ScreenRect{500, 300, 2, 18},
         {},
         {},
         [](double, double) {
             return ScreenPoint{500, 900 - 340};
         }},
        {"caret at the right edge",
         {primary},
         ScreenRect{1400, 300, 2, 18},
         {},
         {},
         [](double w, double) {
             return ScreenPoint{1440 - w, 560};
         }},
        {"caret on the second screen",
         {primary, secondary},
         ScreenRect{3300, 100, 2, 18},
         {},
         {},
         [](double w, double) {
             return ScreenPoint{3360 - w, 900 - 140};
         }},
        {"no caret: under the window's bottom edge",
         {primary},
         {},
         ScreenRect{100, 50, 800, 400},
         {},
         [](double, double) {
             return ScreenPoint{130, 450};
         }},
        {"no caret, no window: the pointer",
         {primary},
         {},
         {},
         ScreenPoint{700, 600},
         [](double, double) {
             return ScreenPoint{708, 596};
         }},
        {"no screens: nothing is clamped",
         {},
         ScreenRect{1430, 300, 2, 18},
         {},
         ScreenPoint{5, 5},
         [](double, double) {
             return ScreenPoint{5 + 8, 5 - 4};
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        screens.list = c.screens;
        caret.caret = c.caret;
        focusedWindow.frame = c.window;
        pointer.location = c.pointer;
        controller->show();
        const ScreenRect frame = window->frame();
        const ScreenPoint expected = c.topLeft(w(), h());
        EXPECT_DOUBLE_EQ(frame.x, expected.x);
        EXPECT_DOUBLE_EQ(frame.maxY(), expected.y);
        EXPECT_EQ(frame.width, w());
        EXPECT_EQ(frame.height, h());
        EXPECT_TRUE(window->isVisible());
        controller->hide();
    }
}

TEST_F(PopupControllerTest, FlippedPopupLeavesTheCaretLineVisibleAndKeepsItsBottomEdgeWhenGrowing) {
    // Caret 18 high whose top lies 50 above the bottom of the screen.
    caret.caret = ScreenRect{500, 850, 2, 18};
    controller->show();
    const double caretTop = 50;
    ASSERT_GE(window->frame().minY(), caretTop + 4);
    EXPECT_DOUBLE_EQ(window->frame().minY(), caretTop + 4);

    controller->viewModel().showSearchResults(results({"a", "b", "c", "d", "e", "f", "g", "h", "i", "j"}), {},
                                              {}, false, false, false, false, {},
                                              SearchEmptyState::Style::standard);
    controller->viewModel().onLayoutChanged();
    scheduler.runUntilIdle();
    EXPECT_DOUBLE_EQ(window->frame().minY(), caretTop + 4);
    EXPECT_EQ(window->frame().height, h());
}

TEST_F(PopupControllerTest, WithoutACaretThePopupLeavesTheWindowsBottomLinesFree) {
    // Terminals offer no caret; their prompt is on the bottom lines of the window.
    focusedWindow.frame = ScreenRect{100, 100, 600, 400};
    controller->show();
    // Room below: the popup hangs under the window's bottom edge (y 400).
    EXPECT_DOUBLE_EQ(window->frame().maxY(), 400);
    EXPECT_DOUBLE_EQ(window->frame().x, 100 + PopupPlacement::windowCornerOffset);

    // No room below: above the bottom two lines, never over them.
    focusedWindow.frame = ScreenRect{100, 800, 600, 90};
    controller->show();
    EXPECT_DOUBLE_EQ(window->frame().minY(), 10 + PopupPlacement::windowBottomLinesHeight + 4);
}

TEST_F(PopupControllerTest, FixedPositionUsesTheWindowThenTheScreenAndIsClamped) {
    controller->popupPosition = PopupPosition::bottomCenter;
    focusedWindow.frame = ScreenRect{100, 100, 1000, 500};
    controller->show();
    EXPECT_DOUBLE_EQ(window->frame().x, 600 - w() / 2);
    EXPECT_DOUBLE_EQ(window->frame().y, 300 + 20);
    EXPECT_EQ(controller->lastPosition(), (ScreenPoint{window->frame().midX(), window->frame().maxY()}));

    controller->popupPosition = PopupPosition::topRight;
    focusedWindow.frame.reset();
    pointer.location = {10, 10};
    controller->show();
    EXPECT_DOUBLE_EQ(window->frame().maxX(), 1440 - 20);
    EXPECT_DOUBLE_EQ(window->frame().maxY(), 875 - 20);
}

TEST_F(PopupControllerTest, LayoutChangesAreCoalescedAndTinyMovesSkipped) {
    caret.caret = ScreenRect{500, 300, 2, 18};
    controller->show();
    const int before = controller->setFrameCount();
    controller->viewModel().onLayoutChanged();
    controller->viewModel().onLayoutChanged();
    scheduler.runUntilIdle();
    EXPECT_EQ(controller->setFrameCount(), before);

    window->current.height -= 0.4;
    controller->viewModel().onLayoutChanged();
    scheduler.runUntilIdle();
    EXPECT_EQ(controller->setFrameCount(), before);

    window->current.height -= 0.2;
    controller->viewModel().onLayoutChanged();
    controller->viewModel().onLayoutChanged();
    scheduler.runUntilIdle();
    EXPECT_EQ(controller->setFrameCount(), before + 1);
}

TEST_F(PopupControllerTest, ModeAnimationParksFramesUntilItEndsAndHideDropsIt) {
    caret.caret = ScreenRect{500, 300, 2, 18};
    controller->viewModel().setAnimateLayoutChange(true);
    controller->show();
    EXPECT_EQ(window->animations, 0) << "the first show never animates";
    EXPECT_FALSE(controller->viewModel().animateLayoutChange());

    controller->viewModel().setAnimateLayoutChange(true);
    controller->viewModel().showSearchResults(results({"a"}), {}, {}, false, false, false, false, {},
                                              SearchEmptyState::Style::standard);
    controller->show();
    ASSERT_EQ(window->animations, 1);
    EXPECT_DOUBLE_EQ(window->animationSeconds, 0.11);
    const int before = controller->setFrameCount();
    caret.caret = ScreenRect{600, 300, 2, 18};
    controller->show();
    EXPECT_EQ(controller->setFrameCount(), before);
    ASSERT_TRUE(controller->deferredFrameDuringModeAnimation());
    window->finishAnimation();
    EXPECT_EQ(controller->setFrameCount(), before + 1);
    EXPECT_DOUBLE_EQ(window->frame().x, 600);

    controller->viewModel().setAnimateLayoutChange(true);
    controller->show();
    controller->hide();
    EXPECT_FALSE(controller->modeFrameAnimationInFlight());
    EXPECT_FALSE(window->animationRunning());
    controller->show();
    EXPECT_EQ(controller->setFrameCount(), before + 2) << "frames after a hide are not parked";
}

TEST_F(PopupControllerTest, DetailSideFollowsTheRoomAndStaysWhileVisible) {
    screens.list = {ScreenInfo{{0, 0, 1440, 900}, {0, 0, 1440, 900}}};
    caret.caret = ScreenRect{100, 300, 2, 18};
    controller->show();
    EXPECT_EQ(controller->viewModel().detailPanelSide(), PopupViewModel::DetailPanelSide::right);
    caret.caret = ScreenRect{700, 300, 2, 18};
    controller->show();
    EXPECT_EQ(controller->viewModel().detailPanelSide(), PopupViewModel::DetailPanelSide::right);
    controller->hide();
    EXPECT_EQ(controller->pinnedDetailPanelSide(), std::nullopt);
    controller->show();
    EXPECT_EQ(controller->viewModel().detailPanelSide(), PopupViewModel::DetailPanelSide::left);
}

TEST_F(PopupControllerTest, ScheduledRelayoutDoesNothingOnceTheControllerIsGone) {
    caret.caret = ScreenRect{500, 300, 2, 18};
    controller->show();
    controller->viewModel().onLayoutChanged();
    controller.reset();
    scheduler.runUntilIdle();
    SUCCEED();
}

} // namespace
} // namespace korvane
