#pragma once

#include <QAccessible>
#include <QObject>
#include <QPointer>
#include <QRectF>
#include <QWidget>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

namespace korvane {

// One row a view paints, as assistive technology meets it.
struct AccessibleRow {
    // The same for as long as the row stays in its list.
    std::string id;
    std::string name;
    std::string description;
    QAccessible::Role role = QAccessible::ListItem;
    // Where the row stands in its view, in sight or scrolled out of it.
    QRectF rect;
    bool inView = true;
    bool selectable = false;
    bool selected = false;
};

// The rows of one painted list for assistive technology: one interface per row, made when first asked
// for and kept while its row stays. The rows are read anew after every change of the view (its
// signal, shown, hidden, resized); a hidden view has none. While anyone listens, a change
// is announced when the change is done: the rows that left are said gone and their interfaces
// deleted, renamed and newly (un)selected rows and a new order are announced. Main thread.
class AccessibleRowSet final : public QObject {
public:
    using Reader = std::function<std::vector<AccessibleRow>()>;

    // The rows of `view`, children of `list`, as `read` gives them now.
    AccessibleRowSet(QWidget* view, QAccessibleInterface* list, Reader read);
    ~AccessibleRowSet() override;

    int count() const;
    QAccessibleInterface* child(int index) const;
    int indexOf(const QAccessibleInterface* child) const;

    // The view's rows may have changed.
    void invalidate();
    // Reads the rows anew whenever `view` says with its accessibleRowsChanged() signal that they may
    // have changed.
    template <typename View> void follow(View* view) {
        QObject::connect(view, &View::accessibleRowsChanged, this, &AccessibleRowSet::invalidate);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Reads the rows again when they may have changed, and announces what changed.
    void refresh() const;
    void dropRowsThatLeft(const std::unordered_map<std::string, const AccessibleRow*>& byID) const;
    void updateRowsThatStayed(const std::unordered_map<std::string, const AccessibleRow*>& byID) const;
    // The rows selected now and not `before` that nobody has asked for: they are announced too.
    std::vector<int> selectedAnewUnasked(const std::vector<AccessibleRow>& before) const;
    void notify(QAccessibleInterface* target, QAccessible::Event type) const;
    // Whether changes are announced: once anyone looked at the rows, or while assistive technology
    // listens at all.
    bool announcing() const;

    QPointer<QWidget> view_;
    QAccessibleInterface* list_;
    Reader read_;
    mutable std::vector<AccessibleRow> rows_;
    mutable bool stale_ = true;
    mutable bool watched_ = false;
    bool refreshQueued_ = false;
    // One interface per row id, registered with Qt's cache; deleted when the row leaves.
    mutable std::unordered_map<std::string, QAccessible::Id> interfaces_;
};

} // namespace korvane
