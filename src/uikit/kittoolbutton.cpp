#include "uikit/kittoolbutton.h"

#include "uikit/focusframe.h"
#include "uikit/kittoolbuttonaccessible.h"

#include <QAccessible>
#include <QKeyEvent>
#include <QStyleOptionToolButton>
#include <QStylePainter>

namespace korvane {
namespace {

constexpr double frameRadius = 4;

// The events by which a pointer or a key presses a button.
bool presses(const QEvent& event) {
    switch (event.type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
        return true;
    case QEvent::KeyPress:
    case QEvent::KeyRelease: {
        const int key = static_cast<const QKeyEvent&>(event).key();
        return key == Qt::Key_Space || key == Qt::Key_Select;
    }
    default:
        return false;
    }
}

} // namespace

KitToolButton::KitToolButton(QWidget* parent)
    : QToolButton(parent) {
    // Before anything tells assistive technology about the button: an interface asked for before
    // the factory is there would be Qt's own, and stay cached for this one.
    KitToolButtonAccessible::install();
}

void KitToolButton::setAvailable(bool available) {
    if (available_ == available) {
        return;
    }
    available_ = available;
    update();
    tellState(true, false);
}

void KitToolButton::setExpanded(bool expanded) {
    if (expanded_ == expanded) {
        return;
    }
    expanded_ = expanded;
    tellState(false, true);
}

void KitToolButton::tellState(bool available, bool expanded) {
    QAccessible::State changed;
    changed.disabled = available;
    changed.expanded = expanded;
    changed.collapsed = expanded;
    QAccessibleStateChangeEvent event(this, changed);
    QAccessible::updateAccessibility(&event);
}

bool KitToolButton::event(QEvent* event) {
    if (!available_ && presses(*event)) {
        event->accept();
        return true;
    }
    return QToolButton::event(event);
}

void KitToolButton::paintEvent(QPaintEvent*) {
    QStylePainter painter(this);
    QStyleOptionToolButton option;
    initStyleOption(&option);
    // The style draws the button without its own focus frame; this one is drawn over it.
    option.state &= ~QStyle::State_HasFocus;
    if (!available_) {
        option.state &= ~(QStyle::State_Enabled | QStyle::State_MouseOver);
        option.palette.setCurrentColorGroup(QPalette::Disabled);
    }
    painter.drawComplexControl(QStyle::CC_ToolButton, option);
    if (!FocusFrame::shown(*this)) {
        return;
    }
    if (autoRaise()) {
        FocusFrame::paint(painter, QRectF(rect()), FocusFrame::color(*this), frameRadius);
        return;
    }
    FocusFrame::paintOnFace(painter, QRectF(rect()), palette());
}

} // namespace korvane
