#include "popup/views/wrappedtext.h"

#include "popup/views/surfacepainter.h"

#include <QFontMetricsF>
#include <QTextLayout>
#include <QWidget>
#include <cmath>

namespace korvane {

WrappedText::WrappedText(const QString& text, const QFont& font, double width, int maxLines)
    : font_(font)
    , width_(width) {
    lineHeight_ = std::ceil(QFontMetricsF(font).height());
    QString shown = text;
    shown.replace(QChar('\n'), QChar::LineSeparator);
    QTextLayout layout(shown, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    std::vector<std::pair<int, int>> spans;
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(std::max(1.0, width));
        spans.emplace_back(line.textStart(), line.textLength());
    }
    layout.endLayout();
    for (std::size_t i = 0; i < spans.size(); ++i) {
        if (maxLines > 0 && static_cast<int>(i) == maxLines - 1 &&
            spans.size() > static_cast<std::size_t>(maxLines)) {
            // The last shown line takes the rest of the text and is cut at its tail when drawn.
            QString rest = shown.mid(spans[i].first).simplified();
            lines_.push_back(rest);
            break;
        }
        lines_.push_back(shown.mid(spans[i].first, spans[i].second).trimmed());
    }
}

void WrappedText::paint(QPainter& painter, const PaintContext& context, QPointF topLeft, Color color,
                        const char* role) const {
    double y = topLeft.y();
    for (const QString& line : lines_) {
        context.drawText(painter, QRectF(topLeft.x(), y, width_, lineHeight_), TextRun{line, font_, color},
                         Qt::AlignLeft, role);
        y += lineHeight_;
    }
}

Color popupAccentColor() {
    return Color{0.04, 0.52, 1.0, 1.0};
}

void clipToPopupOutline(QPainter& painter, const QWidget& child) {
    const QWidget* root = child.parentWidget();
    if (root == nullptr) {
        return;
    }
    PaintContext::clipTo(painter,
                         SurfacePainter::outline(QRectF(root->rect()), 8).translated(-QPointF(child.pos())));
}

QEasingCurve popupEaseOut() {
    QEasingCurve curve(QEasingCurve::BezierSpline);
    curve.addCubicBezierSegment(QPointF(0, 0), QPointF(0.58, 1), QPointF(1, 1));
    return curve;
}

} // namespace korvane
