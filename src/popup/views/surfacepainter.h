#pragma once

#include "popup/popupsurfacestyle.h"

#include <QPainter>
#include <QPainterPath>
#include <QRectF>

namespace korvane {

// Draws the popup's backdrop and hairlines: the opaque fill inside the rounded outline with a thin
// border drawn inside its edge, and the 1 pt dividers. The desktop offers no glass material, so a
// glass surface is drawn the solid way too. Main thread.
class SurfacePainter {
public:
    static constexpr double borderWidth = 0.5;
    static constexpr double dividerOpacity = 0.1;

    // The rounded outline the popup's content is clipped to.
    static QPainterPath outline(const QRectF& rect, double cornerRadius);
    static void paintBackground(QPainter& painter, const QRectF& rect, const PopupSurfaceStyle& surface,
                                double cornerRadius);
    // The border, drawn over the content, inside the outline so that it never widens the popup.
    static void paintBorder(QPainter& painter, const QRectF& rect, const PopupSurfaceStyle& surface,
                            double cornerRadius);
    // Without a compositor the window has no shadow, and the hairline border vanishes against a
    // window of the popup's own shade: this outline, in the text colour, keeps the popup apart.
    static void paintShadowlessOutline(QPainter& painter, const QRectF& rect, const PopupSurfaceStyle& surface,
                                       double cornerRadius);
    static constexpr double shadowlessOutlineOpacity = 0.35;
    // A 1 pt line across `rect`'s width at its top, and one down its height at its left.
    static void horizontalDivider(QPainter& painter, const QRectF& rect, const PopupSurfaceStyle& surface);
    static void verticalDivider(QPainter& painter, const QRectF& rect, const PopupSurfaceStyle& surface);
};

} // namespace korvane
