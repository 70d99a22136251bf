#include "onboarding/views/roundedpanel.h"

#include <QPainter>
#include <QPainterPath>

namespace korvane {

RoundedPanel::RoundedPanel(QColor fill, double radius, QWidget* parent)
    : QWidget(parent)
    , fill_(fill)
    , radius_(radius) {}

void RoundedPanel::setFill(QColor fill) {
    if (fill != fill_) {
        fill_ = fill;
        update();
    }
}

void RoundedPanel::setBorder(QColor color, double width) {
    border_ = color;
    borderWidth_ = width;
    update();
}

void RoundedPanel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF bounds = QRectF(rect());
    QPainterPath shape;
    shape.addRoundedRect(bounds, radius_, radius_);
    painter.fillPath(shape, fill_);
    if (borderWidth_ > 0) {
        // Stroked inside the edge, as the shape's own border.
        const double inset = borderWidth_ / 2;
        painter.setPen(QPen(border_, borderWidth_));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(bounds.adjusted(inset, inset, -inset, -inset), radius_ - inset, radius_ - inset);
    }
}

} // namespace korvane
