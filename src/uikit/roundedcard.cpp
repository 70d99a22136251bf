#include "uikit/roundedcard.h"

#include <QPainter>

namespace korvane {

RoundedCard::RoundedCard(QWidget* parent)
    : QFrame(parent) {
    setFrameShape(QFrame::NoFrame);
}

void RoundedCard::setRadius(double radius) {
    radius_ = radius;
    update();
}

void RoundedCard::setFill(std::optional<QColor> fill) {
    fill_ = fill;
    update();
}

void RoundedCard::setStroke(std::optional<QColor> stroke, double width) {
    stroke_ = stroke;
    strokeWidth_ = width;
    update();
}

void RoundedCard::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const double inset = stroke_ ? strokeWidth_ / 2 : 0;
    const QRectF bounds = QRectF(rect()).adjusted(inset, inset, -inset, -inset);
    painter.setBrush(fill_ ? QBrush(*fill_) : QBrush(Qt::NoBrush));
    painter.setPen(stroke_ ? QPen(*stroke_, strokeWidth_) : QPen(Qt::NoPen));
    painter.drawRoundedRect(bounds, radius_, radius_);
}

} // namespace korvane
