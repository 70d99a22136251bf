#include "platform/qt/qtalertpresenter.h"

#include "base/diagnostics.h"

#include <QMessageBox>
#include <cstdlib>
#include <cstring>

namespace korvane {

void QtAlertPresenter::showInfoAlert(const std::string& title, const std::string& message) {
    if (const char* hooks = std::getenv("KORVANE_TEST_HOOKS"); hooks != nullptr && std::strcmp(hooks, "1") == 0) {
        diagnostic("Alert: " + title + ": " + message);
    }
    QMessageBox box(QMessageBox::Information, QString::fromStdString(title), QString::fromStdString(title),
                    QMessageBox::Ok);
    box.setInformativeText(QString::fromStdString(message));
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

} // namespace korvane
