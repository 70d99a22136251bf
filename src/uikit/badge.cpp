#include "uikit/badge.h"

#include "uikit/kitcolors.h"

#include <QFontMetrics>
#include <QPainter>

namespace korvane {

Badge::Badge(const QString& text, QWidget* parent)
    : QWidget(parent)
    , text_(text) {
    setAccessibleName(text);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void Badge::setText(const QString& text) {
    text_ = text;
    setAccessibleName(text);
    updateGeometry();
    update();
}

void Badge::setFill(const QColor& fill) {
    fill_ = fill;
    update();
}

void Badge::setTextColor(const QColor& color) {
    textColor_ = color;
    update();
}

void Badge::setPadding(int horizontal, int vertical) {
    horizontalPadding_ = horizontal;
    verticalPadding_ = vertical;
    updateGeometry();
}

void Badge::setRadius(double radius) {
    radius_ = radius;
    update();
}

QSize Badge::sizeHint() const {
    const QFontMetrics metrics(font());
    return {metrics.horizontalAdvance(text_) + 2 * horizontalPadding_,
            metrics.height() + 2 * verticalPadding_};
}

void Badge::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(fill_.isValid() ? fill_ : KitColors::quaternaryFill(*this));
    painter.drawRoundedRect(QRectF(rect()), radius_, radius_);
    painter.setPen(textColor_.isValid() ? textColor_ : KitColors::primaryText(*this));
    painter.setFont(font());
    const QRect inner = rect().adjusted(horizontalPadding_, 0, -horizontalPadding_, 0);
    painter.drawText(inner, Qt::AlignLeft | Qt::AlignVCenter,
                     QFontMetrics(font()).elidedText(text_, Qt::ElideRight, inner.width()));
}

} // namespace korvane
