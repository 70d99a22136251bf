#include "detail/views/detailsymbols.h"

#include <QPainterPath>
#include <algorithm>

namespace korvane {

void DetailSymbols::globe(QPainter& painter, const QRectF& box, const QColor& color) {
    const double size = std::min(box.width(), box.height());
    const QRectF circle(box.center().x() - size / 2, box.center().y() - size / 2, size, size);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(color, std::max(1.0, size / 12)));
    painter.setBrush(Qt::NoBrush);
    const QRectF inner = circle.adjusted(0.5, 0.5, -0.5, -0.5);
    painter.drawEllipse(inner);
    painter.drawEllipse(
        QRectF(inner.center().x() - inner.width() / 4, inner.top(), inner.width() / 2, inner.height()));
    painter.drawLine(QPointF(inner.left(), inner.center().y()), QPointF(inner.right(), inner.center().y()));
    painter.drawLine(QPointF(inner.center().x(), inner.top()), QPointF(inner.center().x(), inner.bottom()));
    painter.restore();
}

void DetailSymbols::arrow(QPainter& painter, const QRectF& box, bool up, const QColor& color) {
    const double h = box.height();
    const double x = box.center().x();
    const double tip = up ? box.top() + 0.5 : box.bottom() - 0.5;
    const double tail = up ? box.bottom() - 0.5 : box.top() + 0.5;
    const double wing = (up ? 1 : -1) * h * 0.4;
    QPainterPath path;
    path.moveTo(x, tail);
    path.lineTo(x, tip);
    path.moveTo(x - h * 0.35, tip + wing);
    path.lineTo(x, tip);
    path.lineTo(x + h * 0.35, tip + wing);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    QPen pen(color, std::max(1.0, h / 8));
    pen.setCapStyle(Qt::RoundCap);
    pen.setJoinStyle(Qt::RoundJoin);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(path);
    painter.restore();
}

} // namespace korvane
