#pragma once

#include <QString>
#include <functional>

class QMessageBox;
class QWidget;

namespace korvane {

// Asks before a destructive action: a window-modal dialog with the title shown, the destructive
// button and "Cancel" (the default, so Return or Escape never destroys anything). Opens without
// blocking; the answer arrives through the callbacks. Tests find the open dialog under its parent by
// the object name "confirmation" and press the buttons named "confirm" or "cancel". Main thread.
class Confirmation {
public:
    // The dialog deletes itself once answered. `onConfirm` runs only for the destructive button,
    // `onCancel` (may be empty) for "Cancel" and for closing the dialog.
    static QMessageBox* ask(QWidget* parent, const QString& title, const QString& destructiveText,
                            std::function<void()> onConfirm, std::function<void()> onCancel = {});
    // The confirmation currently open under `parent`, or none.
    static QMessageBox* openUnder(QWidget* parent);
};

} // namespace korvane
