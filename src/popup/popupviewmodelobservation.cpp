// How PopupViewModel tells its observers and its controller about changes, and how a batch of
// writes becomes one notification.

#include "popup/popupviewmodel.h"

#include <utility>

namespace korvane {

PopupViewModel::ObserverID PopupViewModel::addObserver(std::function<void()> observer) {
    const ObserverID id = nextObserverID_++;
    observers_.emplace(id, std::move(observer));
    return id;
}

void PopupViewModel::removeObserver(ObserverID id) {
    observers_.erase(id);
}

PopupViewModel::Batch::Batch(PopupViewModel& model)
    : model_(model) {
    ++model_.batchDepth_;
}

PopupViewModel::Batch::~Batch() {
    if (--model_.batchDepth_ > 0) {
        return;
    }
    if (std::exchange(model_.notifyHeld_, false)) {
        model_.notify();
    }
    if (std::exchange(model_.previewChangeHeld_, false)) {
        model_.previewChanged();
    }
    if (std::exchange(model_.layoutChangeHeld_, false)) {
        model_.layoutChanged();
    }
}

void PopupViewModel::notify() {
    if (batchDepth_ > 0) {
        notifyHeld_ = true;
        return;
    }
    // A copy, so an observer may remove itself or add another while it runs.
    const auto observers = observers_;
    for (const auto& [id, observer] : observers) {
        if (observer) {
            observer();
        }
    }
}

void PopupViewModel::previewChanged() {
    if (batchDepth_ > 0) {
        previewChangeHeld_ = true;
        return;
    }
    if (onPreviewChanged) {
        onPreviewChanged();
    }
}

void PopupViewModel::layoutChanged() {
    if (batchDepth_ > 0) {
        layoutChangeHeld_ = true;
        return;
    }
    if (onLayoutChanged) {
        onLayoutChanged();
    }
}

} // namespace korvane
