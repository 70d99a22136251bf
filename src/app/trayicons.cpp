#include "app/trayicons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace korvane {
namespace {

constexpr int glyphSize = 22;

QPixmap canvas() {
    QPixmap pixmap(glyphSize, glyphSize);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

QPen glyphPen(qreal width) {
    // Light on dark: trays are mostly dark panels, and a dark outline keeps it visible on light ones.
    return QPen(QColor(236, 236, 236), width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

QPixmap textCursorGlyph() {
    QPixmap pixmap = canvas();
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath beam;
    beam.moveTo(7, 3);
    beam.quadTo(11, 3, 11, 6);
    beam.quadTo(11, 3, 15, 3);
    beam.moveTo(11, 6);
    beam.lineTo(11, 16);
    beam.moveTo(7, 19);
    beam.quadTo(11, 19, 11, 16);
    beam.quadTo(11, 19, 15, 19);
    painter.setPen(QPen(QColor(40, 40, 40), 3.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPath(beam);
    painter.setPen(glyphPen(1.8));
    painter.drawPath(beam);
    return pixmap;
}

QPixmap lockGlyph() {
    QPixmap pixmap = canvas();
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath shackle;
    shackle.arcMoveTo(QRectF(7, 3, 8, 10), 0);
    shackle.arcTo(QRectF(7, 3, 8, 10), 0, 180);
    shackle.lineTo(7, 10);
    shackle.moveTo(15, 8);
    shackle.lineTo(15, 10);
    QPainterPath body;
    body.addRoundedRect(QRectF(4.5, 10, 13, 9), 2, 2);
    // The same dark outline as the cursor glyph, so that the lock reads on light trays too.
    const QPen outline(QColor(40, 40, 40), 3.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    painter.strokePath(shackle, outline);
    painter.strokePath(body, QPen(QColor(40, 40, 40), 1.6));
    painter.strokePath(shackle, glyphPen(2.0));
    painter.fillPath(body, QColor(236, 236, 236));
    return pixmap;
}

QPixmap downArrowGlyph() {
    QPixmap pixmap = canvas();
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(236, 236, 236));
    painter.drawEllipse(QRectF(2, 2, 18, 18));
    painter.setPen(QPen(QColor(30, 30, 30), 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawLine(QPointF(11, 6), QPointF(11, 15));
    painter.drawPolyline(QPolygonF({QPointF(7, 11.5), QPointF(11, 15.5), QPointF(15, 11.5)}));
    return pixmap;
}

} // namespace

QPixmap trayGlyph(const std::string& themeName) {
    if (themeName == "changes-prevent") {
        return lockGlyph();
    }
    if (themeName == "go-down") {
        return downArrowGlyph();
    }
    return textCursorGlyph();
}

QIcon trayIcon(const std::string& themeName) {
    return QIcon::fromTheme(QString::fromStdString(themeName), QIcon(trayGlyph(themeName)));
}

QIcon menuIcon(const std::string& themeName) {
    return QIcon::fromTheme(QString::fromStdString(themeName));
}

} // namespace korvane
