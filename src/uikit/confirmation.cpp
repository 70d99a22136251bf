#include "uikit/confirmation.h"

#include <QLabel>
#include <QLayout>
#include <QMessageBox>
#include <QPushButton>

namespace korvane {
namespace {

// What a title bar holds beside its title: the window's icon and up to five buttons.
constexpr int titleBarRoom = 6 * 24;

// Window managers set a dialog's title in a bold face beside the title bar's icon and buttons, and
// cut it short when the dialog is narrower than that: the question's label widens the dialog until
// the whole title has room.
void makeRoomForTitle(QMessageBox* box, const QString& title) {
    QFont bold = box->font();
    bold.setBold(true);
    const int missing = QFontMetrics(bold).horizontalAdvance(title) + titleBarRoom -
                        box->layout()->totalMinimumSize().width();
    if (missing <= 0) {
        return;
    }
    for (QLabel* label : box->findChildren<QLabel*>()) {
        if (label->text() == title) {
            label->setMinimumWidth(label->minimumSizeHint().width() + missing);
        }
    }
}

} // namespace

QMessageBox* Confirmation::ask(QWidget* parent, const QString& title, const QString& destructiveText,
                               std::function<void()> onConfirm, std::function<void()> onCancel) {
    auto* box = new QMessageBox(parent);
    box->setObjectName(QStringLiteral("confirmation"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    box->setIcon(QMessageBox::Warning);
    box->setWindowTitle(title);
    // The title may quote a name from a project: it is shown as written, never read as markup.
    box->setTextFormat(Qt::PlainText);
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
    makeRoomForTitle(box, title);
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
