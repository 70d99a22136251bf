#include "uikit/scrollviewportaccessible.h"

#include <QAbstractScrollArea>

namespace korvane {

ScrollViewportAccessible::ScrollViewportAccessible(QWidget* viewport)
    : QAccessibleWidget(viewport, QAccessible::Client) {}

void ScrollViewportAccessible::install() {
    static const bool installed = [] {
        QAccessible::installFactory([](const QString& className, QObject* object) -> QAccessibleInterface* {
            // A viewport is a plain widget; the factory is asked with the most derived class first.
            if (className != QLatin1String("QWidget")) {
                return nullptr;
            }
            auto* widget = qobject_cast<QWidget*>(object);
            auto* area = widget ? qobject_cast<QAbstractScrollArea*>(widget->parentWidget()) : nullptr;
            return area && area->viewport() == widget ? new ScrollViewportAccessible(widget) : nullptr;
        });
        return true;
    }();
    (void)installed;
}

QAccessible::State ScrollViewportAccessible::state() const {
    QAccessible::State state = QAccessibleWidget::state();
    state.focused = false;
    return state;
}

} // namespace korvane
