#pragma once

#include "popup/views/paintcontext.h"

#include <QFont>
#include <QPainter>
#include <QRectF>
#include <string>
#include <vector>

namespace korvane {

// Lays the detail panel's pieces out top to bottom inside its inset frame as it draws them: the
// outer stack's 8 pt spacing between children, texts wrapped or cut to their line limits, dividers,
// and every text drawn noted for assistive technology. One per paint; main thread.
class DetailPaintCursor {
public:
    static constexpr double stackSpacing = 8;

    DetailPaintCursor(QPainter& painter, const PaintContext& context, const QRectF& frame,
                      std::vector<std::string>& texts);

    QPainter& painter() const { return painter_; }
    const PaintContext& context() const { return context_; }
    double fontSize() const { return context_.fontSize(); }
    double left() const { return frame_.left(); }
    double width() const { return frame_.width(); }
    double y() const { return y_; }
    double remaining() const { return std::max(0.0, frame_.bottom() - y_); }

    // Starts the next child of the outer stack: the spacing, unless it is the first.
    void child();
    void advance(double height) { y_ += height; }

    // `textPrimary` at `opacity`.
    Color primary(double opacity) const;
    QFont font(FontRoles::Design design, double size, QFont::Weight weight = QFont::Normal) const {
        return context_.font(design, size, weight);
    }

    // Draws `text` wrapped to the width, at most `maxLines` lines (0: no limit), the last one cut at
    // its tail; returns its height.
    double wrapped(const QString& text, const QFont& font, Color color, int maxLines, const char* role);
    // Draws `runs` on one line at `x` (relative to the frame's left) of height `height`; returns the
    // width drawn.
    double line(const std::vector<TextRun>& runs, double x, double height, const char* role);
    // A 1 pt divider across the frame at the current height.
    void divider();
    // Notes a text drawn by other means.
    void note(const std::string& text) { texts_.push_back(text); }

private:
    QPainter& painter_;
    const PaintContext& context_;
    QRectF frame_;
    double y_;
    bool first_ = true;
    std::vector<std::string>& texts_;
};

} // namespace korvane
