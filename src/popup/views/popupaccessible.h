#pragma once

#include <QAccessibleWidget>
#include <map>
#include <string>

namespace korvane {

class PopupView;

// What assistive technology sees of the painted popup: a list whose children are the rows now in
// view, each named by its text and marked when selected. Main thread.
class PopupAccessible final : public QAccessibleWidget {
public:
    explicit PopupAccessible(PopupView* view);
    ~PopupAccessible() override;

    int childCount() const override;
    QAccessibleInterface* child(int index) const override;
    int indexOfChild(const QAccessibleInterface* child) const override;
    QString text(QAccessible::Text t) const override;

private:
    PopupView* view() const;
    // One interface per row id, registered with Qt's cache, which owns them.
    mutable std::map<std::string, QAccessible::Id> rows_;
};

// Makes Qt use PopupAccessible for popup views. Idempotent.
void installPopupAccessibleFactory();

} // namespace korvane
