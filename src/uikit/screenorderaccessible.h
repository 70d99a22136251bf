#pragma once

#include <QAccessibleWidget>
#include <vector>

namespace korvane {

// What assistive technology is told of a widget whose children stand on screen in another order than
// they were made in (a list that reuses its row widgets as it scrolls): its children that are not
// hidden and at least partly in view, top to bottom and then left to right. Hidden children, and those
// scrolled wholly out of view, are not in the tree at all, so a screen reader neither reads them as
// showing nor finds their stale names. Main thread.
class ScreenOrderAccessible final : public QAccessibleWidget {
public:
    explicit ScreenOrderAccessible(QWidget* widget);

    // Has QAccessible make this interface for `widget`; call before anything asks for its interface.
    static void install(QWidget& widget);

    // The children of `widget` this interface tells, in the order it tells them.
    static std::vector<QWidget*> toldChildren(const QWidget& widget);

    int childCount() const override;
    QAccessibleInterface* child(int index) const override;
    int indexOfChild(const QAccessibleInterface* child) const override;
};

} // namespace korvane
