#include "popup/views/popupstatusbarview.h"

#include "popup/views/surfacepainter.h"

namespace korvane {

void PopupStatusBarView::paint(QPainter& painter, const QRectF& rect, const PaintContext& context) const {
    SurfacePainter::horizontalDivider(painter, rect, context.surface);
    const QRectF row(rect.left(), rect.top() + 1, rect.width(), rowHeight);
    painter.fillRect(row, PaintContext::qcolor(context.surface.statusBackground));
    const QFont font = context.font(FontRoles::Design::monospaced,
                                    FontRoles::nearest(context.fontSize() * 0.7), QFont::Normal);
    const QRectF inner = row.adjusted(horizontalInset, 0, -horizontalInset, 0);
    const TextRun hints{QString::fromStdString(keyboardHints_), font, context.surface.statusHints};
    const double hintsWidth = std::min(PaintContext::width({hints}), inner.width());
    context.drawText(painter, QRectF(inner.right() - hintsWidth, inner.top(), hintsWidth, inner.height()),
                     hints, Qt::AlignLeft, "status.hints");
    if (contextText_) {
        const double room = std::max(0.0, inner.width() - hintsWidth - spacing);
        context.drawText(painter, QRectF(inner.left(), inner.top(), room, inner.height()),
                         TextRun{QString::fromStdString(*contextText_), font, context.surface.statusContext},
                         Qt::AlignLeft, "status.context");
    }
}

} // namespace korvane
