#include "popup/views/detailcolumnaccessible.h"

#include "popup/views/detailcolumnview.h"
#include "popup/views/paintedpartaccessible.h"

namespace korvane {
namespace {

// The text at one position of the column; it reads the column anew on every question.
class DetailTextAccessible final : public PaintedPartAccessible<DetailColumnView> {
public:
    DetailTextAccessible(DetailColumnView* view, int index)
        : PaintedPartAccessible(view)
        , index_(index) {}

    QString text(QAccessible::Text t) const override {
        if (t != QAccessible::Name || view_.isNull()) {
            return {};
        }
        const auto texts = view_->accessibleTexts();
        return index_ < static_cast<int>(texts.size())
                   ? QString::fromStdString(texts[static_cast<std::size_t>(index_)])
                   : QString();
    }
    QRect rect() const override {
        return view_ ? QRect(view_->mapToGlobal(QPoint(0, 0)), view_->size()) : QRect();
    }
    QAccessible::Role role() const override { return QAccessible::StaticText; }
    QAccessible::State state() const override {
        QAccessible::State s;
        s.invisible = view_.isNull() || !view_->isVisible();
        return s;
    }

private:
    int index_;
};

} // namespace

DetailColumnAccessible::DetailColumnAccessible(DetailColumnView* view)
    : QAccessibleWidget(view, QAccessible::Pane) {}

DetailColumnAccessible::~DetailColumnAccessible() {
    for (const auto& [index, handle] : texts_) {
        QAccessible::deleteAccessibleInterface(handle);
    }
}

DetailColumnView* DetailColumnAccessible::view() const {
    return static_cast<DetailColumnView*>(widget());
}

int DetailColumnAccessible::childCount() const {
    return static_cast<int>(view()->accessibleTexts().size());
}

QAccessibleInterface* DetailColumnAccessible::child(int index) const {
    if (index < 0 || index >= childCount()) {
        return nullptr;
    }
    auto it = texts_.find(index);
    if (it == texts_.end()) {
        it = texts_
                 .emplace(index,
                          QAccessible::registerAccessibleInterface(new DetailTextAccessible(view(), index)))
                 .first;
    }
    return QAccessible::accessibleInterface(it->second);
}

int DetailColumnAccessible::indexOfChild(const QAccessibleInterface* child) const {
    for (const auto& [index, handle] : texts_) {
        if (QAccessible::accessibleInterface(handle) == child) {
            return index < childCount() ? index : -1;
        }
    }
    return -1;
}

QString DetailColumnAccessible::text(QAccessible::Text t) const {
    if (t == QAccessible::Name) {
        return QString::fromLatin1(paneName);
    }
    return QAccessibleWidget::text(t);
}

} // namespace korvane
