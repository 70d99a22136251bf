#include "uikit/symbolpaths.h"

#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

namespace korvane {
namespace {

// Outlines only: the symbol's colour stays on the pen.
void outline(QPainter& p) {
    p.setBrush(Qt::NoBrush);
}

// Solid shapes: the pen's colour becomes the fill, without a stroke.
void solid(QPainter& p) {
    p.setBrush(p.pen().color());
    p.setPen(Qt::NoPen);
}

// A shape cut out of a solid one, in the transparent "colour".
void cut(QPainter& p) {
    p.setCompositionMode(QPainter::CompositionMode_Clear);
}

void line(QPainter& p, double x1, double y1, double x2, double y2) {
    p.drawLine(QPointF(x1, y1), QPointF(x2, y2));
}

void magnifyingGlass(QPainter& p) {
    outline(p);
    p.drawEllipse(QPointF(6.8, 6.8), 4.6, 4.6);
    p.setPen(QPen(p.pen().color(), 1.8, Qt::SolidLine, Qt::RoundCap));
    line(p, 10.3, 10.3, 14.2, 14.2);
}

void plus(QPainter& p) {
    p.setPen(QPen(p.pen().color(), 1.7, Qt::SolidLine, Qt::RoundCap));
    line(p, 8, 2.5, 8, 13.5);
    line(p, 2.5, 8, 13.5, 8);
}

void xmark(QPainter& p) {
    p.setPen(QPen(p.pen().color(), 1.7, Qt::SolidLine, Qt::RoundCap));
    line(p, 3.5, 3.5, 12.5, 12.5);
    line(p, 12.5, 3.5, 3.5, 12.5);
}

void trash(QPainter& p) {
    outline(p);
    line(p, 2.5, 4, 13.5, 4);
    p.drawRect(QRectF(6, 1.8, 4, 2.2));
    QPolygonF can{{3.8, 4}, {4.8, 14.2}, {11.2, 14.2}, {12.2, 4}};
    p.drawPolyline(can);
    line(p, 6.6, 6.5, 6.8, 11.8);
    line(p, 9.4, 6.5, 9.2, 11.8);
}

void pencil(QPainter& p) {
    outline(p);
    QPolygonF body{{11, 2.2}, {13.8, 5}, {5.5, 13.3}, {2.2, 13.8}, {2.7, 10.5}};
    p.drawPolygon(body);
    line(p, 9.4, 3.8, 12.2, 6.6);
}

void textQuote(QPainter& p) {
    outline(p);
    line(p, 2, 3.5, 14, 3.5);
    line(p, 5, 6.5, 14, 6.5);
    line(p, 5, 9.5, 14, 9.5);
    line(p, 2, 12.5, 11, 12.5);
    line(p, 2.5, 6, 2.5, 10);
}

void textAlignLeft(QPainter& p) {
    outline(p);
    line(p, 2, 3.5, 14, 3.5);
    line(p, 2, 6.5, 10, 6.5);
    line(p, 2, 9.5, 14, 9.5);
    line(p, 2, 12.5, 9, 12.5);
}

void arrowUpForwardSquare(QPainter& p) {
    outline(p);
    p.drawRoundedRect(QRectF(2, 2, 12, 12), 2.5, 2.5);
    line(p, 5.8, 10.2, 10.5, 5.5);
    p.drawPolyline(QPolygonF{{6.8, 5.5}, {10.5, 5.5}, {10.5, 9.2}});
}

void gearshape(QPainter& p) {
    outline(p);
    for (int i = 0; i < 8; ++i) {
        p.save();
        p.translate(8, 8);
        p.rotate(i * 45.0);
        p.setPen(QPen(p.pen().color(), 2.2, Qt::SolidLine, Qt::FlatCap));
        line(p, 0, -5.2, 0, -7.2);
        p.restore();
    }
    p.drawEllipse(QPointF(8, 8), 4.9, 4.9);
    p.drawEllipse(QPointF(8, 8), 1.9, 1.9);
}

void sidebarLeading(QPainter& p) {
    outline(p);
    p.drawRoundedRect(QRectF(1.5, 2.5, 13, 11), 2, 2);
    line(p, 6, 2.5, 6, 13.5);
    line(p, 3, 5, 4.5, 5);
    line(p, 3, 7, 4.5, 7);
}

void docText(QPainter& p) {
    outline(p);
    p.drawPolygon(QPolygonF{{3, 1.5}, {9.5, 1.5}, {13, 5}, {13, 14.5}, {3, 14.5}});
    p.drawPolyline(QPolygonF{{9.5, 1.5}, {9.5, 5}, {13, 5}});
    line(p, 5.5, 8, 10.5, 8);
    line(p, 5.5, 10.5, 10.5, 10.5);
    line(p, 5.5, 13, 8.5, 13);
}

void warningTriangle(QPainter& p) {
    solid(p);
    QPainterPath triangle;
    triangle.moveTo(8, 1.5);
    triangle.lineTo(15, 14);
    triangle.lineTo(1, 14);
    triangle.closeSubpath();
    p.drawPath(triangle);
    cut(p);
    p.drawRoundedRect(QRectF(7.2, 5.2, 1.6, 5), 0.8, 0.8);
    p.drawEllipse(QPointF(8, 12), 0.95, 0.95);
}

void eyeShape(QPainter& p) {
    QPainterPath eye;
    eye.moveTo(1, 8);
    eye.quadTo(8, 0.5, 15, 8);
    eye.quadTo(8, 15.5, 1, 8);
    p.setBrush(Qt::NoBrush);
    p.drawPath(eye);
    p.setBrush(p.pen().color());
    p.drawEllipse(QPointF(8, 8), 2.2, 2.2);
}

void eye(QPainter& p) {
    eyeShape(p);
}

void eyeSlash(QPainter& p) {
    eyeShape(p);
    line(p, 2.5, 1.8, 13.5, 14.2);
}

// An application without an icon of its own: a softly filled tile holding a grid of four dots, so
// that beside check boxes it never reads as an empty one.
void app(QPainter& p) {
    const QColor ink = p.pen().color();
    QColor tile = ink;
    tile.setAlphaF(ink.alphaF() * 0.3f);
    p.setPen(Qt::NoPen);
    p.setBrush(tile);
    p.drawRoundedRect(QRectF(1.5, 1.5, 13, 13), 3.5, 3.5);
    p.setBrush(ink);
    for (double x : {5.6, 10.4}) {
        for (double y : {5.6, 10.4}) {
            p.drawEllipse(QPointF(x, y), 1.7, 1.7);
        }
    }
}

void appBadgeCheckmark(QPainter& p) {
    outline(p);
    p.drawRoundedRect(QRectF(1.5, 2.5, 10.5, 10.5), 2.6, 2.6);
    solid(p);
    p.drawEllipse(QPointF(11.8, 11.8), 3.9, 3.9);
    cut(p);
    p.setPen(QPen(Qt::black, 1.3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPolyline(QPolygonF{{10, 11.9}, {11.3, 13.2}, {13.7, 10.5}});
}

void squareGrid(QPainter& p) {
    outline(p);
    for (double x : {2.0, 9.0}) {
        for (double y : {2.0, 9.0}) {
            p.drawRoundedRect(QRectF(x, y, 5, 5), 1.2, 1.2);
        }
    }
}

void lockShield(QPainter& p) {
    outline(p);
    QPainterPath shield;
    shield.moveTo(8, 1.2);
    shield.lineTo(14, 3.5);
    shield.quadTo(14, 12, 8, 15);
    shield.quadTo(2, 12, 2, 3.5);
    shield.closeSubpath();
    p.drawPath(shield);
    p.setBrush(p.pen().color());
    p.drawRoundedRect(QRectF(5.5, 7.5, 5, 4), 0.8, 0.8);
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(6.3, 4.8, 3.4, 5), 0, 180 * 16);
}

void checkmarkCircleFill(QPainter& p) {
    solid(p);
    p.drawEllipse(QPointF(8, 8), 7, 7);
    cut(p);
    p.setPen(QPen(Qt::black, 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPolyline(QPolygonF{{4.6, 8.3}, {7, 10.7}, {11.4, 5.6}});
}

void chevronRight(QPainter& p) {
    outline(p);
    p.setPen(QPen(p.pen().color(), 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPolyline(QPolygonF{{6, 2.5}, {11, 8}, {6, 13.5}});
}

void boltFill(QPainter& p) {
    solid(p);
    p.drawPolygon(QPolygonF{{9.5, 1}, {3, 9}, {7.5, 9}, {6.5, 15}, {13, 7}, {8.5, 7}});
}

void arrowTriangleBranch(QPainter& p) {
    outline(p);
    line(p, 8, 15, 8, 8);
    p.drawPolyline(QPolygonF{{8, 8}, {3.5, 3.5}});
    p.drawPolyline(QPolygonF{{8, 8}, {12.5, 3.5}});
    p.drawPolyline(QPolygonF{{2.8, 6.5}, {2.8, 2.8}, {6.5, 2.8}});
    p.drawPolyline(QPolygonF{{9.5, 2.8}, {13.2, 2.8}, {13.2, 6.5}});
}

void terminal(QPainter& p) {
    outline(p);
    p.drawRoundedRect(QRectF(1.5, 2.5, 13, 11), 2, 2);
    p.drawPolyline(QPolygonF{{4.5, 6}, {6.8, 8}, {4.5, 10}});
    line(p, 8.5, 10.5, 11.5, 10.5);
}

void bubbleLeft(QPainter& p) {
    outline(p);
    QPainterPath bubble;
    bubble.addRoundedRect(QRectF(1.5, 2, 13, 9.5), 3.5, 3.5);
    p.drawPath(bubble);
    p.drawPolyline(QPolygonF{{4, 11.3}, {3, 14.5}, {7.5, 11.5}});
}

void envelope(QPainter& p) {
    outline(p);
    p.drawRoundedRect(QRectF(1.5, 3.5, 13, 9), 1.5, 1.5);
    p.drawPolyline(QPolygonF{{1.8, 4}, {8, 9}, {14.2, 4}});
}

void chevronUpDown(QPainter& p) {
    outline(p);
    p.drawPolyline(QPolygonF{{5, 6}, {8, 3}, {11, 6}});
    p.drawPolyline(QPolygonF{{5, 10}, {8, 13}, {11, 10}});
}

} // namespace

const std::vector<SymbolPath>& symbolPaths() {
    static const std::vector<SymbolPath> paths{
        {"app", app},
        {"app.badge.checkmark", appBadgeCheckmark},
        {"arrow.triangle.branch", arrowTriangleBranch},
        {"arrow.up.forward.square", arrowUpForwardSquare},
        {"bolt.fill", boltFill},
        {"bubble.left", bubbleLeft},
        {"checkmark.circle.fill", checkmarkCircleFill},
        {"chevron.right", chevronRight},
        {"chevron.up.chevron.down", chevronUpDown},
        {"doc.text", docText},
        {"envelope", envelope},
        {"exclamationmark.triangle.fill", warningTriangle},
        {"eye", eye},
        {"eye.slash", eyeSlash},
        {"gearshape", gearshape},
        {"lock.shield", lockShield},
        {"magnifyingglass", magnifyingGlass},
        {"pencil", pencil},
        {"plus", plus},
        {"sidebar.leading", sidebarLeading},
        {"square.grid.2x2", squareGrid},
        {"terminal", terminal},
        {"text.alignleft", textAlignLeft},
        {"text.quote", textQuote},
        {"trash", trash},
        {"xmark", xmark},
    };
    return paths;
}

} // namespace korvane
