#include "popup/views/painticons.h"

#include <QPainterPath>
#include <cmath>
#include <numbers>

namespace korvane {

void PaintIcons::magnifier(QPainter& painter, const QRectF& box, double size, const QColor& color,
                           double weight) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const QPointF c = box.center();
    const double stroke = std::max(1.0, size * 0.11 * weight);
    const double r = size * 0.33;
    const QPointF lens(c.x() - size * 0.09, c.y() - size * 0.09);
    QPen pen(color, stroke, Qt::SolidLine, Qt::RoundCap);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(lens, r, r);
    const double d = r / std::numbers::sqrt2;
    painter.drawLine(QPointF(lens.x() + d, lens.y() + d), QPointF(c.x() + size * 0.42, c.y() + size * 0.42));
    painter.restore();
}

void PaintIcons::arrowUpForward(QPainter& painter, const QRectF& box, double size, const QColor& color) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const QPointF c = box.center();
    const double half = size / 2 * 0.8;
    QPen pen(color, std::max(1.0, size * 0.16), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    painter.setPen(pen);
    const QPointF tip(c.x() + half, c.y() - half);
    painter.drawLine(QPointF(c.x() - half, c.y() + half), tip);
    QPainterPath head;
    head.moveTo(tip.x() - size * 0.6, tip.y());
    head.lineTo(tip);
    head.lineTo(tip.x(), tip.y() + size * 0.6);
    painter.drawPath(head);
    painter.restore();
}

void PaintIcons::spinner(QPainter& painter, const QRectF& box, double size, const QColor& color,
                         double phase) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const QPointF c = box.center();
    const int spokes = 8;
    const int lead = static_cast<int>(std::floor(phase * spokes)) % spokes;
    for (int i = 0; i < spokes; ++i) {
        const double angle = 2 * std::numbers::pi * i / spokes - std::numbers::pi / 2;
        const int age = (lead - i + spokes) % spokes;
        QColor spoke = color;
        spoke.setAlphaF(color.alphaF() * static_cast<float>(1.0 - 0.75 * age / (spokes - 1)));
        painter.setPen(QPen(spoke, std::max(1.0, size * 0.12), Qt::SolidLine, Qt::RoundCap));
        const QPointF dir(std::cos(angle), std::sin(angle));
        painter.drawLine(c + dir * size * 0.22, c + dir * size * 0.48);
    }
    painter.restore();
}

} // namespace korvane
