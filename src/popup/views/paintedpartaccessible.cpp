#include "popup/views/paintedpartaccessible.h"

#include <QWindow>

namespace korvane {

PaintedPartAccessible::PaintedPartAccessible(QWidget* view, QAccessibleInterface* parent)
    : view_(view)
    , parent_(parent) {}

QWindow* PaintedPartAccessible::window() const {
    return view_ ? view_->window()->windowHandle() : nullptr;
}

QRect PaintedPartAccessible::onScreen(const QRect& area) const {
    if (view_.isNull()) {
        return {};
    }
    return QRect(view_->mapToGlobal(area.topLeft()), area.size());
}

} // namespace korvane
