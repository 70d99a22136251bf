#include "onboarding/views/symbolview.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <cmath>
#include <functional>
#include <map>

namespace korvane {
namespace {

// Each symbol draws in a 24 × 24 square; the painter is scaled to the box.
using Drawing = std::function<void(QPainter&, const QColor&)>;

QPen stroke(const QColor& color, double width = 2.0) {
    QPen pen(color, width);
    pen.setCapStyle(Qt::RoundCap);
    pen.setJoinStyle(Qt::RoundJoin);
    return pen;
}

void checkmark(QPainter& p, const QColor& ink) {
    p.setPen(stroke(ink, 2.4));
    p.drawPolyline(QPolygonF({QPointF(7, 12.5), QPointF(10.5, 16), QPointF(17, 8.5)}));
}

const std::map<QString, Drawing>& drawings() {
    static const std::map<QString, Drawing> all{
        {"lock.shield",
         [](QPainter& p, const QColor& c) {
             QPainterPath shield;
             shield.moveTo(12, 1.5);
             shield.lineTo(21, 5);
             shield.cubicTo(21, 14, 17, 20, 12, 22.5);
             shield.cubicTo(7, 20, 3, 14, 3, 5);
             shield.closeSubpath();
             p.setPen(stroke(c, 1.4));
             p.setBrush(Qt::NoBrush);
             p.drawPath(shield);
             p.drawArc(QRectF(9.5, 6.5, 5, 6), 0, 180 * 16);
             p.setPen(Qt::NoPen);
             p.setBrush(c);
             p.drawRoundedRect(QRectF(8.5, 10.5, 7, 6), 1, 1);
         }},
        {"checkmark.circle.fill",
         [](QPainter& p, const QColor& c) {
             p.setPen(Qt::NoPen);
             p.setBrush(c);
             p.drawEllipse(QRectF(1.5, 1.5, 21, 21));
             checkmark(p, Qt::white);
         }},
        {"exclamationmark.triangle.fill",
         [](QPainter& p, const QColor& c) {
             QPainterPath triangle;
             triangle.moveTo(12, 2);
             triangle.lineTo(23, 21.5);
             triangle.lineTo(1, 21.5);
             triangle.closeSubpath();
             p.setPen(stroke(c, 1.5));
             p.setBrush(c);
             p.drawPath(triangle);
             p.setPen(stroke(Qt::white, 2.4));
             p.drawLine(QPointF(12, 8.5), QPointF(12, 14));
             p.drawPoint(QPointF(12, 18));
         }},
        {"chevron.right",
         [](QPainter& p, const QColor& c) {
             p.setPen(stroke(c, 2.6));
             p.drawPolyline(QPolygonF({QPointF(9, 5), QPointF(16, 12), QPointF(9, 19)}));
         }},
        {"xmark",
         [](QPainter& p, const QColor& c) {
             p.setPen(stroke(c, 2.6));
             p.drawLine(QPointF(6, 6), QPointF(18, 18));
             p.drawLine(QPointF(18, 6), QPointF(6, 18));
         }},
        {"bolt.fill",
         [](QPainter& p, const QColor& c) {
             p.setPen(Qt::NoPen);
             p.setBrush(c);
             p.drawPolygon(QPolygonF({QPointF(14, 1), QPointF(4, 14), QPointF(11, 14), QPointF(9, 23),
                                      QPointF(20, 9.5), QPointF(13, 9.5)}));
         }},
        {"arrow.triangle.branch",
         [](QPainter& p, const QColor& c) {
             p.setPen(stroke(c, 2.0));
             p.setBrush(Qt::NoBrush);
             p.drawLine(QPointF(12, 22), QPointF(12, 12));
             QPainterPath arms;
             arms.moveTo(12, 12);
             arms.cubicTo(12, 8, 6, 8, 6, 3);
             arms.moveTo(12, 12);
             arms.cubicTo(12, 8, 18, 8, 18, 3);
             p.drawPath(arms);
             p.drawPolyline(QPolygonF({QPointF(3, 6), QPointF(6, 2.5), QPointF(9, 6)}));
             p.drawPolyline(QPolygonF({QPointF(15, 6), QPointF(18, 2.5), QPointF(21, 6)}));
         }},
        {"gearshape",
         [](QPainter& p, const QColor& c) {
             QPainterPath gear;
             for (int tooth = 0; tooth < 8; ++tooth) {
                 const double angle = tooth * M_PI / 4;
                 QPainterPath one;
                 one.addRect(QRectF(-2.2, -11, 4.4, 5));
                 QTransform turn;
                 turn.translate(12, 12);
                 turn.rotateRadians(angle);
                 gear = gear.united(turn.map(one));
             }
             QPainterPath body;
             body.addEllipse(QPointF(12, 12), 7.8, 7.8);
             gear = gear.united(body);
             QPainterPath hole;
             hole.addEllipse(QPointF(12, 12), 3.2, 3.2);
             p.setPen(Qt::NoPen);
             p.setBrush(c);
             p.drawPath(gear.subtracted(hole));
         }},
        {"terminal",
         [](QPainter& p, const QColor& c) {
             p.setPen(stroke(c, 1.6));
             p.setBrush(Qt::NoBrush);
             p.drawRoundedRect(QRectF(2, 4, 20, 16), 3, 3);
             p.drawPolyline(QPolygonF({QPointF(6, 9), QPointF(9, 12), QPointF(6, 15)}));
             p.drawLine(QPointF(11, 15.5), QPointF(16, 15.5));
         }},
        {"bubble.left",
         [](QPainter& p, const QColor& c) {
             QPainterPath bubble;
             bubble.addRoundedRect(QRectF(2, 3, 20, 14), 6, 6);
             QPainterPath tail;
             tail.moveTo(5, 15);
             tail.lineTo(4, 21);
             tail.lineTo(10, 16.5);
             p.setPen(stroke(c, 1.6));
             p.setBrush(Qt::NoBrush);
             p.drawPath(bubble.united(tail));
         }},
        {"envelope",
         [](QPainter& p, const QColor& c) {
             p.setPen(stroke(c, 1.6));
             p.setBrush(Qt::NoBrush);
             p.drawRoundedRect(QRectF(2, 5, 20, 14), 2, 2);
             p.drawPolyline(QPolygonF({QPointF(3, 6.5), QPointF(12, 13), QPointF(21, 6.5)}));
         }},
        {"app",
         [](QPainter& p, const QColor& c) {
             p.setPen(stroke(c, 1.6));
             p.setBrush(Qt::NoBrush);
             p.drawRoundedRect(QRectF(3, 3, 18, 18), 5, 5);
         }},
    };
    return all;
}

} // namespace

SymbolView::SymbolView(QString name, double size, QColor color, QWidget* parent)
    : QWidget(parent)
    , name_(std::move(name))
    , color_(color) {
    const int side = static_cast<int>(std::ceil(size));
    setFixedSize(side, side);
    setAccessibleName(name_);
}

bool SymbolView::knows(const QString& name) {
    return drawings().count(name) != 0;
}

void SymbolView::paint(QPainter& painter, const QString& name, const QRectF& box, const QColor& color) {
    const auto& all = drawings();
    auto found = all.find(name);
    if (found == all.end()) {
        found = all.find(QStringLiteral("app"));
    }
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const double side = std::min(box.width(), box.height());
    painter.translate(box.center().x() - side / 2, box.center().y() - side / 2);
    painter.scale(side / 24.0, side / 24.0);
    found->second(painter, color);
    painter.restore();
}

QIcon SymbolView::icon(const QString& name, int size, const QColor& color) {
    // Drawn at twice the size, so that it stays sharp on a scaled screen.
    QPixmap pixmap(2 * size, 2 * size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    paint(painter, name, QRectF(0, 0, 2 * size, 2 * size), color);
    painter.end();
    pixmap.setDevicePixelRatio(2);
    return QIcon(pixmap);
}

void SymbolView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    paint(painter, name_, QRectF(rect()), color_);
}

} // namespace korvane
