#pragma once

#include <QAccessible>
#include <QAccessibleWidget>

namespace korvane {

class BrowserModeView;

// What assistive technology sees of the popup's browser: a group named "Korvane browser" holding,
// left to right as on screen, the list "Korvane categories" of the category column's rows and the
// list "Korvane completions" of the selected category's items. The list that the arrow keys move has
// the focus, and a move of the focus is announced. Main thread.
class BrowserModeAccessible final : public QAccessibleWidget {
public:
    static constexpr const char* categoriesName = "Korvane categories";
    static constexpr const char* itemsName = "Korvane completions";

    explicit BrowserModeAccessible(BrowserModeView* view);
    ~BrowserModeAccessible() override;

    int childCount() const override { return 2; }
    QAccessibleInterface* child(int index) const override;
    int indexOfChild(const QAccessibleInterface* child) const override;

private:
    // The two columns, registered with Qt's cache and deleted with this interface.
    QAccessible::Id categories_;
    QAccessible::Id items_;
};

} // namespace korvane
