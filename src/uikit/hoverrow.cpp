#include "uikit/hoverrow.h"

#include "uikit/kitcolors.h"

#include <QMouseEvent>
#include <QPainter>

namespace korvane {

HoverRow::HoverRow(QWidget* parent)
    : QWidget(parent) {
    setAttribute(Qt::WA_Hover);
}

void HoverRow::setHovered(bool hovered) {
    if (hovered_ == hovered) {
        return;
    }
    hovered_ = hovered;
    update();
    if (onHoverChanged) {
        onHoverChanged(hovered);
    }
}

void HoverRow::enterEvent(QEnterEvent* event) {
    QWidget::enterEvent(event);
    setHovered(true);
}

void HoverRow::leaveEvent(QEvent* event) {
    QWidget::leaveEvent(event);
    setHovered(false);
}

void HoverRow::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()) && onClicked) {
        onClicked();
        return;
    }
    QWidget::mouseReleaseEvent(event);
}

void HoverRow::paintEvent(QPaintEvent*) {
    if (!hovered_) {
        return;
    }
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(KitColors::withAlpha(KitColors::primaryText(*this), 0.04));
    painter.drawRoundedRect(QRectF(rect()), radius_, radius_);
}

} // namespace korvane
