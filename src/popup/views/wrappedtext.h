#pragma once

#include "model/color.h"
#include "popup/views/paintcontext.h"

#include <QEasingCurve>
#include <QFont>
#include <QPainter>
#include <QString>
#include <QStringList>

class QWidget;

namespace korvane {

// A text broken into lines at word boundaries within a width, leading-aligned, optionally cut to a
// number of lines with the last one ending in "…". The popup's panels and help rows draw with it.
// Main thread.
class WrappedText {
public:
    WrappedText(const QString& text, const QFont& font, double width, int maxLines = 0);

    const QStringList& lines() const { return lines_; }
    double lineHeight() const { return lineHeight_; }
    double height() const { return lineHeight_ * static_cast<double>(lines_.size()); }

    // Draws the lines from `topLeft` down, each logged under `role`.
    void paint(QPainter& painter, const PaintContext& context, QPointF topLeft, Color color,
               const char* role) const;

private:
    QFont font_;
    double width_;
    QStringList lines_;
    double lineHeight_ = 0;
};

// The accent colour the popup marks keyboard focus with; one fixed value so every desktop draws
// the same.
Color popupAccentColor();

// Clips `painter` of `child`, a direct child of the popup's root view, to the popup's rounded outline.
void clipToPopupOutline(QPainter& painter, const QWidget& child);

// The standard ease-out curve of the popup's short fades and scrolls.
QEasingCurve popupEaseOut();

} // namespace korvane
