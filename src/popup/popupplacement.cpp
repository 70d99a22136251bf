#include "popup/popupplacement.h"

#include <algorithm>

namespace korvane {

std::optional<ScreenPoint> PopupPlacement::anchorOrigin(PopupPosition position, const ScreenRect& r, double w,
                                                        double h) {
    switch (position) {
    case PopupPosition::topLeft:
        return ScreenPoint{r.minX() + fixedMargin, r.maxY() - h - fixedMargin};
    case PopupPosition::topRight:
        return ScreenPoint{r.maxX() - w - fixedMargin, r.maxY() - h - fixedMargin};
    case PopupPosition::bottomLeft:
        return ScreenPoint{r.minX() + fixedMargin, r.minY() + fixedMargin};
    case PopupPosition::bottomRight:
        return ScreenPoint{r.maxX() - w - fixedMargin, r.minY() + fixedMargin};
    case PopupPosition::center:
        return ScreenPoint{r.midX() - w / 2, r.midY() - h / 2};
    case PopupPosition::bottomCenter:
        return ScreenPoint{r.midX() - w / 2, r.minY() + fixedMargin};
    case PopupPosition::automatic:
        break;
    }
    return std::nullopt;
}

ScreenRect PopupPlacement::clampFrame(ScreenRect frame, const ScreenRect& v) {
    if (frame.maxX() > v.maxX()) {
        frame.x = v.maxX() - frame.width;
    }
    if (frame.minX() < v.minX()) {
        frame.x = v.minX();
    }
    if (frame.maxY() > v.maxY()) {
        frame.y = v.maxY() - frame.height;
    }
    if (frame.minY() < v.minY()) {
        frame.y = v.minY();
    }
    return frame;
}

ScreenRect PopupPlacement::clampCaretFrame(ScreenRect frame, const PopupAnchor& anchor, const ScreenRect& v,
                                           bool* flipped) {
    bool above = frame.minY() >= anchor.point.y;
    if (frame.maxX() > v.maxX()) {
        frame.x = v.maxX() - frame.width;
    }
    if (frame.minX() < v.minX()) {
        frame.x = v.minX();
    }
    if (frame.minY() < v.minY()) {
        // Above the caret line itself, not above the anchor below it, so the popup never hides what
        // the user is typing.
        frame.y = anchor.caretTop.value_or(anchor.point.y) + flipGap;
        above = true;
    }
    if (frame.maxY() > v.maxY()) {
        frame.y = v.maxY() - frame.height;
    }
    if (flipped != nullptr) {
        *flipped = above;
    }
    return frame;
}

std::optional<ScreenInfo> PopupPlacement::screenContaining(const std::vector<ScreenInfo>& screens,
                                                           ScreenPoint p) {
    const auto it = std::find_if(screens.begin(), screens.end(),
                                 [&](const ScreenInfo& screen) { return screen.frame.contains(p); });
    if (it != screens.end()) {
        return *it;
    }
    if (screens.empty()) {
        return std::nullopt;
    }
    return screens.front();
}

PopupAnchor PopupPlacement::windowBottomAnchor(const ScreenRect& window) {
    return PopupAnchor{ScreenPoint{window.minX() + windowCornerOffset, window.minY()},
                       window.minY() + windowBottomLinesHeight};
}

PopupAnchor PopupPlacement::caretAnchor(const ScreenRect& caret, double primaryHeight) {
    const double h = caret.height;
    return PopupAnchor{ScreenPoint{caret.x, primaryHeight - (caret.y + h + std::max(h, 4.0) + 4)},
                       primaryHeight - caret.y};
}

ScreenRect PopupPlacement::fromTopLeft(const ScreenRect& r, double primaryHeight) {
    return ScreenRect{r.x, primaryHeight - r.y - r.height, r.width, r.height};
}

bool PopupPlacement::detailOnRight(ScreenPoint point, const ScreenRect& v, double baseWidth) {
    const double leftRoom = point.x - v.minX();
    const double rightRoom = v.maxX() - (point.x + baseWidth);
    return leftRoom <= rightRoom;
}

} // namespace korvane
