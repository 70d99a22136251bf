#pragma once

#include "config/manualsnippet.h"
#include "uikit/hoverrow.h"

#include <QIcon>
#include <functional>

class QToolButton;

namespace korvane {

class SnippetLineButton;

// One snippet as a single line. A click on the line (or Return or Space on it) edits it; while the
// pointer is over the row or keyboard focus is in it a pencil and a red trash button appear (Tab and
// Shift+Tab reach them either way), and the trash (or Delete) asks "Delete the snippet '<key>'?"
// before `onDelete`. The two buttons are named "Edit snippet <key>" and "Delete snippet <key>" for
// assistive technology. A list may show another snippet in the same row later (setSnippet). Main
// thread.
class SnippetRowCollapsed final : public HoverRow {
    Q_OBJECT

public:
    SnippetRowCollapsed(ManualSnippet snippet, std::function<void()> onEdit, std::function<void()> onDelete,
                        QWidget* parent = nullptr);

    // Shows `snippet` with its own actions, as if the row were new. A question already open keeps
    // the action of the snippet it asked about.
    void setSnippet(ManualSnippet snippet, std::function<void()> onEdit, std::function<void()> onDelete);

    const ManualSnippet& snippet() const { return snippet_; }
    // Puts the keyboard focus on the line, which then shows the row's buttons.
    void focusLine();
    bool showingDeleteConfirmation() const { return showingDeleteConfirmation_; }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    // Draws the buttons' symbols, or leaves the buttons blank.
    void drawButtons(bool shown);
    void askToDelete();

    ManualSnippet snippet_;
    std::function<void()> onEdit_;
    std::function<void()> onDelete_;
    SnippetLineButton* line_ = nullptr;
    QToolButton* editButton_ = nullptr;
    QToolButton* deleteButton_ = nullptr;
    QIcon editSymbol_;
    QIcon deleteSymbol_;
    bool showingDeleteConfirmation_ = false;
};

} // namespace korvane
