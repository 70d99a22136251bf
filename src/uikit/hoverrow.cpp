#include "uikit/hoverrow.h"

#include "uikit/kitcolors.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>

namespace korvane {

HoverRow::HoverRow(QWidget* parent)
    : QWidget(parent) {
    setAttribute(Qt::WA_Hover);
    connect(qApp, &QApplication::focusChanged, this, &HoverRow::focusMoved);
}

void HoverRow::setHovered(bool hovered) {
    changeState(hovered, focusWithin_);
}

void HoverRow::focusMoved(QWidget*, QWidget* to) {
    changeState(hovered_, to && (to == this || isAncestorOf(to)));
}

void HoverRow::changeState(bool hovered, bool focusWithin) {
    const bool wasHighlighted = isHighlighted();
    hovered_ = hovered;
    focusWithin_ = focusWithin;
    if (isHighlighted() == wasHighlighted) {
        return;
    }
    update();
    if (onHighlightChanged) {
        onHighlightChanged(isHighlighted());
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
    if (!isHighlighted()) {
        return;
    }
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(KitColors::withAlpha(KitColors::primaryText(*this), 0.04));
    painter.drawRoundedRect(QRectF(rect()), radius_, radius_);
}

} // namespace korvane
