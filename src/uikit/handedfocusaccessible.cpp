#include "uikit/handedfocusaccessible.h"

#include <QAbstractScrollArea>
#include <QDialogButtonBox>

namespace korvane {
namespace {

QAccessibleInterface* makeInterface(const QString& className, QObject* object) {
    auto* widget = qobject_cast<QWidget*>(object);
    if (widget == nullptr) {
        return nullptr;
    }
    // Asked with the most derived class first, and before Qt's own factory, which has an interface of
    // its own for the row. A viewport is a plain widget.
    if (className == QLatin1String("QDialogButtonBox")) {
        return new HandedFocusAccessible(widget, QAccessible::Grouping);
    }
    auto* area = qobject_cast<QAbstractScrollArea*>(widget->parentWidget());
    if (className == QLatin1String("QWidget") && area != nullptr && area->viewport() == widget) {
        return new HandedFocusAccessible(widget, QAccessible::Client);
    }
    return nullptr;
}

} // namespace

HandedFocusAccessible::HandedFocusAccessible(QWidget* part, QAccessible::Role role)
    : QAccessibleWidget(part, role) {}

void HandedFocusAccessible::install() {
    static const bool installed = [] {
        QAccessible::installFactory(&makeInterface);
        return true;
    }();
    (void)installed;
}

QAccessible::State HandedFocusAccessible::state() const {
    QAccessible::State state = QAccessibleWidget::state();
    state.focused = false;
    return state;
}

} // namespace korvane
