#include "popup/views/surfacepainter.h"

#include "popup/namedcolors.h"
#include "popup/views/paintcontext.h"

#include <algorithm>

namespace korvane {

QPainterPath SurfacePainter::outline(const QRectF& rect, double cornerRadius) {
    QPainterPath path;
    path.addRoundedRect(rect, cornerRadius, cornerRadius);
    return path;
}

void SurfacePainter::paintBackground(QPainter& painter, const QRectF& rect, const PopupSurfaceStyle& surface,
                                     double cornerRadius) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillPath(outline(rect, cornerRadius), PaintContext::qcolor(surface.background));
    painter.restore();
}

namespace {

void strokeInside(QPainter& painter, const QRectF& rect, const Color& color, double width, double cornerRadius) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    QPen pen(PaintContext::qcolor(color), width);
    pen.setJoinStyle(Qt::MiterJoin);
    pen.setMiterLimit(10);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    const double inset = width / 2;
    painter.drawPath(SurfacePainter::outline(rect.adjusted(inset, inset, -inset, -inset),
                                             std::max(0.0, cornerRadius - inset)));
    painter.restore();
}

} // namespace

void SurfacePainter::paintBorder(QPainter& painter, const QRectF& rect, const PopupSurfaceStyle& surface,
                                 double cornerRadius) {
    strokeInside(painter, rect, surface.border, borderWidth, cornerRadius);
}

void SurfacePainter::paintShadowlessOutline(QPainter& painter, const QRectF& rect,
                                            const PopupSurfaceStyle& surface, double cornerRadius) {
    strokeInside(painter, rect, withOpacity(surface.textPrimary, shadowlessOutlineOpacity), 1.0, cornerRadius);
}

void SurfacePainter::horizontalDivider(QPainter& painter, const QRectF& rect,
                                       const PopupSurfaceStyle& surface) {
    painter.fillRect(QRectF(rect.left(), rect.top(), rect.width(), 1),
                     PaintContext::qcolor(withOpacity(surface.textPrimary, dividerOpacity)));
}

void SurfacePainter::verticalDivider(QPainter& painter, const QRectF& rect,
                                     const PopupSurfaceStyle& surface) {
    painter.fillRect(QRectF(rect.left(), rect.top(), 1, rect.height()),
                     PaintContext::qcolor(withOpacity(surface.textPrimary, dividerOpacity)));
}

} // namespace korvane
