#include "popup/views/detailcolumnaccessible.h"

#include "popup/views/detailcolumnview.h"

namespace korvane {
namespace {

std::vector<AccessibleRow> textRows(const DetailColumnView& view) {
    std::vector<AccessibleRow> rows;
    const auto texts = view.accessibleTexts();
    for (std::size_t i = 0; i < texts.size(); ++i) {
        rows.push_back(AccessibleRow{.id = std::to_string(i),
                                     .name = texts[i],
                                     .role = QAccessible::StaticText,
                                     .rect = QRectF(QPointF(0, 0), QSizeF(view.size()))});
    }
    // The line scrolled to, as the panel's current one: each scroll is a new line selected, which a
    // screen reader says, as it says a move in a list.
    if (const auto scrolled = view.scrolledLine()) {
        rows.push_back(AccessibleRow{.id = "scrolled " + std::to_string(scrolled->first),
                                     .name = scrolled->second,
                                     .role = QAccessible::ListItem,
                                     .rect = QRectF(QPointF(0, 0), QSizeF(view.size())),
                                     .selectable = true,
                                     .selected = true});
    }
    return rows;
}

} // namespace

DetailColumnAccessible::DetailColumnAccessible(DetailColumnView* view)
    : QAccessibleWidget(view, QAccessible::Pane)
    , texts_(view, this, [view] { return textRows(*view); }) {
    texts_.follow(view);
}

QString DetailColumnAccessible::text(QAccessible::Text t) const {
    if (t == QAccessible::Name) {
        return QString::fromLatin1(paneName);
    }
    return QAccessibleWidget::text(t);
}

} // namespace korvane
