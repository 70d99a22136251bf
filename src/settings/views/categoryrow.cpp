#include "settings/views/categoryrow.h"

#include "settings/views/categoryrowaccessible.h"
#include "uikit/focusframe.h"

#include <QKeyEvent>
#include <QPainter>

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
    if (!FocusFrame::shown(*this)) {
        return;
    }
    QPainter painter(this);
    FocusFrame::paint(painter, QRectF(rect()).adjusted(2, 1, -2, -1), FocusFrame::color(*this), 4);
}

} // namespace korvane
