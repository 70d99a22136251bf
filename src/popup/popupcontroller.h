#pragma once

#include "base/scheduler.h"
#include "config/popupposition.h"
#include "platform/caretlocator.h"
#include "platform/focusedwindowframe.h"
#include "platform/pointerlocation.h"
#include "platform/popupsurfacewindow.h"
#include "platform/screenlist.h"
#include "popup/popupplacement.h"
#include "popup/popupviewmodel.h"

#include <functional>
#include <memory>
#include <optional>

namespace korvane {

// Owns the popup's window and view model and decides where the popup stands: at the caret of the
// focused application or at a fixed position, on screen, with the detail column on the side with
// room; it animates mode changes and coalesces the frame changes the view model asks for. Main
// thread; one for the life of the process.
class PopupController : public std::enable_shared_from_this<PopupController> {
public:
    using DetailPanelSide = PopupViewModel::DetailPanelSide;

    // What the controller reads of the desktop. All must outlive the controller.
    struct Desktop {
        ScreenList& screens;
        CaretLocator& caret;
        FocusedWindowFrame& focusedWindow;
        PointerLocation& pointer;
    };
    // Makes the window that shows the view model's content.
    using WindowFactory = std::function<std::unique_ptr<PopupSurfaceWindow>(std::shared_ptr<PopupViewModel>)>;

    static constexpr double modeTransitionDuration = 0.11;
    static constexpr double modeTransitionTiming[4] = {0.2, 0.9, 0.2, 1.0};
    static constexpr int lazyThreshold = 20;
    static constexpr double relayoutThreshold = 0.5;

    // `scheduler` must outlive the controller; `makeDetail` makes the view model's detail controller.
    static std::shared_ptr<PopupController>
    create(Scheduler& scheduler, Desktop desktop, const WindowFactory& makeWindow,
           const PopupViewModel::DetailControllerFactory& makeDetail = {});
    PopupController(const PopupController&) = delete;
    PopupController& operator=(const PopupController&) = delete;

    PopupSurfaceWindow& window() const { return *window_; }
    PopupViewModel& viewModel() const { return *viewModel_; }
    const std::shared_ptr<PopupViewModel>& sharedViewModel() const { return viewModel_; }

    PopupPosition popupPosition = PopupPosition::automatic;

    // Places the popup for the view model's current state and shows it without taking the focus.
    void show();
    // Hides the popup, forgets the detail side and resets the view model.
    void hide();

    std::optional<DetailPanelSide> pinnedDetailPanelSide() const { return pinnedDetailPanelSide_; }
    ScreenPoint lastPosition() const { return lastAnchor_.point; }
    int setFrameCount() const { return setFrameCount_; }
    bool modeFrameAnimationInFlight() const { return modeFrameAnimationInFlight_; }
    const std::optional<ScreenRect>& deferredFrameDuringModeAnimation() const { return deferredFrame_; }

private:
    PopupController(Scheduler& scheduler, Desktop desktop);

    void scheduleFrameUpdate();
    void relayout();
    void updateDetailPanelSide(ScreenPoint point);
    std::optional<ScreenRect> fixedFrame(double w, double h);
    ScreenRect caretFrame(ScreenRect frame);
    std::optional<PopupAnchor> caretAnchorPoint();
    std::optional<ScreenRect> focusedWindowFrame();
    std::optional<double> primaryHeight();
    void applyFrame(const ScreenRect& frame);

    Scheduler& scheduler_;
    Desktop desktop_;
    std::shared_ptr<PopupViewModel> viewModel_;
    std::unique_ptr<PopupSurfaceWindow> window_;
    bool modeFrameAnimationInFlight_ = false;
    std::optional<ScreenRect> deferredFrame_;
    bool frameUpdateScheduled_ = false;
    int setFrameCount_ = 0;
    PopupAnchor lastAnchor_;
    bool flippedAboveAnchor_ = false;
    std::optional<DetailPanelSide> pinnedDetailPanelSide_;
};

} // namespace korvane
