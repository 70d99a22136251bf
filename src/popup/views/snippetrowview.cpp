#include "popup/views/snippetrowview.h"

#include "popup/legiblebadgecolors.h"
#include "popup/namedcolors.h"
#include "popup/views/painticons.h"

#include <QFontMetricsF>
#include <QPainterPath>

namespace korvane {

std::vector<LabelRun> SnippetRowView::labelRuns(const PaintContext& context,
                                                const LabelCacheFunction& labelCache) const {
    const bool glass = context.surface.isGlass;
    if (snippet_.source.kind() == SnippetSource::Kind::filePath) {
        const std::string shortened = RowLabel::shortenPath(snippet_.label);
        const auto build = [&] {
            return RowLabel::highlightRuns(shortened,
                                           RowLabel::remapRanges(snippet_.label, shortened, matchRanges_));
        };
        // Its own cache entry, so that a shortened label never stands in for a plain one of the same id.
        return labelCache ? labelCache(snippet_.id + "-truncated", matchRanges_, glass,
                                       context.theme.fontSize, build)
                          : build();
    }
    if (snippet_.displayName) {
        return {LabelRun{*snippet_.displayName, false}};
    }
    const auto build = [&] { return RowLabel::highlightRuns(snippet_.label, matchRanges_); };
    return labelCache ? labelCache(snippet_.id, matchRanges_, glass, context.theme.fontSize, build) : build();
}

QFont SnippetRowView::badgeFont(const PaintContext& context) const {
    const auto palette = context.theme.badgePalette;
    const auto design = snippet_.source.kind() == SnippetSource::Kind::npmScript
                            ? FontRoles::Design::monospaced
                            : FontRoles::Design::rounded;
    return context.font(design, FontRoles::nearest(context.fontSize() * 0.65),
                        palette == BadgePalette::pastel ? QFont::Medium : QFont::DemiBold);
}

double SnippetRowView::badgeWidth(const PaintContext& context) const {
    return FontRoles::nearest(context.fontSize() * 2.8) + 8;
}

void SnippetRowView::paint(QPainter& painter, const QRectF& rect, const PaintContext& context,
                           const LabelCacheFunction& labelCache) const {
    if (isSelected_) {
        painter.save();
        painter.setRenderHint(QPainter::Antialiasing);
        QPainterPath selection;
        selection.addRoundedRect(rect.adjusted(4, 1, -4, -1), 6, 6);
        painter.fillPath(selection, PaintContext::qcolor(context.surface.selection));
        painter.restore();
    }
    const QRectF inner =
        rect.adjusted(horizontalInset, context.theme.rowPadding, -horizontalInset, -context.theme.rowPadding);
    const double badge = badgeWidth(context);
    QRectF labelRect = inner;
    if (badgePosition_ == BadgePosition::trailing) {
        paintBadge(painter, QRectF(inner.right() - badge, inner.top(), badge, inner.height()), context);
        labelRect.setRight(inner.right() - badge - spacing);
    } else {
        paintBadge(painter, QRectF(inner.left(), inner.top(), badge, inner.height()), context);
        labelRect.setLeft(inner.left() + badge + spacing);
    }

    const double size = context.fontSize();
    const QFont regular = context.font(FontRoles::Design::monospaced, size, QFont::Normal);
    const QFont semibold = context.font(FontRoles::Design::monospaced, size, QFont::DemiBold);
    const Color primary = context.surface.textPrimary;
    std::vector<TextRun> runs;
    if (snippet_.displayName && snippet_.source.kind() != SnippetSource::Kind::filePath) {
        runs.push_back(TextRun{QString::fromStdString(*snippet_.displayName), regular, primary});
    } else {
        const Color dim = withOpacity(primary, context.surface.isGlass ? 0.6 : 0.5);
        for (const LabelRun& run : labelRuns(context, labelCache)) {
            runs.push_back(TextRun{QString::fromStdString(run.text), run.matched ? semibold : regular,
                                   run.matched ? primary : dim});
        }
    }
    // The row is a painted rectangle, so a label wider than the room is cut rather than spilling out;
    // a row the list shows only in part is cut at the list's edge as well.
    painter.save();
    PaintContext::clipTo(painter,
                         labelRect.adjusted(0, -context.theme.rowPadding, 0, context.theme.rowPadding));
    context.drawLine(painter, labelRect, runs, Qt::AlignLeft, "row.label");
    painter.restore();
}

void SnippetRowView::paintBadge(QPainter& painter, const QRectF& slot, const PaintContext& context) const {
    const BadgeColors colors =
        legibleBadgeColors(context.theme.badgePalette, snippet_.source, context.surface, isSelected_);
    const QFont font = badgeFont(context);
    const QFontMetricsF metrics(font);
    const double height = metrics.height() + 2;
    const QRectF badge(slot.left(), slot.center().y() - height / 2, slot.width(), height);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    if (colors.hasBackground) {
        QPainterPath shape;
        shape.addRoundedRect(badge, 4, 4);
        painter.fillPath(shape, PaintContext::qcolor(colors.background));
        if (context.theme.badgePalette == BadgePalette::saturated && context.surface.isGlass) {
            QPen pen(PaintContext::qcolor(withOpacity(context.surface.textPrimary, 0.2)), 0.5);
            painter.setPen(pen);
            QPainterPath border;
            border.addRoundedRect(badge.adjusted(0.25, 0.25, -0.25, -0.25), 3.75, 3.75);
            painter.drawPath(border);
        }
    }
    painter.restore();

    const QString text = QString::fromStdString(snippet_.badge());
    const bool marker = snippet_.isUrlSnippet();
    const double markerSize = FontRoles::nearest(context.fontSize() * 0.65) * 0.8;
    const double textWidth = metrics.horizontalAdvance(text);
    const double content = textWidth + (marker ? 2 + markerSize : 0);
    const QRectF fixed = badge.adjusted(4, 1, -4, -1);
    const double left = std::max(fixed.left(), fixed.center().x() - content / 2);
    const double textRoom = std::min(textWidth, fixed.right() - left - (marker ? 2 + markerSize : 0));
    context.drawText(painter, QRectF(left, fixed.top(), std::max(0.0, textRoom), fixed.height()),
                     TextRun{text, font, colors.text}, Qt::AlignLeft, "row.badge");
    if (marker) {
        const double x = left + textRoom + 2;
        PaintIcons::arrowUpForward(painter, QRectF(x, fixed.top(), markerSize, fixed.height()), markerSize,
                                   PaintContext::qcolor(withOpacity(colors.text, 0.8)));
        if (context.log != nullptr) {
            context.log->record(PaintedText{
                "arrow.up.forward", QRectF(x, fixed.center().y() - markerSize / 2, markerSize, markerSize),
                static_cast<int>(markerSize), QFont::Bold, withOpacity(colors.text, 0.8), "",
                "row.urlMarker"});
        }
    }
}

} // namespace korvane
