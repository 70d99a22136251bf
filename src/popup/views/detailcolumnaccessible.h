#pragma once

#include "popup/views/accessiblerowset.h"

#include <QAccessibleWidget>

namespace korvane {

class DetailColumnView;

// What assistive technology sees of the painted detail column: a pane named "Korvane detail" whose
// children are the texts it shows now (title, metadata rows, the preview lines in view, "Loading...",
// "Content unavailable"). Main thread.
class DetailColumnAccessible final : public QAccessibleWidget {
public:
    static constexpr const char* paneName = "Korvane detail";

    explicit DetailColumnAccessible(DetailColumnView* view);

    int childCount() const override { return texts_.count(); }
    QAccessibleInterface* child(int index) const override { return texts_.child(index); }
    int indexOfChild(const QAccessibleInterface* child) const override { return texts_.indexOf(child); }
    QString text(QAccessible::Text t) const override;

private:
    // One row per position: a text answers as the one now at its place.
    AccessibleRowSet texts_;
};

} // namespace korvane
