#include "platform/qt/qtalertpresenter.h"

#include "base/diagnostics.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGridLayout>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTextEdit>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace korvane {
namespace {

// The box's own format setting leaves its informative text to Qt's guess, which takes a message whose
// first line holds a tag for markup; a message is shown as written.
void showAsWritten(QMessageBox& box) {
    for (QLabel* label : box.findChildren<QLabel*>()) {
        label->setTextFormat(Qt::PlainText);
    }
}

// The question's message, as written and read-only, in the fixed-width font that shows commands as a
// terminal would: as wide as a hundred characters and no more than most of the screen, and as tall as
// the text up to well within the screen, scrolling beyond. A message box would grow with a long list of
// what is to be trusted until its buttons left the screen.
QTextEdit* messageView(const std::string& message, const QWidget& dialog) {
    auto* view = new QTextEdit;
    // A screen reader names the text by the question it explains.
    view->setAccessibleName(dialog.windowTitle());
    view->setReadOnly(true);
    view->setAcceptRichText(false);
    view->setPlainText(QString::fromStdString(message));
    // A long word, such as a link's address, wraps too rather than run out of sight.
    view->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    view->setFrameShape(QFrame::NoFrame);
    view->viewport()->setAutoFillBackground(false);
    view->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    const QScreen* screen = dialog.screen() != nullptr ? dialog.screen() : QGuiApplication::primaryScreen();
    const QRect available = screen != nullptr ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
    const int scrollBar = view->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, view);
    const int width = std::min(QFontMetrics(view->font()).horizontalAdvance(QString(100, QLatin1Char('m'))),
                               available.width() * 4 / 5);
    view->document()->setTextWidth(width);
    const int height =
        std::min(static_cast<int>(std::ceil(view->document()->size().height())), available.height() * 3 / 5);
    view->setMinimumSize(width + scrollBar, height);
    return view;
}

} // namespace

void QtAlertPresenter::showInfoAlert(const std::string& title, const std::string& message) {
    if (const char* hooks = std::getenv("KORVANE_TEST_HOOKS");
        hooks != nullptr && std::strcmp(hooks, "1") == 0) {
        diagnostic("Alert: " + title + ": " + message);
    }
    QMessageBox box(QMessageBox::Information, QString::fromStdString(title), QString::fromStdString(title),
                    QMessageBox::Ok);
    box.setInformativeText(QString::fromStdString(message));
    showAsWritten(box);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

bool QtAlertPresenter::confirm(const std::string& title, const std::string& message,
                               const std::string& acceptLabel) {
    if (const char* hooks = std::getenv("KORVANE_TEST_HOOKS");
        hooks != nullptr && std::strcmp(hooks, "1") == 0) {
        diagnostic("Confirm: " + title + ": " + message);
    }
    QDialog dialog;
    dialog.setWindowTitle(QString::fromStdString(title));
    auto* icon = new QLabel;
    const int iconSize = dialog.style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, &dialog);
    icon->setPixmap(
        dialog.style()->standardIcon(QStyle::SP_MessageBoxWarning, nullptr, &dialog).pixmap(iconSize));
    auto* heading = new QLabel(QString::fromStdString(title));
    heading->setTextFormat(Qt::PlainText);
    auto* buttons = new QDialogButtonBox;
    QPushButton* accept =
        buttons->addButton(QString::fromStdString(acceptLabel), QDialogButtonBox::AcceptRole);
    QPushButton* cancel = buttons->addButton(QDialogButtonBox::Cancel);
    accept->setAutoDefault(false);
    cancel->setDefault(true);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    auto* layout = new QGridLayout(&dialog);
    layout->addWidget(icon, 0, 0, 2, 1, Qt::AlignTop);
    layout->addWidget(heading, 0, 1);
    layout->addWidget(messageView(message, dialog), 1, 1);
    layout->addWidget(buttons, 2, 0, 1, 2);
    dialog.setWindowModality(Qt::ApplicationModal);
    // Escape and closing the window reject, and Return answers the default button, "Cancel".
    return dialog.exec() == QDialog::Accepted;
}

} // namespace korvane
