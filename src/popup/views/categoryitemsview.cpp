#include "popup/views/categoryitemsview.h"

#include "popup/views/categorysidebarview.h"
#include "popup/views/painticons.h"
#include "popup/views/wrappedtext.h"

#include <QFontMetricsF>
#include <QPainterPath>
#include <algorithm>

namespace korvane {
namespace {

constexpr double detailLeading = 20;
constexpr double detailTrailing = 16;
constexpr double detailVertical = 4;

QFont detailFont(const PaintContext& context) {
    return context.font(FontRoles::Design::monospaced, FontRoles::nearest(context.fontSize() * 0.8),
                        QFont::Normal);
}

WrappedText detailText(const PaintContext& context, const std::string& text, double width) {
    return WrappedText(QString::fromStdString(text), detailFont(context),
                       std::max(1.0, width - detailLeading - detailTrailing),
                       CategoryItemsView::detailMaxLines);
}

} // namespace

CategoryItemsView::Content CategoryItemsView::content() const {
    if (input_.isLoading) {
        return Content::loading;
    }
    return input_.items.empty() ? Content::empty : Content::list;
}

double CategoryItemsView::detailHeight(const PaintContext& context, double width) const {
    if (!input_.expandedDetailText) {
        return 0;
    }
    return detailText(context, *input_.expandedDetailText, width).height() + 2 * detailVertical;
}

std::vector<CategoryItemsView::Entry> CategoryItemsView::layout(const PaintContext& context,
                                                                double width) const {
    std::vector<Entry> entries;
    entries.reserve(input_.items.size());
    double top = verticalInset;
    const double rowHeight = context.theme.rowHeight;
    for (std::size_t i = 0; i < input_.items.size(); ++i) {
        const bool showsDetail = static_cast<int>(i) == input_.selectedIndex && input_.expandedSnippetID &&
                                 input_.expandedDetailText &&
                                 *input_.expandedSnippetID == input_.items[i].snippet->id;
        const double height = rowHeight + (showsDetail ? detailHeight(context, width) : 0);
        entries.push_back(Entry{top, height, showsDetail});
        top += height;
    }
    return entries;
}

double CategoryItemsView::contentHeight(const PaintContext& context, double width) const {
    const auto entries = layout(context, width);
    return (entries.empty() ? verticalInset : entries.back().top + entries.back().height) + verticalInset;
}

std::optional<double> CategoryItemsView::centringOffset(const PaintContext& context, double width,
                                                        double viewportHeight, int index) const {
    const auto entries = layout(context, width);
    if (index < 0 || index >= static_cast<int>(entries.size())) {
        return std::nullopt;
    }
    const Entry& entry = entries[static_cast<std::size_t>(index)];
    const double maxOffset = std::max(0.0, contentHeight(context, width) - viewportHeight);
    return std::clamp(entry.top + entry.height / 2 - viewportHeight / 2, 0.0, maxOffset);
}

std::string CategoryItemsView::placeholderText() const {
    return content() == Content::loading ? "Loading..." : input_.helpText.value_or("No items");
}

std::vector<AccessibleRow> CategoryItemsView::accessibleRows(const PaintContext& context, const QRectF& rect,
                                                             double scrollOffset) const {
    if (content() != Content::list) {
        return {AccessibleRow{
            .id = "placeholder", .name = placeholderText(), .role = QAccessible::StaticText, .rect = rect}};
    }
    const auto entries = layout(context, rect.width());
    std::vector<AccessibleRow> rows;
    rows.reserve(entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const Snippet& snippet = *input_.items[i].snippet;
        const QRectF box(rect.left(), rect.top() + entries[i].top - scrollOffset, rect.width(),
                         entries[i].height);
        rows.push_back(AccessibleRow{.id = snippet.id,
                                     .name = snippet.displayName.value_or(snippet.label),
                                     .description = entries[i].showsDetail ? *input_.expandedDetailText : "",
                                     .rect = box,
                                     .inView = box.intersects(rect),
                                     .selectable = true,
                                     .selected = static_cast<int>(i) == input_.selectedIndex});
    }
    return rows;
}

void CategoryItemsView::paint(QPainter& painter, const QRectF& rect, const PaintContext& context,
                              double scrollOffset, double spinnerPhase) const {
    painter.save();
    PaintContext::clipTo(painter, rect);
    paintBrowserFocus(painter, rect, input_.focus, false);
    painter.setRenderHint(QPainter::Antialiasing);
    const PopupSurfaceStyle& surface = context.surface;
    const QFont placeholderFont = context.font(FontRoles::Design::monospaced,
                                               FontRoles::nearest(context.fontSize() * 0.75), QFont::Normal);

    switch (content()) {
    case Content::loading: {
        const double textHeight = QFontMetricsF(placeholderFont).height();
        const double spinnerSize = 16 * 0.8;
        const double blockTop = rect.center().y() - (spinnerSize + 6 + textHeight) / 2;
        PaintIcons::spinner(painter,
                            QRectF(rect.center().x() - spinnerSize / 2, blockTop, spinnerSize, spinnerSize),
                            spinnerSize, PaintContext::qcolor(surface.textSecondary), spinnerPhase);
        context.drawText(
            painter, QRectF(rect.left(), blockTop + spinnerSize + 6, rect.width(), textHeight),
            TextRun{QString::fromStdString(placeholderText()), placeholderFont, surface.textTertiary},
            Qt::AlignHCenter, "items.loading");
        break;
    }
    case Content::empty:
        context.drawWrapped(
            painter, rect.adjusted(12, 0, -12, 0),
            TextRun{QString::fromStdString(placeholderText()), placeholderFont, surface.textTertiary},
            "items.empty");
        break;
    case Content::list: {
        const QFont labelFont =
            context.font(FontRoles::Design::monospaced, context.fontSize(), QFont::Normal);
        const auto entries = layout(context, rect.width());
        const double rowHeight = context.theme.rowHeight;
        const double padding = context.theme.rowPadding;
        for (std::size_t i = 0; i < entries.size(); ++i) {
            const Entry& entry = entries[i];
            const QRectF box(rect.left(), rect.top() + entry.top - scrollOffset, rect.width(), entry.height);
            if (!box.intersects(rect)) {
                continue;
            }
            const Snippet& snippet = *input_.items[i].snippet;
            const bool selected = static_cast<int>(i) == input_.selectedIndex;
            const QRectF row(box.left(), box.top(), box.width(), rowHeight);
            if (selected) {
                QPainterPath plate;
                plate.addRoundedRect(row.adjusted(4, 1, -4, -1), 6, 6);
                painter.fillPath(plate, PaintContext::qcolor(surface.selection));
            }
            const std::string& label = snippet.displayName ? *snippet.displayName : snippet.label;
            context.drawText(painter, row.adjusted(8, padding, -8, -padding),
                             TextRun{QString::fromStdString(label), labelFont,
                                     selected ? surface.textPrimary : surface.textSecondary},
                             Qt::AlignLeft, "items.label");
            if (entry.showsDetail) {
                detailText(context, *input_.expandedDetailText, rect.width())
                    .paint(painter, context,
                           QPointF(row.left() + detailLeading, row.bottom() + detailVertical),
                           surface.textSecondary, "items.detail");
            }
        }
        break;
    }
    }
    painter.restore();
}

} // namespace korvane
