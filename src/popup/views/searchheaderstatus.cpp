#include "popup/views/searchheaderstatus.h"

#include "popup/views/popupaccessible.h"

namespace korvane {

SearchHeaderStatus::SearchHeaderStatus(QWidget* parent)
    : QWidget(parent) {
    // Before anything that announces the widget, so that it is read as a status bar.
    installPopupAccessibleFactory();
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
}

void SearchHeaderStatus::setText(const std::string& text) {
    pending_ = QString::fromStdString(text);
    // One change of the popup passes through several texts on its way (the query, then its count);
    // only the text it settles on is given, once the change is done.
    if (!queued_) {
        queued_ = true;
        QMetaObject::invokeMethod(this, &SearchHeaderStatus::settle, Qt::QueuedConnection);
    }
}

void SearchHeaderStatus::settle() {
    queued_ = false;
    // Qt announces every new name, so the same text is not given again.
    if (pending_ != accessibleName()) {
        setAccessibleName(pending_);
    }
}

} // namespace korvane
