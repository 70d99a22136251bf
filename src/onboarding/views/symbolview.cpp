#include "onboarding/views/symbolview.h"

#include "uikit/symbolicon.h"

#include <QPainter>
#include <cmath>

namespace korvane {

SymbolView::SymbolView(QString name, double size, QColor color, QWidget* parent)
    : QWidget(parent)
    , name_(SymbolIcon::has(name.toStdString()) ? std::move(name) : QStringLiteral("app"))
    , color_(color) {
    const int side = static_cast<int>(std::ceil(size));
    setFixedSize(side, side);
}

void SymbolView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    SymbolIcon::paint(painter, name_.toStdString(), QRectF(rect()), color_);
}

} // namespace korvane
