#include "uikit/screenorderaccessible.h"

#include <QWidget>
#include <algorithm>

namespace korvane {
namespace {

// The dynamic property that marks a widget for this interface.
const char* const marker = "korvaneScreenOrder";

QAccessibleInterface* makeInterface(const QString& className, QObject* object) {
    // Asked once per class of the object's hierarchy: answer only for its own class.
    if (!object || !object->isWidgetType() || className != QLatin1String(object->metaObject()->className()) ||
        !object->property(marker).toBool()) {
        return nullptr;
    }
    return new ScreenOrderAccessible(static_cast<QWidget*>(object));
}

// The part of `widget`, in its own coordinates, that the bounds of its ancestors leave in view: of a
// scroll area's content, what the scroll area shows.
QRect partInView(const QWidget& widget) {
    QRect part = widget.rect();
    QPoint offset;
    for (const QWidget* inner = &widget; !inner->isWindow() && inner->parentWidget();
         inner = inner->parentWidget()) {
        offset += inner->pos();
        part &= inner->parentWidget()->rect().translated(-offset);
    }
    return part;
}

} // namespace

ScreenOrderAccessible::ScreenOrderAccessible(QWidget* widget)
    : QAccessibleWidget(widget) {}

void ScreenOrderAccessible::install(QWidget& widget) {
    static const bool installed = [] {
        QAccessible::installFactory(&makeInterface);
        return true;
    }();
    (void)installed;
    widget.setProperty(marker, true);
}

std::vector<QWidget*> ScreenOrderAccessible::toldChildren(const QWidget& widget) {
    const QRect inView = partInView(widget);
    std::vector<QWidget*> shown;
    for (QObject* object : widget.children()) {
        auto* child = qobject_cast<QWidget*>(object);
        if (child && !child->isWindow() && !child->isHidden() && child->geometry().intersects(inView)) {
            shown.push_back(child);
        }
    }
    std::stable_sort(shown.begin(), shown.end(), [](const QWidget* a, const QWidget* b) {
        return a->y() != b->y() ? a->y() < b->y() : a->x() < b->x();
    });
    return shown;
}

int ScreenOrderAccessible::childCount() const {
    return static_cast<int>(toldChildren(*widget()).size());
}

QAccessibleInterface* ScreenOrderAccessible::child(int index) const {
    const auto shown = toldChildren(*widget());
    if (index < 0 || index >= static_cast<int>(shown.size())) {
        return nullptr;
    }
    return QAccessible::queryAccessibleInterface(shown[static_cast<std::size_t>(index)]);
}

int ScreenOrderAccessible::indexOfChild(const QAccessibleInterface* child) const {
    if (!child) {
        return -1;
    }
    const auto shown = toldChildren(*widget());
    const auto found = std::find(shown.begin(), shown.end(), child->object());
    return found == shown.end() ? -1 : static_cast<int>(found - shown.begin());
}

} // namespace korvane
