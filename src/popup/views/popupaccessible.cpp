#include "popup/views/popupaccessible.h"

#include "popup/views/browsermodeaccessible.h"
#include "popup/views/browsermodeview.h"
#include "popup/views/detailcolumnaccessible.h"
#include "popup/views/detailcolumnview.h"
#include "popup/views/paintedlistaccessible.h"
#include "popup/views/popupview.h"
#include "popup/views/quickreferenceview.h"
#include "popup/views/searchheaderstatus.h"

#include <QAccessibleWidget>

namespace korvane {
namespace {

QAccessibleInterface* popupFactory(const QString& className, QObject* object) {
    if (className == QLatin1String("korvane::PopupView")) {
        if (auto* view = qobject_cast<PopupView*>(object)) {
            return new PaintedListAccessible(
                view, [view] { return view->accessibleRows(); }, [view] { return view->showsList(); });
        }
    }
    if (className == QLatin1String("korvane::QuickReferenceView")) {
        if (auto* view = qobject_cast<QuickReferenceView*>(object)) {
            return new PaintedListAccessible(view, [view] { return view->accessibleRows(); });
        }
    }
    if (className == QLatin1String("korvane::BrowserModeView")) {
        if (auto* view = qobject_cast<BrowserModeView*>(object)) {
            return new BrowserModeAccessible(view);
        }
    }
    if (className == QLatin1String("korvane::SearchHeaderStatus")) {
        if (auto* header = qobject_cast<SearchHeaderStatus*>(object)) {
            return new QAccessibleWidget(header, QAccessible::StatusBar);
        }
    }
    if (className == QLatin1String("korvane::DetailColumnView")) {
        if (auto* view = qobject_cast<DetailColumnView*>(object)) {
            return new DetailColumnAccessible(view);
        }
    }
    return nullptr;
}

} // namespace

void installPopupAccessibleFactory() {
    static const bool installed = [] {
        QAccessible::installFactory(popupFactory);
        return true;
    }();
    (void)installed;
}

} // namespace korvane
