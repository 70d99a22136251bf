#include "popup/views/searchresultlistview.h"

#include "popup/namedcolors.h"
#include "popup/views/painticons.h"
#include "popup/views/scopedetailpanelview.h"
#include "popup/views/surfacepainter.h"

#include <QFontMetricsF>
#include <QPainterPath>
#include <algorithm>
#include <fmt/format.h>

namespace korvane {

std::string SearchResultListView::Row::accessibleName() const {
    if (searchRow) {
        if (const auto* header = searchRow->kind.asSectionHeader()) {
            return fmt::format("{}, {} {}", header->title, header->count,
                               header->count == 1 ? "item" : "items");
        }
        if (const auto* scope = searchRow->kind.asScope()) {
            return "Scope: " + scope->definition.title + ", @" + scope->definition.primaryAlias +
                   (scope->isActive ? std::string(", ") + ScopeDetailPanelView::activeTag : "");
        }
        if (const auto* snippet = searchRow->kind.asSnippet()) {
            const auto& s = *snippet->result.snippet;
            return s.displayName.value_or(s.label) + ", " + s.badge();
        }
    }
    if (result) {
        return result->snippet->displayName.value_or(result->snippet->label) + ", " +
               result->snippet->badge();
    }
    return id;
}

std::vector<AccessibleRow> SearchResultListView::accessibleRows() const {
    std::vector<AccessibleRow> out;
    out.reserve(rows_.size());
    for (const Row& row : rows_) {
        const bool header = row.kind == RowKind::sectionHeader;
        out.push_back(AccessibleRow{.id = row.id,
                                    .name = row.accessibleName(),
                                    .role = header ? QAccessible::StaticText : QAccessible::ListItem,
                                    .rect = placedRect(row),
                                    .inView = visibleRect(row).has_value(),
                                    .selectable = !header,
                                    .selected = row.isSelected});
    }
    return out;
}

double SearchResultListView::messageHeight(const std::string& text, const PaintContext& context,
                                           double width) const {
    const QFont font = context.font(FontRoles::Design::monospaced,
                                    FontRoles::nearest(context.fontSize() * 0.8), QFont::Normal);
    const QRectF bounds =
        QFontMetricsF(font).boundingRect(QRectF(0, 0, std::max(1.0, width), 10000),
                                         Qt::TextWordWrap | Qt::AlignHCenter, QString::fromStdString(text));
    return bounds.height() + 2 * messageInset;
}

void SearchResultListView::update(const PopupViewModel& model, const PaintContext& context,
                                  const QRectF& rect) {
    rect_ = rect;
    refreshing_ = model.isRefreshing();
    const auto& presentation = model.searchPresentation();
    scrollable_ = !model.viewState().isEmptyState();
    emptyMessage_.reset();
    message_.reset();
    rows_.clear();

    const double rowHeight = context.theme.rowHeight;
    const double headerHeight = std::max(FontRoles::nearest(rowHeight * 0.72), 18.0);
    const auto selectedSnippet = model.selectedSnippetID();
    const auto selectedRow = model.selectedSearchRowID();
    double y = bodyInset;
    if (presentation) {
        // A message that nothing matched is not yet true while a source runs.
        message_ = model.showsLoading() ? std::optional<std::string>(PopupViewModel::loadingText)
                                        : model.searchPresentationMessage();
        messageBlock_ = message_ ? messageHeight(*message_, context, rect.width() - 16) : 0;
        y += messageBlock_;
        for (const SearchRow& searchRow : presentation->rows) {
            Row row;
            row.id = searchRow.id;
            row.top = y;
            row.searchRow = searchRow;
            if (searchRow.kind.asSectionHeader() != nullptr) {
                row.kind = RowKind::sectionHeader;
                row.height = headerHeight;
            } else if (searchRow.kind.asScope() != nullptr) {
                row.kind = RowKind::scope;
                row.height = rowHeight;
                row.isSelected = selectedRow == searchRow.id;
            } else {
                row.kind = RowKind::snippet;
                row.height = rowHeight;
                row.isSelected =
                    selectedSnippet && *selectedSnippet == searchRow.kind.asSnippet()->result.snippet->id;
            }
            y += row.height;
            rows_.push_back(std::move(row));
        }
    } else if (model.showsLoading() && model.viewState().resultList().empty()) {
        emptyMessage_ = PopupViewModel::loadingText;
    } else if (model.viewState().isEmptyState()) {
        emptyMessage_ = model.viewState().emptyState()->message;
    } else {
        for (auto& result : model.displayableResults()) {
            Row row;
            row.kind = RowKind::snippet;
            row.id = result.id();
            row.top = y;
            row.height = rowHeight;
            row.isSelected = selectedSnippet && *selectedSnippet == result.id();
            row.result = std::move(result);
            y += rowHeight;
            rows_.push_back(std::move(row));
        }
    }

    std::vector<std::string> ids;
    ids.reserve(rows_.size());
    for (const Row& row : rows_) {
        ids.push_back(row.id);
    }
    const auto target = model.scrollTargetID();
    const double maxOffset = std::max(0.0, contentHeight() - scrollViewport().height());
    scrollOffset_ = scrollable_ ? std::clamp(scrollOffset_, 0.0, maxOffset) : 0;
    if (!appeared_) {
        appeared_ = true;
    } else if (target && target != lastTarget_) {
        centreOn(*target);
    } else if (ids != lastRowIDs_) {
        // New rows under an unchanged target: the selection may have moved out of view with them.
        for (const Row& row : rows_) {
            if (row.isSelected && !visibleRect(row).has_value()) {
                centreOn(row.id);
                break;
            }
        }
    }
    lastTarget_ = target;
    lastRowIDs_ = std::move(ids);
}

QRectF SearchResultListView::scrollViewport() const {
    const double top = refreshing_ ? bannerHeight + 1 : 0;
    return QRectF(rect_.left(), rect_.top() + top, rect_.width(), std::max(0.0, rect_.height() - top));
}

double SearchResultListView::contentHeight() const {
    return (rows_.empty() ? bodyInset + messageBlock_ : rows_.back().top + rows_.back().height) + bodyInset;
}

const SearchResultListView::Row* SearchResultListView::rowWithID(const std::string& id) const {
    const auto it = std::find_if(rows_.begin(), rows_.end(), [&](const Row& row) { return row.id == id; });
    return it == rows_.end() ? nullptr : &*it;
}

void SearchResultListView::centreOn(const std::string& id) {
    const Row* row = rowWithID(id);
    if (row == nullptr || !scrollable_) {
        return;
    }
    const double viewport = scrollViewport().height();
    const double maxOffset = std::max(0.0, contentHeight() - viewport);
    scrollOffset_ = std::clamp(row->top + row->height / 2 - viewport / 2, 0.0, maxOffset);
}

QRectF SearchResultListView::placedRect(const Row& row) const {
    const QRectF viewport = scrollViewport();
    return QRectF(viewport.left(), viewport.top() + row.top - scrollOffset_, viewport.width(), row.height);
}

std::optional<QRectF> SearchResultListView::visibleRect(const Row& row) const {
    const QRectF viewport = scrollViewport();
    const QRectF placed = placedRect(row);
    if (placed.top() < viewport.top() - 0.5 || placed.bottom() > viewport.bottom() + 0.5) {
        return std::nullopt;
    }
    return placed;
}

void SearchResultListView::paint(QPainter& painter, const PaintContext& context,
                                 const LabelCacheFunction& labelCache, double spinnerPhase) const {
    const auto& surface = context.surface;
    if (refreshing_) {
        const QRectF banner(rect_.left(), rect_.top(), rect_.width(), bannerHeight);
        const QRectF inner = banner.adjusted(8, 4, -8, -4);
        PaintIcons::spinner(painter, QRectF(inner.left(), inner.center().y() - 6, 12, 12), 12,
                            PaintContext::qcolor(surface.textSecondary), spinnerPhase);
        context.drawText(painter, QRectF(inner.left() + 18, inner.top(), inner.width() - 18, inner.height()),
                         TextRun{"Refreshing...",
                                 context.font(FontRoles::Design::standard, 10, QFont::Medium),
                                 surface.textSecondary},
                         Qt::AlignLeft, "list.banner");
        SurfacePainter::horizontalDivider(painter, QRectF(rect_.left(), banner.bottom(), rect_.width(), 1),
                                          surface);
    }
    const QRectF viewport = scrollViewport();
    painter.save();
    PaintContext::clipTo(painter, viewport);
    const QFont messageFont = context.font(FontRoles::Design::monospaced,
                                           FontRoles::nearest(context.fontSize() * 0.8), QFont::Normal);
    if (emptyMessage_) {
        const QRectF area = viewport.adjusted(8, bodyInset + messageInset, -8, -bodyInset - messageInset);
        const double h = messageHeight(*emptyMessage_, context, area.width()) - 2 * messageInset;
        context.drawWrapped(
            painter, QRectF(area.left(), area.top(), area.width(), std::min(h, area.height())),
            TextRun{QString::fromStdString(*emptyMessage_), messageFont, surface.textTertiary},
            "list.message");
    }
    if (message_) {
        const QRectF area(viewport.left() + 8, viewport.top() + bodyInset + messageInset - scrollOffset_,
                          viewport.width() - 16, messageBlock_ - 2 * messageInset);
        context.drawWrapped(painter, area,
                            TextRun{QString::fromStdString(*message_), messageFont, surface.textTertiary},
                            "list.message");
    }
    // Only the rows in view are laid out and painted, however long the list.
    const double top = scrollOffset_;
    const double bottom = scrollOffset_ + viewport.height();
    auto it = std::lower_bound(rows_.begin(), rows_.end(), top,
                               [](const Row& row, double y) { return row.top + row.height <= y; });
    for (; it != rows_.end() && it->top < bottom; ++it) {
        paintRow(
            painter, *it,
            QRectF(viewport.left(), viewport.top() + it->top - scrollOffset_, viewport.width(), it->height),
            context, labelCache);
    }
    painter.restore();
}

void SearchResultListView::paintRow(QPainter& painter, const Row& row, const QRectF& rect,
                                    const PaintContext& context, const LabelCacheFunction& labelCache) const {
    const auto& surface = context.surface;
    const double f = context.fontSize();
    if (row.kind == RowKind::snippet) {
        const SearchResult* result = nullptr;
        SearchResult fromRow;
        if (row.searchRow) {
            result = &row.searchRow->kind.asSnippet()->result;
        } else {
            fromRow = SearchResult{row.result->snippet, row.result->matchRanges};
            result = &fromRow;
        }
        SnippetRowView(*result->snippet, result->matchRanges, row.isSelected,
                       SnippetRowView::BadgePosition::trailing)
            .paint(painter, rect, context, labelCache);
        return;
    }
    const QRectF inner = rect.adjusted(10, 0, -10, 0);
    if (row.kind == RowKind::sectionHeader) {
        const auto* header = row.searchRow->kind.asSectionHeader();
        const double w = context.drawText(
            painter, inner,
            TextRun{QString::fromStdString(header->title),
                    context.font(FontRoles::Design::standard, FontRoles::nearest(f * 0.82), QFont::DemiBold),
                    surface.textSecondary},
            Qt::AlignLeft, "list.sectionTitle");
        context.drawText(
            painter, inner.adjusted(w + 6, 0, 0, 0),
            TextRun{QString::number(header->count),
                    context.font(FontRoles::Design::monospaced, FontRoles::nearest(f * 0.74), QFont::Medium),
                    surface.textTertiary},
            Qt::AlignLeft, "list.sectionCount");
        return;
    }
    const auto* scope = row.searchRow->kind.asScope();
    if (row.isSelected) {
        painter.save();
        painter.setRenderHint(QPainter::Antialiasing);
        QPainterPath selection;
        selection.addRoundedRect(rect.adjusted(4, 2, -4, -2), 6, 6);
        painter.fillPath(selection, PaintContext::qcolor(surface.selection));
        painter.restore();
    }
    const Color text = row.isSelected ? surface.textPrimary : surface.textSecondary;
    std::string aliases;
    for (const auto& alias : scope->definition.aliases) {
        aliases += (aliases.empty() ? "@" : ", @") + alias;
    }
    const TextRun aliasRun{
        QString::fromStdString(aliases),
        context.font(FontRoles::Design::monospaced, FontRoles::nearest(f * 0.84), QFont::Normal), text};
    const double aliasWidth = std::min(PaintContext::width({aliasRun}), inner.width() / 2);
    context.drawText(painter, QRectF(inner.right() - aliasWidth, inner.top(), aliasWidth, inner.height()),
                     aliasRun, Qt::AlignLeft, "list.scopeAliases");
    const TextRun active{
        ScopeDetailPanelView::activeTag,
        context.font(FontRoles::Design::monospaced, FontRoles::nearest(f * 0.7), QFont::DemiBold),
        surface.textTertiary};
    const double activeWidth = scope->isActive ? PaintContext::width({active}) + 6 : 0;
    const double titleRoom = std::max(0.0, inner.width() - aliasWidth - 8 - activeWidth);
    const double w = context.drawText(
        painter, QRectF(inner.left(), inner.top(), titleRoom, inner.height()),
        TextRun{QString::fromStdString(scope->definition.title),
                context.font(FontRoles::Design::standard, FontRoles::nearest(f * 0.88), QFont::Medium), text},
        Qt::AlignLeft, "list.scopeTitle");
    if (scope->isActive) {
        context.drawText(painter, QRectF(inner.left() + w + 6, inner.top(), activeWidth, inner.height()),
                         active, Qt::AlignLeft, "list.scopeActive");
    }
}

} // namespace korvane
