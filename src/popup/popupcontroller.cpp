#include "popup/popupcontroller.h"

#include "base/diagnostics.h"
#include "popup/popuptheme.h"

#include <algorithm>
#include <cmath>

namespace korvane {

std::shared_ptr<PopupController>
PopupController::create(Scheduler& scheduler, Desktop desktop, const WindowFactory& makeWindow,
                        const PopupViewModel::DetailControllerFactory& makeDetail) {
    std::shared_ptr<PopupController> controller(new PopupController(scheduler, desktop));
    controller->viewModel_ = PopupViewModel::create(
        DetailPreviewTiming{30'000'000, 150'000'000, 320'000'000, 0.3}, scheduler, makeDetail);
    controller->window_ = makeWindow(controller->viewModel_);
    const std::weak_ptr<PopupController> weak = controller;
    const auto schedule = [weak] {
        if (auto self = weak.lock()) {
            self->scheduleFrameUpdate();
        }
    };
    controller->viewModel_->onPreviewChanged = schedule;
    controller->viewModel_->onLayoutChanged = schedule;
    return controller;
}

PopupController::PopupController(Scheduler& scheduler, Desktop desktop)
    : scheduler_(scheduler)
    , desktop_(desktop) {}

void PopupController::show() {
    const double w = viewModel_->popupWidth();
    const double h = viewModel_->popupHeight();
    std::optional<ScreenRect> frame;
    if (popupPosition != PopupPosition::automatic) {
        frame = fixedFrame(w, h);
        if (frame) {
            lastAnchor_ = PopupAnchor{ScreenPoint{frame->midX(), frame->maxY()}, std::nullopt};
            flippedAboveAnchor_ = false;
            updateDetailPanelSide(ScreenPoint{frame->x, frame->y});
        }
    }
    if (!frame) {
        std::optional<PopupAnchor> anchor = caretAnchorPoint();
        if (!anchor) {
            if (const auto window = focusedWindowFrame()) {
                anchor = PopupPlacement::windowBottomAnchor(*window);
            } else {
                const ScreenPoint mouse = desktop_.pointer.pointerLocation();
                anchor = PopupAnchor{ScreenPoint{mouse.x + PopupPlacement::pointerOffsetX,
                                                 mouse.y + PopupPlacement::pointerOffsetY},
                                     std::nullopt};
            }
        }
        lastAnchor_ = *anchor;
        updateDetailPanelSide(anchor->point);
        flippedAboveAnchor_ = false;
        frame = caretFrame(ScreenRect{anchor->point.x, anchor->point.y - h, w, h});
    }

    const bool animate = viewModel_->animateLayoutChange() && window_->isVisible();
    if (viewModel_->animateLayoutChange()) {
        viewModel_->setAnimateLayoutChange(false);
    }
    if (animate) {
        modeFrameAnimationInFlight_ = true;
        deferredFrame_.reset();
        const std::weak_ptr<PopupController> weak = weak_from_this();
        window_->animateFrame(*frame, modeTransitionDuration, modeTransitionTiming[0],
                              modeTransitionTiming[1], modeTransitionTiming[2], modeTransitionTiming[3],
                              [weak] {
                                  auto self = weak.lock();
                                  if (!self) {
                                      return;
                                  }
                                  self->modeFrameAnimationInFlight_ = false;
                                  if (auto parked = std::exchange(self->deferredFrame_, std::nullopt)) {
                                      self->applyFrame(*parked);
                                  }
                              });
    } else if (modeFrameAnimationInFlight_) {
        deferredFrame_ = frame;
    } else {
        applyFrame(*frame);
    }
    window_->orderFront();
}

void PopupController::hide() {
    // A stopped animation never reports its end, so its state is dropped here; otherwise every later
    // frame would stay parked.
    window_->stopAnimation();
    modeFrameAnimationInFlight_ = false;
    deferredFrame_.reset();
    window_->orderOut();
    pinnedDetailPanelSide_.reset();
    flippedAboveAnchor_ = false;
    viewModel_->reset();
}

void PopupController::scheduleFrameUpdate() {
    if (frameUpdateScheduled_) {
        return;
    }
    frameUpdateScheduled_ = true;
    const std::weak_ptr<PopupController> weak = weak_from_this();
    scheduler_.post([weak] {
        if (auto self = weak.lock()) {
            self->frameUpdateScheduled_ = false;
            self->relayout();
        }
    });
}

void PopupController::relayout() {
    if (!window_->isVisible()) {
        return;
    }
    const double w = viewModel_->popupWidth();
    const double h = viewModel_->popupHeight();
    ScreenRect frame;
    if (popupPosition != PopupPosition::automatic) {
        const auto fixed = fixedFrame(w, h);
        if (!fixed) {
            return;
        }
        frame = *fixed;
    } else {
        const ScreenRect current = window_->frame();
        frame.width = w;
        frame.height = h;
        frame.x = viewModel_->detailPanelSide() == DetailPanelSide::right ? current.x
                                                                          : current.x - (w - current.width);
        // Below its anchor the popup keeps its top edge; above it, its bottom edge, so that growing
        // never covers the caret line.
        frame.y = flippedAboveAnchor_ ? current.y : current.y - (h - current.height);
        frame = caretFrame(frame);
    }
    if (modeFrameAnimationInFlight_) {
        deferredFrame_ = frame;
        return;
    }
    const ScreenRect current = window_->frame();
    if (std::abs(frame.x - current.x) < relayoutThreshold &&
        std::abs(frame.y - current.y) < relayoutThreshold &&
        std::abs(frame.width - current.width) < relayoutThreshold &&
        std::abs(frame.height - current.height) < relayoutThreshold) {
        return;
    }
    applyFrame(frame);
}

void PopupController::applyFrame(const ScreenRect& frame) {
    if (!frame.isFinite()) {
        return;
    }
    ++setFrameCount_;
    window_->setFrame(frame);
}

void PopupController::updateDetailPanelSide(ScreenPoint point) {
    if (window_->isVisible() && pinnedDetailPanelSide_) {
        viewModel_->setDetailPanelSide(*pinnedDetailPanelSide_);
        return;
    }
    DetailPanelSide side = DetailPanelSide::right;
    const auto screens = desktop_.screens.screens();
    if (const auto screen = PopupPlacement::screenContaining(screens, point)) {
        side = PopupPlacement::detailOnRight(point, screen->visibleFrame,
                                             PopupTheme::listWidth(viewModel_->themeConfig()))
                   ? DetailPanelSide::right
                   : DetailPanelSide::left;
    }
    pinnedDetailPanelSide_ = side;
    viewModel_->setDetailPanelSide(side);
}

std::optional<ScreenRect> PopupController::fixedFrame(double w, double h) {
    const auto screens = desktop_.screens.screens();
    ScreenRect reference;
    if (const auto window = focusedWindowFrame()) {
        reference = *window;
    } else if (const auto screen =
                   PopupPlacement::screenContaining(screens, desktop_.pointer.pointerLocation())) {
        reference = screen->visibleFrame;
    }
    const auto origin = PopupPlacement::anchorOrigin(popupPosition, reference, w, h);
    if (!origin) {
        // Only the automatic position has no origin, and it never comes here; should it ever, the
        // popup goes to the caret rather than stopping the program.
        diagnostic("anchorOrigin called with .auto");
        return std::nullopt;
    }
    ScreenRect frame{origin->x, origin->y, w, h};
    if (const auto screen =
            PopupPlacement::screenContaining(screens, ScreenPoint{frame.midX(), frame.midY()})) {
        frame = PopupPlacement::clampFrame(frame, screen->visibleFrame);
    }
    return frame;
}

ScreenRect PopupController::caretFrame(ScreenRect frame) {
    const auto screen = PopupPlacement::screenContaining(desktop_.screens.screens(), lastAnchor_.point);
    if (!screen) {
        return frame;
    }
    return PopupPlacement::clampCaretFrame(frame, lastAnchor_, screen->visibleFrame, &flippedAboveAnchor_);
}

std::optional<double> PopupController::primaryHeight() {
    const auto screens = desktop_.screens.screens();
    if (screens.empty()) {
        return std::nullopt;
    }
    return screens.front().frame.height;
}

std::optional<PopupAnchor> PopupController::caretAnchorPoint() {
    const auto caret = desktop_.caret.caretRect();
    if (!caret || !caret->isFinite()) {
        return std::nullopt;
    }
    const auto p = primaryHeight();
    if (!p) {
        return std::nullopt;
    }
    return PopupPlacement::caretAnchor(*caret, *p);
}

std::optional<ScreenRect> PopupController::focusedWindowFrame() {
    const auto window = desktop_.focusedWindow.focusedWindowFrame();
    const auto p = primaryHeight();
    if (!window || !p || !window->isFinite()) {
        return std::nullopt;
    }
    return PopupPlacement::fromTopLeft(*window, *p);
}

} // namespace korvane
