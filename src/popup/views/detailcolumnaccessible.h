#pragma once

#include <QAccessibleWidget>
#include <map>
#include <utility>

namespace korvane {

class DetailColumnView;

// What assistive technology sees of the painted detail column: a pane named "Korvane detail" whose
// children are the texts it shows now (title, metadata rows, the preview lines in view, "Loading...",
// "Content unavailable"). Main thread.
class DetailColumnAccessible final : public QAccessibleWidget {
public:
    static constexpr const char* paneName = "Korvane detail";

    explicit DetailColumnAccessible(DetailColumnView* view);
    ~DetailColumnAccessible() override;

    int childCount() const override;
    QAccessibleInterface* child(int index) const override;
    int indexOfChild(const QAccessibleInterface* child) const override;
    QString text(QAccessible::Text t) const override;

private:
    DetailColumnView* view() const;
    // One interface per position, registered with Qt's cache, which owns them.
    mutable std::map<int, QAccessible::Id> texts_;
};

} // namespace korvane
