#pragma once

#include "popup/views/accessiblerowset.h"

#include <QAccessibleWidget>
#include <functional>

namespace korvane {

// What assistive technology sees of a view that paints a list: a list named as the view is, whose
// children are the rows the view paints now (AccessibleRowSet). Main thread.
class PaintedListAccessible final : public QAccessibleWidget {
public:
    // `view` emits accessibleRowsChanged(); `shown` says whether the list is on screen at all while
    // the view is (always when absent).
    template <typename View>
    PaintedListAccessible(View* view, AccessibleRowSet::Reader read, std::function<bool()> shown = {})
        : QAccessibleWidget(view, QAccessible::List)
        , rows_(view, this, std::move(read))
        , shown_(std::move(shown)) {
        rows_.follow(view);
    }

    int childCount() const override { return rows_.count(); }
    QAccessibleInterface* child(int index) const override { return rows_.child(index); }
    int indexOfChild(const QAccessibleInterface* child) const override { return rows_.indexOf(child); }
    QAccessible::State state() const override;

private:
    AccessibleRowSet rows_;
    std::function<bool()> shown_;
};

} // namespace korvane
