#pragma once

#include <QAccessible>
#include <QLatin1String>
#include <QObject>
#include <QString>

namespace korvane {

// Installs, once for the pair, the factory that gives every widget of class `Widget` (exactly that
// class) the accessibility interface `Interface`, made from the widget. Main thread.
template <typename Widget, typename Interface> void installAccessibleFactory() {
    static const bool installed = [] {
        QAccessible::installFactory([](const QString& className, QObject* object) -> QAccessibleInterface* {
            if (className != QLatin1String(Widget::staticMetaObject.className())) {
                return nullptr;
            }
            auto* widget = qobject_cast<Widget*>(object);
            return widget ? new Interface(widget) : nullptr;
        });
        return true;
    }();
    (void)installed;
}

} // namespace korvane
