#include "detail/views/detailpaintcursor.h"

#include "popup/namedcolors.h"
#include "popup/views/surfacepainter.h"
#include "popup/views/wrappedtext.h"

#include <QFontMetricsF>
#include <cmath>

namespace korvane {

DetailPaintCursor::DetailPaintCursor(QPainter& painter, const PaintContext& context, const QRectF& frame,
                                     std::vector<std::string>& texts)
    : painter_(painter)
    , context_(context)
    , frame_(frame)
    , y_(frame.top())
    , texts_(texts) {}

void DetailPaintCursor::child() {
    if (!first_) {
        y_ += stackSpacing;
    }
    first_ = false;
}

Color DetailPaintCursor::primary(double opacity) const {
    return withOpacity(context_.surface.textPrimary, opacity);
}

double DetailPaintCursor::wrapped(const QString& text, const QFont& font, Color color, int maxLines,
                                  const char* role) {
    const WrappedText lines(text, font, frame_.width(), maxLines);
    lines.paint(painter_, context_, QPointF(frame_.left(), y_), color, role);
    for (const QString& shown : lines.lines()) {
        texts_.push_back(shown.toStdString());
    }
    y_ += lines.height();
    return lines.height();
}

double DetailPaintCursor::line(const std::vector<TextRun>& runs, double x, double height, const char* role) {
    std::string joined;
    for (const auto& run : runs) {
        joined += run.text.toStdString();
    }
    texts_.push_back(joined);
    return context_.drawLine(painter_,
                             QRectF(frame_.left() + x, y_, std::max(0.0, frame_.width() - x), height), runs,
                             Qt::AlignLeft, role);
}

void DetailPaintCursor::divider() {
    SurfacePainter::horizontalDivider(painter_, QRectF(frame_.left(), y_, frame_.width(), 1),
                                      context_.surface);
    y_ += 1;
}

} // namespace korvane
