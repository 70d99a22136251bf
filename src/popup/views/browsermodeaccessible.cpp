#include "popup/views/browsermodeaccessible.h"

#include "popup/views/accessiblerowset.h"
#include "popup/views/browsermodeview.h"
#include "popup/views/paintedpartaccessible.h"

namespace korvane {
namespace {

// One of the browser's columns: a list without an object of its own, standing on its part of the
// browser, whose children are the rows the column paints.
class BrowserColumnAccessible final : public PaintedPartAccessible {
public:
    using Area = QRectF (BrowserModeView::*)() const;

    BrowserColumnAccessible(BrowserModeView* view, QAccessibleInterface* browser, const char* name,
                            PopupViewModel::BrowserPanel panel, Area area, AccessibleRowSet::Reader read)
        : PaintedPartAccessible(view, browser)
        , name_(QString::fromUtf8(name))
        , panel_(panel)
        , area_(area)
        , rows_(view, this, std::move(read)) {
        rows_.follow(view);
    }

    QAccessibleInterface* child(int index) const override { return rows_.child(index); }
    int childCount() const override { return rows_.count(); }
    int indexOfChild(const QAccessibleInterface* child) const override { return rows_.indexOf(child); }
    QString text(QAccessible::Text t) const override { return t == QAccessible::Name ? name_ : QString(); }
    QRect rect() const override {
        const auto* browser = static_cast<const BrowserModeView*>(view());
        return browser ? onScreen((browser->*area_)().toRect()) : QRect();
    }
    QAccessible::Role role() const override { return QAccessible::List; }
    QAccessible::State state() const override {
        QAccessible::State s;
        s.invisible = !viewShown();
        // The keyboard stays with the application typed into; the focus tells which column the
        // arrow keys move.
        s.focusable = true;
        s.focused = viewShown() && static_cast<const BrowserModeView*>(view())->focusedPanel() == panel_;
        return s;
    }

private:
    QString name_;
    PopupViewModel::BrowserPanel panel_;
    Area area_;
    AccessibleRowSet rows_;
};

} // namespace

BrowserModeAccessible::BrowserModeAccessible(BrowserModeView* view)
    : QAccessibleWidget(view, QAccessible::Grouping)
    , categories_(QAccessible::registerAccessibleInterface(new BrowserColumnAccessible(
          view, this, categoriesName, PopupViewModel::BrowserPanel::sidebar, &BrowserModeView::sidebarRect,
          [view] { return view->accessibleCategories(); })))
    , items_(QAccessible::registerAccessibleInterface(new BrowserColumnAccessible(
          view, this, itemsName, PopupViewModel::BrowserPanel::items, &BrowserModeView::itemsRect,
          [view] { return view->accessibleItems(); }))) {
    // The column that took the focus is announced as focused, which also tells that the other lost it.
    // A hidden browser has no focus to give: a popup dismissed resets its column unseen.
    QObject::connect(view, &BrowserModeView::focusedPanelChanged, view,
                     [view, categories = categories_, items = items_] {
                         if (!view->isVisible()) {
                             return;
                         }
                         const bool toItems = view->focusedPanel() == PopupViewModel::BrowserPanel::items;
                         if (QAccessibleInterface* column =
                                 QAccessible::accessibleInterface(toItems ? items : categories)) {
                             QAccessibleEvent event(column, QAccessible::Focus);
                             QAccessible::updateAccessibility(&event);
                         }
                     });
}

BrowserModeAccessible::~BrowserModeAccessible() {
    QAccessible::deleteAccessibleInterface(categories_);
    QAccessible::deleteAccessibleInterface(items_);
}

QAccessibleInterface* BrowserModeAccessible::child(int index) const {
    switch (index) {
    case 0:
        return QAccessible::accessibleInterface(categories_);
    case 1:
        return QAccessible::accessibleInterface(items_);
    default:
        return nullptr;
    }
}

int BrowserModeAccessible::indexOfChild(const QAccessibleInterface* child) const {
    for (int i = 0; i < childCount(); ++i) {
        if (this->child(i) == child) {
            return i;
        }
    }
    return -1;
}

} // namespace korvane
