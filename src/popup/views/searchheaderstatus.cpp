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
    const QString said = QString::fromStdString(text);
    // Qt announces every new name, so the same text is not given again.
    if (said != accessibleName()) {
        setAccessibleName(said);
    }
}

} // namespace korvane
