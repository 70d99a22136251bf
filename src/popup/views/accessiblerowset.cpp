#include "popup/views/accessiblerowset.h"

#include "popup/views/paintedpartaccessible.h"

#include <QEvent>
#include <unordered_set>

namespace korvane {
namespace {

// One painted row: it answers from the row as last read.
class AccessibleRowInterface final : public PaintedPartAccessible {
public:
    AccessibleRowInterface(QWidget* view, QAccessibleInterface* list, AccessibleRow row)
        : PaintedPartAccessible(view, list)
        , row_(std::move(row)) {}

    const AccessibleRow& row() const { return row_; }
    void setRow(AccessibleRow row) { row_ = std::move(row); }

    QString text(QAccessible::Text t) const override {
        switch (t) {
        case QAccessible::Name:
            return QString::fromStdString(row_.name);
        case QAccessible::Description:
            return QString::fromStdString(row_.description);
        default:
            return {};
        }
    }
    QRect rect() const override {
        return onScreen(QRect(row_.rect.topLeft().toPoint(), row_.rect.size().toSize()));
    }
    QAccessible::Role role() const override { return row_.role; }
    QAccessible::State state() const override {
        QAccessible::State s;
        s.selectable = row_.selectable;
        s.selected = row_.selected;
        s.invisible = !viewShown() || !row_.inView;
        return s;
    }

private:
    AccessibleRow row_;
};

AccessibleRowInterface* rowInterface(QAccessible::Id id) {
    return static_cast<AccessibleRowInterface*>(QAccessible::accessibleInterface(id));
}

} // namespace

AccessibleRowSet::AccessibleRowSet(QWidget* view, QAccessibleInterface* list, Reader read)
    : view_(view)
    , list_(list)
    , read_(std::move(read)) {
    view->installEventFilter(this);
}

AccessibleRowSet::~AccessibleRowSet() {
    for (const auto& [id, handle] : interfaces_) {
        QAccessible::deleteAccessibleInterface(handle);
    }
}

bool AccessibleRowSet::eventFilter(QObject* watched, QEvent* event) {
    if (watched == view_ &&
        (event->type() == QEvent::Show || event->type() == QEvent::Hide || event->type() == QEvent::Resize)) {
        invalidate();
    }
    return false;
}

void AccessibleRowSet::invalidate() {
    stale_ = true;
    // Announced once the change is done: several changes in a row give one announcement.
    if (announcing() && !refreshQueued_) {
        refreshQueued_ = true;
        QMetaObject::invokeMethod(
            this,
            [this] {
                refreshQueued_ = false;
                refresh();
            },
            Qt::QueuedConnection);
    }
}

int AccessibleRowSet::count() const {
    refresh();
    watched_ = true;
    return static_cast<int>(rows_.size());
}

QAccessibleInterface* AccessibleRowSet::child(int index) const {
    refresh();
    watched_ = true;
    if (index < 0 || index >= static_cast<int>(rows_.size())) {
        return nullptr;
    }
    const AccessibleRow& row = rows_[static_cast<std::size_t>(index)];
    auto it = interfaces_.find(row.id);
    if (it == interfaces_.end()) {
        it = interfaces_
                 .emplace(row.id, QAccessible::registerAccessibleInterface(
                                      new AccessibleRowInterface(view_.data(), list_, row)))
                 .first;
    }
    return QAccessible::accessibleInterface(it->second);
}

int AccessibleRowSet::indexOf(const QAccessibleInterface* child) const {
    refresh();
    watched_ = true;
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        const auto it = interfaces_.find(rows_[i].id);
        if (it != interfaces_.end() && QAccessible::accessibleInterface(it->second) == child) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

void AccessibleRowSet::notify(QAccessibleInterface* target, QAccessible::Event type) const {
    QAccessibleEvent event(target, type);
    QAccessible::updateAccessibility(&event);
}

void AccessibleRowSet::refresh() const {
    if (!stale_) {
        return;
    }
    stale_ = false;
    const std::vector<AccessibleRow> before =
        std::exchange(rows_, view_ && view_->isVisible() ? read_() : std::vector<AccessibleRow>());
    std::unordered_map<std::string, const AccessibleRow*> byID;
    for (const AccessibleRow& row : rows_) {
        byID.emplace(row.id, &row);
    }
    dropRowsThatLeft(byID);
    updateRowsThatStayed(byID);
    const std::vector<int> selected = selectedAnewUnasked(before);
    if (!std::equal(before.begin(), before.end(), rows_.begin(), rows_.end(),
                    [](const auto& a, const auto& b) { return a.id == b.id; })) {
        notify(list_, QAccessible::ObjectReorder);
    }
    for (const int index : selected) {
        notify(child(index), QAccessible::Selection);
    }
}

void AccessibleRowSet::dropRowsThatLeft(
    const std::unordered_map<std::string, const AccessibleRow*>& byID) const {
    std::vector<QAccessible::Id> gone;
    for (const auto& [id, handle] : interfaces_) {
        if (!byID.contains(id)) {
            gone.push_back(handle);
        }
    }
    // Said gone while they still answer, then deleted: nobody reaches a row that left.
    for (const QAccessible::Id handle : gone) {
        notify(rowInterface(handle), QAccessible::ObjectDestroyed);
    }
    for (const QAccessible::Id handle : gone) {
        interfaces_.erase(rowInterface(handle)->row().id);
        QAccessible::deleteAccessibleInterface(handle);
    }
}

void AccessibleRowSet::updateRowsThatStayed(
    const std::unordered_map<std::string, const AccessibleRow*>& byID) const {
    std::vector<std::pair<QAccessible::Id, QAccessible::Event>> changes;
    for (const auto& [id, handle] : interfaces_) {
        AccessibleRowInterface* row = rowInterface(handle);
        const AccessibleRow& now = *byID.at(id);
        if (row->row().name != now.name) {
            changes.emplace_back(handle, QAccessible::NameChanged);
        }
        if (row->row().description != now.description) {
            changes.emplace_back(handle, QAccessible::DescriptionChanged);
        }
        if (row->row().selected != now.selected) {
            changes.emplace_back(handle, QAccessible::Selection);
        }
        row->setRow(now);
    }
    for (const auto& [handle, type] : changes) {
        notify(rowInterface(handle), type);
    }
}

bool AccessibleRowSet::announcing() const {
    // A screen reader that only listens never asks for the rows, yet must hear the selection move.
    return watched_ || QAccessible::isActive();
}

std::vector<int> AccessibleRowSet::selectedAnewUnasked(const std::vector<AccessibleRow>& before) const {
    std::vector<int> out;
    if (!announcing()) {
        return out;
    }
    std::unordered_set<std::string> wasSelected;
    for (const AccessibleRow& row : before) {
        if (row.selected) {
            wasSelected.insert(row.id);
        }
    }
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        if (rows_[i].selected && !wasSelected.contains(rows_[i].id) && !interfaces_.contains(rows_[i].id)) {
            out.push_back(static_cast<int>(i));
        }
    }
    return out;
}

} // namespace korvane
