#include "settings/views/snippetrowcollapsed.h"

#include "base/visibletext.h"
#include "settings/views/snippetlinebutton.h"
#include "uikit/confirmation.h"
#include "uikit/kitcolors.h"
#include "uikit/kittoolbutton.h"
#include "uikit/symbolicon.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPointer>
#include <QToolButton>

namespace korvane {
namespace {

// A key longer than this is cut short in the delete question, which must fit on the screen.
constexpr std::size_t questionKeyWidth = 60;

QToolButton* symbolButton(QWidget* parent) {
    auto* button = new KitToolButton(parent);
    button->setAutoRaise(true);
    button->setCursor(Qt::PointingHandCursor);
    return button;
}

} // namespace

SnippetRowCollapsed::SnippetRowCollapsed(ManualSnippet snippet, std::function<void()> onEdit,
                                         std::function<void()> onDelete, QWidget* parent)
    : HoverRow(parent) {
    setObjectName(QStringLiteral("snippetRow"));
    setRadius(6);
    auto* layout = new QHBoxLayout(this);
    // The line keeps a margin of its own for its focus ring: its content starts 8 px in.
    layout->setContentsMargins(8 - SnippetLineButton::focusMargin, 6, 8, 6);
    layout->setSpacing(8);
    line_ = new SnippetLineButton(ManualSnippet{}, this);
    layout->addWidget(line_, 1);
    editSymbol_ = SymbolIcon::icon("pencil", KitColors::secondaryText(*this), 14);
    deleteSymbol_ = SymbolIcon::icon("trash", KitColors::destructive(), 14);
    editButton_ = symbolButton(this);
    editButton_->setObjectName(QStringLiteral("editSnippet"));
    deleteButton_ = symbolButton(this);
    deleteButton_->setObjectName(QStringLiteral("deleteSnippet"));
    layout->addWidget(editButton_);
    layout->addWidget(deleteButton_);
    auto edit = [this] {
        if (onEdit_) {
            onEdit_();
        }
    };
    connect(line_, &QAbstractButton::clicked, this, edit);
    connect(editButton_, &QToolButton::clicked, this, edit);
    connect(deleteButton_, &QToolButton::clicked, this, [this] { askToDelete(); });
    onClicked = edit;
    // The buttons are never hidden, only drawn blank: a hidden button is no Tab stop, and Shift+Tab,
    // which comes to the trash before the row has the focus, would pass them by.
    onHighlightChanged = [this](bool highlighted) { drawButtons(highlighted); };
    drawButtons(false);
    setSnippet(std::move(snippet), std::move(onEdit), std::move(onDelete));
}

void SnippetRowCollapsed::setSnippet(ManualSnippet snippet, std::function<void()> onEdit,
                                     std::function<void()> onDelete) {
    snippet_ = std::move(snippet);
    onEdit_ = std::move(onEdit);
    onDelete_ = std::move(onDelete);
    showingDeleteConfirmation_ = false;
    line_->setSnippet(snippet_);
    // Each button says which snippet it acts on.
    const QString key = QString::fromStdString(snippet_.key);
    editButton_->setAccessibleName(QStringLiteral("Edit snippet ") + key);
    deleteButton_->setAccessibleName(QStringLiteral("Delete snippet ") + key);
    setHovered(false);
}

void SnippetRowCollapsed::focusLine() {
    line_->setFocus(Qt::OtherFocusReason);
}

void SnippetRowCollapsed::drawButtons(bool shown) {
    editButton_->setIcon(shown ? editSymbol_ : QIcon());
    deleteButton_->setIcon(shown ? deleteSymbol_ : QIcon());
}

void SnippetRowCollapsed::keyPressEvent(QKeyEvent* event) {
    // Keys the line and the buttons leave alone come here.
    if (event->key() == Qt::Key_Delete && event->modifiers() == Qt::NoModifier) {
        askToDelete();
        return;
    }
    HoverRow::keyPressEvent(event);
}

void SnippetRowCollapsed::askToDelete() {
    showingDeleteConfirmation_ = true;
    // The dialog belongs to the window: the list may reuse or drop this row while the question is
    // open, so the answer acts on the snippet asked about.
    QPointer<SnippetRowCollapsed> row(this);
    // The key may come from a project: written so that nothing in it hides or passes for the question.
    const QString question = QStringLiteral("Delete the snippet '") +
                             QString::fromStdString(VisibleText::line(snippet_.key, questionKeyWidth)) +
                             QStringLiteral("'?");
    Confirmation::ask(
        window(), question, QStringLiteral("Delete"),
        [row, onDelete = onDelete_] {
            if (row) {
                row->showingDeleteConfirmation_ = false;
            }
            if (onDelete) {
                onDelete();
            }
        },
        [row] {
            if (row) {
                row->showingDeleteConfirmation_ = false;
            }
        });
}

} // namespace korvane
