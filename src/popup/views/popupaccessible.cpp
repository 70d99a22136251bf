#include "popup/views/popupaccessible.h"

#include "popup/views/detailcolumnaccessible.h"
#include "popup/views/detailcolumnview.h"
#include "popup/views/paintedpartaccessible.h"
#include "popup/views/popupview.h"

namespace korvane {
namespace {

// One painted row.
class RowAccessible final : public PaintedPartAccessible<PopupView> {
public:
    RowAccessible(PopupView* view, std::string id)
        : PaintedPartAccessible(view)
        , id_(std::move(id)) {}

    bool isValid() const override { return !view_.isNull() && row() != nullptr; }
    QString text(QAccessible::Text t) const override {
        const auto* r = row();
        return t == QAccessible::Name && r != nullptr ? QString::fromStdString(r->accessibleName())
                                                      : QString();
    }
    QRect rect() const override {
        const auto* r = row();
        if (r == nullptr || view_.isNull()) {
            return {};
        }
        const auto placed = view_->list().visibleRect(*r);
        if (!placed) {
            return {};
        }
        return QRect(view_->mapToGlobal(placed->topLeft().toPoint()), placed->size().toSize());
    }
    QAccessible::Role role() const override {
        const auto* r = row();
        return r != nullptr && r->kind == SearchResultListView::RowKind::sectionHeader
                   ? QAccessible::StaticText
                   : QAccessible::ListItem;
    }
    QAccessible::State state() const override {
        QAccessible::State s;
        const auto* r = row();
        s.selectable = r != nullptr && r->kind != SearchResultListView::RowKind::sectionHeader;
        s.selected = r != nullptr && r->isSelected;
        s.invisible = r == nullptr || view_.isNull() || !view_->list().visibleRect(*r).has_value();
        return s;
    }

private:
    const SearchResultListView::Row* row() const {
        if (view_.isNull()) {
            return nullptr;
        }
        for (const auto& r : view_->list().rows()) {
            if (r.id == id_) {
                return &r;
            }
        }
        return nullptr;
    }

    std::string id_;
};

QAccessibleInterface* popupFactory(const QString& className, QObject* object) {
    if (className == QLatin1String("korvane::PopupView")) {
        if (auto* view = qobject_cast<PopupView*>(object)) {
            return new PopupAccessible(view);
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

PopupAccessible::PopupAccessible(PopupView* view)
    : QAccessibleWidget(view, QAccessible::List) {}

PopupAccessible::~PopupAccessible() {
    for (const auto& [id, handle] : rows_) {
        QAccessible::deleteAccessibleInterface(handle);
    }
}

PopupView* PopupAccessible::view() const {
    return static_cast<PopupView*>(widget());
}

int PopupAccessible::childCount() const {
    return static_cast<int>(view()->list().rows().size());
}

QAccessibleInterface* PopupAccessible::child(int index) const {
    const auto& rows = view()->list().rows();
    if (index < 0 || index >= static_cast<int>(rows.size())) {
        return nullptr;
    }
    const std::string& id = rows[static_cast<std::size_t>(index)].id;
    auto it = rows_.find(id);
    if (it == rows_.end()) {
        it = rows_.emplace(id, QAccessible::registerAccessibleInterface(new RowAccessible(view(), id))).first;
    }
    return QAccessible::accessibleInterface(it->second);
}

int PopupAccessible::indexOfChild(const QAccessibleInterface* child) const {
    const int count = childCount();
    for (int i = 0; i < count; ++i) {
        if (this->child(i) == child) {
            return i;
        }
    }
    return -1;
}

QString PopupAccessible::text(QAccessible::Text t) const {
    if (t == QAccessible::Name) {
        return view()->accessibleName();
    }
    return QAccessibleWidget::text(t);
}

void installPopupAccessibleFactory() {
    static const bool installed = [] {
        QAccessible::installFactory(popupFactory);
        return true;
    }();
    (void)installed;
}

} // namespace korvane
