#include "popup/views/categorysidebarview.h"

#include "popup/badgecolors.h"
#include "popup/namedcolors.h"
#include "popup/views/wrappedtext.h"

#include <QFontMetricsF>
#include <QPainterPath>
#include <algorithm>
#include <cctype>
#include <cmath>
#include <map>

namespace korvane {
namespace {

double sidebarFontSize(const PaintContext& context) {
    return FontRoles::nearest(context.fontSize() * 0.85);
}

} // namespace

void paintBrowserFocus(QPainter& painter, const QRectF& rect, double focus, bool barOnTrailingEdge) {
    if (focus <= 0) {
        return;
    }
    const Color accent = popupAccentColor();
    painter.fillRect(rect, PaintContext::qcolor(withOpacity(accent, 0.06 * focus)));
    const double x = barOnTrailingEdge ? rect.right() - 2 : rect.left();
    painter.fillRect(QRectF(x, rect.top(), 2, rect.height()),
                     PaintContext::qcolor(withOpacity(accent, 0.5 * focus)));
}

double CategorySidebarView::rowHeight(const PaintContext& context) {
    const double s = sidebarFontSize(context);
    double tallest = 0;
    for (const double size : {s, s - 2, s - 1}) {
        tallest = std::max(
            tallest,
            QFontMetricsF(context.font(FontRoles::Design::monospaced, size, QFont::Normal)).height());
    }
    return std::ceil(tallest) + 8;
}

double CategorySidebarView::contentHeight(const PaintContext& context) const {
    return 2 * verticalInset + rowHeight(context) * static_cast<double>(categories_.size());
}

double CategorySidebarView::offsetKeepingSelectionVisible(const PaintContext& context, double viewportHeight,
                                                          double current) const {
    const double maxOffset = std::max(0.0, contentHeight(context) - viewportHeight);
    double offset = std::clamp(current, 0.0, maxOffset);
    if (selectedIndex_ < 0 || selectedIndex_ >= static_cast<int>(categories_.size())) {
        return offset;
    }
    const double h = rowHeight(context);
    const double top = verticalInset + h * selectedIndex_;
    if (top < offset) {
        offset = top - verticalInset;
    } else if (top + h > offset + viewportHeight) {
        offset = top + h + verticalInset - viewportHeight;
    }
    return std::clamp(offset, 0.0, maxOffset);
}

Color CategorySidebarView::dotColor(const PopupViewModel::Category& category, bool isSelected,
                                    BadgePalette palette) {
    const double opacity = isSelected ? 0.8 : 0.5;
    if (category.id == "recent" || category.id == "recent-files" || category.sources.empty()) {
        return withOpacity(namedColor(NamedColor::secondary), opacity);
    }
    const SnippetSource& source = category.sources.front();
    const Color base = palette == BadgePalette::pastel ? badgeBaseColor(source) : saturatedBadgeColor(source);
    return withOpacity(base, opacity);
}

std::string CategorySidebarView::shortAlias(const PopupViewModel::Category& category) {
    if (category.id == "recent-files") {
        return "@f";
    }
    if (!category.scopeAlias) {
        return "--";
    }
    std::string alias = *category.scopeAlias;
    std::transform(alias.begin(), alias.end(), alias.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    static const std::map<std::string, std::string> shortForms = {
        {"@app", "@a"}, {"@user", "@u"}, {"@git", "@g"},  {"@skill", "@s"}, {"@doc", "@d"},
        {"@env", "@e"}, {"@npm", "@n"},  {"@make", "@m"}, {"@file", "@f"},
    };
    const auto found = shortForms.find(alias);
    return found == shortForms.end() ? alias : found->second;
}

QRectF CategorySidebarView::rowRect(std::size_t index, const QRectF& rect, double height,
                                    double scrollOffset) {
    return QRectF(rect.left(),
                  rect.top() + verticalInset + height * static_cast<double>(index) - scrollOffset,
                  rect.width(), height);
}

std::string CategorySidebarView::accessibleName(const PopupViewModel::Category& category) {
    const std::string alias = shortAlias(category);
    const std::string count = category.isLoading ? "loading"
                                                 : std::to_string(category.count) + (category.count == 1 ? " item" : " items");
    return category.name + (alias == "--" ? "" : ", " + alias) + ", " + count;
}

std::vector<AccessibleRow> CategorySidebarView::accessibleRows(const PaintContext& context,
                                                               const QRectF& rect,
                                                               double scrollOffset) const {
    const double h = rowHeight(context);
    std::vector<AccessibleRow> rows;
    rows.reserve(categories_.size());
    for (std::size_t i = 0; i < categories_.size(); ++i) {
        const QRectF row = rowRect(i, rect, h, scrollOffset);
        rows.push_back(AccessibleRow{.id = "category:" + categories_[i].id,
                                     .name = accessibleName(categories_[i]),
                                     .rect = row,
                                     .inView = row.intersects(rect),
                                     .selectable = true,
                                     .selected = static_cast<int>(i) == selectedIndex_});
    }
    return rows;
}

void CategorySidebarView::paint(QPainter& painter, const QRectF& rect, const PaintContext& context,
                                double scrollOffset) const {
    painter.save();
    PaintContext::clipTo(painter, rect);
    paintBrowserFocus(painter, rect, focus_, true);
    painter.setRenderHint(QPainter::Antialiasing);

    const double s = sidebarFontSize(context);
    const double h = rowHeight(context);
    const QFont nameFont = context.font(FontRoles::Design::monospaced, s, QFont::Normal);
    const QFont aliasFont = context.font(FontRoles::Design::monospaced, s - 2, QFont::Normal);
    const QFont countFont = context.font(FontRoles::Design::monospaced, s - 1, QFont::Normal);
    const PopupSurfaceStyle& surface = context.surface;
    for (std::size_t i = 0; i < categories_.size(); ++i) {
        const auto& category = categories_[i];
        const QRectF row = rowRect(i, rect, h, scrollOffset);
        if (!row.intersects(rect)) {
            continue;
        }
        const bool selected = static_cast<int>(i) == selectedIndex_;
        if (selected) {
            QPainterPath plate;
            plate.addRoundedRect(row.adjusted(4, 0, -4, 0), 6, 6);
            painter.fillPath(plate, PaintContext::qcolor(surface.selection));
        }
        const QRectF content = row.adjusted(8, 4, -8, -4);
        // Right to left: the count and the alias keep their width, the name gives way. A category still
        // loading shows no count; its place keeps a digit's width, so the alias does not move when it comes.
        const TextRun count{category.isLoading ? QStringLiteral("0") : QString::number(category.count), countFont,
                            surface.textTertiary};
        const TextRun alias{QString::fromStdString(shortAlias(category)), aliasFont, surface.textQuaternary};
        const double countWidth = PaintContext::width({count});
        const double aliasWidth = PaintContext::width({alias});
        if (!category.isLoading) {
            context.drawText(painter,
                             QRectF(content.right() - countWidth, content.top(), countWidth, content.height()),
                             count, Qt::AlignLeft, "sidebar.count");
        }
        const double aliasLeft = content.right() - countWidth - 6 - aliasWidth;
        context.drawText(painter, QRectF(aliasLeft, content.top(), aliasWidth, content.height()), alias,
                         Qt::AlignLeft, "sidebar.alias");
        const QRectF dot(content.left(), content.center().y() - 3, 6, 6);
        painter.setPen(Qt::NoPen);
        painter.setBrush(PaintContext::qcolor(dotColor(category, selected, context.theme.badgePalette)));
        painter.drawEllipse(dot);
        const double nameLeft = dot.right() + 6;
        context.drawText(
            painter,
            QRectF(nameLeft, content.top(), std::max(0.0, aliasLeft - 6 - nameLeft), content.height()),
            TextRun{QString::fromStdString(category.name), nameFont,
                    selected ? surface.textPrimary : surface.textSecondary},
            Qt::AlignLeft, "sidebar.name");
    }
    painter.restore();
}

} // namespace korvane
