#pragma once

#include "config/popupposition.h"
#include "platform/screengeometry.h"

#include <optional>
#include <vector>

namespace korvane {

// Where the popup may be anchored when it follows the caret: the anchor point under the caret, or a
// fallback corner, with the caret's top edge when the anchor came from a caret.
struct PopupAnchor {
    ScreenPoint point;
    std::optional<double> caretTop;

    bool operator==(const PopupAnchor&) const = default;
};

// The pure geometry of placing the popup, in screen coordinates (y upwards). Any thread.
class PopupPlacement {
public:
    static constexpr double fixedMargin = 20;
    static constexpr double flipGap = 4;
    static constexpr double windowCornerOffset = 30;
    // The bottom two text lines of a window whose caret is unknown, where a terminal's prompt is.
    static constexpr double windowBottomLinesHeight = 40;
    static constexpr double pointerOffsetX = 8;
    static constexpr double pointerOffsetY = -4;

    // The origin of a popup of `width` x `height` at a fixed `position` against `reference`; nothing
    // for the automatic position, which is placed at the caret instead.
    static std::optional<ScreenPoint> anchorOrigin(PopupPosition position, const ScreenRect& reference,
                                                   double width, double height);

    // Keeps `frame` inside `visible`; when it is larger, the left and bottom edges win.
    static ScreenRect clampFrame(ScreenRect frame, const ScreenRect& visible);

    // Keeps a frame hanging below `anchor` inside `visible`: shifted left from the right edge, right
    // from the left edge, flipped above the caret when it would leave the bottom (its bottom edge 4
    // above the caret's top, or 4 above a fallback anchor), then kept below the top.
    // `flipped` tells whether the frame now stands above its anchor.
    static ScreenRect clampCaretFrame(ScreenRect frame, const PopupAnchor& anchor, const ScreenRect& visible,
                                      bool* flipped = nullptr);

    // The first screen whose frame holds `point`, otherwise the first screen; nothing without screens.
    static std::optional<ScreenInfo> screenContaining(const std::vector<ScreenInfo>& screens,
                                                      ScreenPoint point);

    // The anchor under a caret rectangle given in top-left coordinates, for a primary screen of height
    // `primaryHeight`: below the caret's bottom by its height (at least 4) plus 4.
    static PopupAnchor caretAnchor(const ScreenRect& caretTopLeft, double primaryHeight);
    // The anchor for a window whose caret is unknown: the popup hangs under the window's bottom
    // edge and, without room there, flips above the window's bottom lines instead of over them.
    static PopupAnchor windowBottomAnchor(const ScreenRect& window);

    // A rectangle in top-left coordinates as a frame in screen coordinates.
    static ScreenRect fromTopLeft(const ScreenRect& rect, double primaryHeight);

    // Whether the detail column goes right of a popup at `point`: when there is at least as much
    // room on the right (beyond `baseWidth`) as on the left.
    static bool detailOnRight(ScreenPoint point, const ScreenRect& visible, double baseWidth);
};

} // namespace korvane
