#pragma once

#include "config/themeconfig.h"
#include "model/color.h"
#include "popup/popupsurfacestyle.h"
#include "popup/views/fontroles.h"
#include "popup/views/paintlog.h"

#include <QColor>
#include <QFont>
#include <QPainter>
#include <QRectF>
#include <QString>
#include <vector>

class QPainterPath;

namespace korvane {

// One stretch of text in one font and colour.
struct TextRun {
    QString text;
    QFont font;
    Color color;
};

// What every popup view draws with: the surface's colours, the theme's sizes, and the paint log
// when a test watches. Handed down from the popup's surface to every view. Main thread.
struct PaintContext {
    PopupSurfaceStyle surface;
    ThemeConfig theme;
    PaintLog* log = nullptr;

    // The theme's font size as drawn.
    double fontSize() const;
    QFont font(FontRoles::Design design, double size, QFont::Weight weight) const {
        return FontRoles::font(design, size, weight);
    }

    static QColor qcolor(Color color);

    // Narrows `painter`'s clip to `area` within the clip it already holds, never replacing it: a view
    // clipping its own part stays inside the part its parent gave it. Every popup view clips this way.
    static void clipTo(QPainter& painter, const QRectF& area);
    static void clipTo(QPainter& painter, const QPainterPath& area);

    // Draws `runs` on one line in `rect`, vertically centred and aligned by `alignment`; when they do
    // not fit, the tail is cut at a character boundary and ends in "…". Returns the width drawn.
    double drawLine(QPainter& painter, const QRectF& rect, const std::vector<TextRun>& runs,
                    Qt::Alignment alignment, const char* role) const;
    // One run on one line.
    double drawText(QPainter& painter, const QRectF& rect, const TextRun& run, Qt::Alignment alignment,
                    const char* role) const {
        return drawLine(painter, rect, {run}, alignment, role);
    }
    // Draws `run` wrapped at word boundaries within `rect`'s width, each line centred, the block
    // centred vertically. Returns the height the lines take.
    double drawWrapped(QPainter& painter, const QRectF& rect, const TextRun& run, const char* role) const;

    // The width `runs` need on one line.
    static double width(const std::vector<TextRun>& runs);
};

} // namespace korvane
