#pragma once

#include <QColor>
#include <QRectF>

class QPainter;
class QPalette;
class QWidget;

namespace korvane {

// The frame that shows which control has the keyboard in the settings and onboarding windows: the
// accent colour, made as strong as needed to stand out at 3:1 from what lies around it (also where a
// row's hover fill or a button's face shades it), in light and dark palettes alike. The style's own
// frame is a pale tint of the accent that can all but vanish on a dark window. Main thread.
class FocusFrame {
public:
    static constexpr double width = 2;

    // Whether `widget` shows its frame: it has the focus, and a key brought it there (as the style
    // shows its own frames).
    static bool shown(const QWidget& widget);
    // The colour of what lies behind `widget`: the background of the nearest ancestor that fills one.
    static QColor behind(const QWidget& widget);
    // `accent` unchanged where it stands out at 3:1 from `background`, and from `background` shaded
    // toward `ink`; else taken the least way toward black or white for which it does.
    static QColor colorOn(const QColor& accent, const QColor& background, const QColor& ink);
    // The frame's colour for `widget` in its palette and place.
    static QColor color(const QWidget& widget);
    // The same, for a frame drawn over the widget's own `fill` (which may be translucent).
    static QColor colorOver(const QWidget& widget, const QColor& fill);
    // The colour of a frame drawn on a fill of the accent (a chosen segment, a selected row) in
    // `palette`: the window's text colour where it stands out from the fill at 3:1, as it does from the
    // window; else the frame's colour on that fill.
    static QColor colorOnAccent(const QPalette& palette);
    // Draws the frame in `color` just inside `area`, with corners of `radius`.
    static void paint(QPainter& painter, const QRectF& area, const QColor& color, double radius);
    // Draws the frame on the face of a raised button filling `button`, inside the button's own edge, in
    // a colour that stands out from the face of `palette`.
    static void paintOnFace(QPainter& painter, const QRectF& button, const QPalette& palette);
};

} // namespace korvane
