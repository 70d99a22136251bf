#include "uikit/confirmation.h"

#include <QMessageBox>
#include <QPushButton>

namespace korvane {

QMessageBox* Confirmation::ask(QWidget* parent, const QString& title, const QString& destructiveText,
                               std::function<void()> onConfirm, std::function<void()> onCancel) {
    auto* box = new QMessageBox(parent);
    box->setObjectName(QStringLiteral("confirmation"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    box->setIcon(QMessageBox::Warning);
    box->setWindowTitle(title);
    box->setText(title);
    QPushButton* confirm = box->addButton(destructiveText, QMessageBox::DestructiveRole);
    confirm->setObjectName(QStringLiteral("confirm"));
    confirm->setAccessibleName(destructiveText);
    QPushButton* cancel = box->addButton(QMessageBox::Cancel);
    cancel->setObjectName(QStringLiteral("cancel"));
    cancel->setText(QStringLiteral("Cancel"));
    cancel->setAccessibleName(QStringLiteral("Cancel"));
    box->setDefaultButton(cancel);
    box->setEscapeButton(cancel);
    QObject::connect(box, &QMessageBox::finished, box,
                     [box, confirm, onConfirm = std::move(onConfirm), onCancel = std::move(onCancel)] {
                         if (box->clickedButton() == confirm) {
                             if (onConfirm) {
                                 onConfirm();
                             }
                         } else if (onCancel) {
                             onCancel();
                         }
                     });
    box->open();
    return box;
}

QMessageBox* Confirmation::openUnder(QWidget* parent) {
    if (!parent) {
        return nullptr;
    }
    for (QMessageBox* box : parent->findChildren<QMessageBox*>(QStringLiteral("confirmation"))) {
        if (box->isVisible()) {
            return box;
        }
    }
    return nullptr;
}

} // namespace korvane
