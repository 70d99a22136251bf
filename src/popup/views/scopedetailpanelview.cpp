#include "popup/views/scopedetailpanelview.h"

#include "popup/views/wrappedtext.h"

#include <QFontMetricsF>
#include <QPainterPath>
#include <algorithm>

namespace korvane {

std::string ScopeDetailPanelView::sourceLabels(const std::vector<SnippetSource>& sources) {
    // Refs and remotes are both "Git": a label is listed once.
    std::vector<std::string_view> labels;
    for (const SnippetSource& source : sources) {
        if (std::find(labels.begin(), labels.end(), source.badgeLabel()) == labels.end()) {
            labels.push_back(source.badgeLabel());
        }
    }
    std::string text;
    for (const std::string_view label : labels) {
        if (!text.empty()) {
            text += ", ";
        }
        text += label;
    }
    return text;
}

void ScopeDetailPanelView::paint(QPainter& painter, const QRectF& rect, const PaintContext& context) const {
    const double f = context.fontSize();
    const PopupSurfaceStyle& surface = context.surface;
    const QRectF inner = rect.adjusted(inset, inset, -inset, -inset);
    double y = inner.top();

    // Header: the title, then the badge when this scope is the one applied.
    const QFont titleFont = context.font(FontRoles::Design::monospaced, f, QFont::DemiBold);
    const QFont badgeFont = context.font(FontRoles::Design::standard, badgeSize(f), QFont::DemiBold);
    const QFontMetricsF badgeMetrics(badgeFont);
    const double badgeWidth = isActive_ ? badgeMetrics.horizontalAdvance(activeTag) + 12 : 0;
    const double badgeHeight = badgeMetrics.height() + 4;
    const double headerHeight = std::max(QFontMetricsF(titleFont).height(), isActive_ ? badgeHeight : 0.0);
    const QRectF titleRect(inner.left(), y, std::max(0.0, inner.width() - (isActive_ ? badgeWidth + 8 : 0)),
                           headerHeight);
    const double titleWidth = context.drawText(
        painter, titleRect, TextRun{QString::fromStdString(scope_.title), titleFont, surface.textPrimary},
        Qt::AlignLeft, "scope.title");
    if (isActive_) {
        const QRectF plate(inner.left() + titleWidth + 8, y + (headerHeight - badgeHeight) / 2, badgeWidth,
                           badgeHeight);
        QPainterPath path;
        path.addRoundedRect(plate, 4, 4);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.fillPath(path, PaintContext::qcolor(surface.selection));
        context.drawText(painter, plate, TextRun{activeTag, badgeFont, surface.textSecondary},
                         Qt::AlignHCenter, "scope.active");
    }
    y += headerHeight + spacing;

    const WrappedText description(QString::fromStdString(scope_.description),
                                  context.font(FontRoles::Design::standard, f - 2, QFont::Normal),
                                  inner.width());
    description.paint(painter, context, QPointF(inner.left(), y), surface.textSecondary, "scope.description");
    y += description.height() + spacing;

    std::string aliases;
    for (const auto& alias : scope_.aliases) {
        aliases += (aliases.empty() ? "@" : ", @") + alias;
    }
    const std::pair<const char*, std::string> rows[] = {
        {"Aliases", aliases},
        {"Primary", "@" + scope_.primaryAlias},
        {"Sources", sourceLabels(scope_.sources)},
    };
    const QFont rowTitleFont = context.font(FontRoles::Design::monospaced, rowTitleSize(f), QFont::DemiBold);
    const QFont valueFont = context.font(FontRoles::Design::monospaced, f - 2, QFont::Normal);
    const double rowTitleHeight = QFontMetricsF(rowTitleFont).height();
    for (const auto& [title, value] : rows) {
        context.drawText(painter, QRectF(inner.left(), y, inner.width(), rowTitleHeight),
                         TextRun{title, rowTitleFont, surface.textTertiary}, Qt::AlignLeft, "scope.rowTitle");
        y += rowTitleHeight + 2;
        const WrappedText valueText(QString::fromStdString(value), valueFont, inner.width());
        valueText.paint(painter, context, QPointF(inner.left(), y), surface.textSecondary, "scope.rowValue");
        y += valueText.height() + rowSpacing;
    }
}

} // namespace korvane
