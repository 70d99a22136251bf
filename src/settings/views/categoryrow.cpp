#include "settings/views/categoryrow.h"

#include "settings/views/categoryrowaccessible.h"

#include <QKeyEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>

namespace korvane {

CategoryRow::CategoryRow(std::string id, QWidget* parent)
    : QWidget(parent)
    , id_(std::move(id)) {
    // Before anything asks for the row's interface: an interface made before the factory is there
    // would be a plain widget's, and stay cached for this row.
    CategoryRowAccessible::install();
    setFocusPolicy(Qt::StrongFocus);
}

void CategoryRow::setMoves(bool up, bool down) {
    canMoveUp_ = up;
    canMoveDown_ = down;
}

void CategoryRow::move(int step) {
    if (canMove(step) && onMove) {
        onMove(id_, step);
    }
}

void CategoryRow::keyPressEvent(QKeyEvent* event) {
    const bool up = event->key() == Qt::Key_Up;
    if ((up || event->key() == Qt::Key_Down) && event->modifiers() == Qt::AltModifier) {
        move(up ? -1 : 1);
        return;
    }
    QWidget::keyPressEvent(event);
}

void CategoryRow::paintEvent(QPaintEvent*) {
    if (!hasFocus()) {
        return;
    }
    // As the style draws it for its own controls (which may show it only after a key has moved the
    // focus).
    QPainter painter(this);
    QStyleOptionFocusRect option;
    option.initFrom(this);
    option.rect = rect().adjusted(2, 1, -2, -1);
    option.backgroundColor = palette().color(QPalette::Base);
    style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
}

} // namespace korvane
