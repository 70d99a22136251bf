#include "platform/qt/qtalertpresenter.h"

#include "base/diagnostics.h"

#include <QMessageBox>
#include <QPushButton>
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

bool QtAlertPresenter::confirm(const std::string& title, const std::string& message,
                               const std::string& acceptLabel) {
    if (const char* hooks = std::getenv("KORVANE_TEST_HOOKS");
        hooks != nullptr && std::strcmp(hooks, "1") == 0) {
        diagnostic("Confirm: " + title + ": " + message);
    }
    QMessageBox box(QMessageBox::Warning, QString::fromStdString(title), QString::fromStdString(title));
    box.setInformativeText(QString::fromStdString(message));
    // The text is shown as written: a project's command must not be able to style itself away.
    box.setTextFormat(Qt::PlainText);
    QPushButton* accept = box.addButton(QString::fromStdString(acceptLabel), QMessageBox::AcceptRole);
    QPushButton* cancel = box.addButton(QMessageBox::Cancel);
    box.setDefaultButton(cancel);
    box.setEscapeButton(cancel);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
    return box.clickedButton() == accept;
}

} // namespace korvane
