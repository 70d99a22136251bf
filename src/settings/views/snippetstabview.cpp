#include "settings/views/snippetstabview.h"

#include "settings/views/popuppositionmenu.h"
#include "settings/views/snippetlist.h"
#include "settings/views/snippetrowcollapsed.h"
#include "settings/views/snippetrowexpanded.h"
#include "settings/views/snippetscopetabbar.h"
#include "uikit/animations.h"
#include "uikit/kitcolors.h"
#include "uikit/pickeraccessible.h"
#include "uikit/symbolicon.h"
#include "uikit/wheelguard.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

namespace korvane {
namespace {

QLabel* tinted(QWidget* parent, const QString& text, const QColor& color, double points) {
    auto* label = new QLabel(text, parent);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    label->setPalette(palette);
    QFont font = label->font();
    font.setPointSizeF(points);
    label->setFont(font);
    return label;
}

// Hides `widget` and deletes it once control returns to the event loop (one of its buttons may be
// running the click that caused this).
void retire(QWidget* widget) {
    if (widget) {
        widget->hide();
        widget->deleteLater();
    }
}

} // namespace

const PopupPositionMenu& SnippetsTabView::positionMenu() {
    static const PopupPositionMenu menu(QStringLiteral("Auto (use global default)"));
    return menu;
}

SnippetsTabView::SnippetsTabView(std::shared_ptr<ConfigurationViewModel> viewModel,
                                 const ConfigurationServices& services, QWidget* parent)
    : QWidget(parent)
    , viewModel_(std::move(viewModel))
    , services_(services) {
    setObjectName(QStringLiteral("snippetsPage"));
    PickerAccessible::install();
    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(12);
    layout->setContentsMargins(16, 16, 16, 16);
    tabBar_ = new SnippetScopeTabBar(
        viewModel_, services_, [this](const std::string& bundleId) { viewModel_->removeApp(bundleId); },
        this);
    layout->addWidget(tabBar_);
    layout->addWidget(makePositionRow());
    layout->addWidget(makeSearchRow());
    list_ = new SnippetList([this](const SnippetList::Row& row) { editAction(row.index, row.snippet.key); },
                            [this](const SnippetList::Row& row) { deleteAction(row); }, this);
    layout->addWidget(list_, 1);
    observer_ = viewModel_->addObserver([this](ConfigurationViewModel::Field field) { onField(field); });
    searching_ = !viewModel_->snippetSearchQuery().empty();
    refreshPositionRow();
    rebuildList();
}

SnippetsTabView::~SnippetsTabView() {
    viewModel_->removeObserver(observer_);
}

QWidget* SnippetsTabView::makePositionRow() {
    positionRow_ = new QWidget(this);
    auto* row = new QHBoxLayout(positionRow_);
    row->setContentsMargins(4, 0, 4, 0);
    row->addWidget(
        tinted(positionRow_, QStringLiteral("Popup position:"), KitColors::secondaryText(*this), 9.5));
    position_ = new QComboBox(positionRow_);
    position_->setObjectName(QStringLiteral("appPopupPosition"));
    position_->setAccessibleName(QStringLiteral("Popup position:"));
    position_->setFixedWidth(250);
    positionMenu().fill(*position_);
    WheelGuard::install(*position_);
    // Only the user's choice writes; showing the stored value does not.
    connect(position_, &QComboBox::activated, this,
            [this](int index) { viewModel_->setPopupPosition(positionMenu().positionAt(index)); });
    row->addWidget(position_);
    row->addStretch(1);
    return positionRow_;
}

QWidget* SnippetsTabView::makeSearchRow() {
    auto* host = new QWidget(this);
    auto* row = new QHBoxLayout(host);
    row->setContentsMargins(0, 0, 0, 0);
    auto* glass = new QLabel(host);
    glass->setPixmap(SymbolIcon::icon("magnifyingglass", KitColors::secondaryText(*this), 14).pixmap(14, 14));
    row->addWidget(glass);
    search_ = new QLineEdit(QString::fromStdString(viewModel_->snippetSearchQuery()), host);
    search_->setObjectName(QStringLiteral("searchSnippets"));
    search_->setPlaceholderText(QStringLiteral("Search snippets..."));
    search_->setAccessibleName(QStringLiteral("Search snippets..."));
    search_->setClearButtonEnabled(true);
    connect(search_, &QLineEdit::textChanged, this,
            [this](const QString& text) { viewModel_->setSnippetSearchQuery(text.toStdString()); });
    row->addWidget(search_, 1);
    add_ = new QPushButton(SymbolIcon::icon("plus", KitColors::primaryText(*this), 12), QStringLiteral("Add"),
                           host);
    add_->setObjectName(QStringLiteral("addSnippet"));
    add_->setAccessibleName(QStringLiteral("Add"));
    add_->setToolTip(QStringLiteral("Add snippet"));
    add_->setAutoDefault(false);
    connect(add_, &QPushButton::clicked, this, [this] { addAction(); });
    row->addWidget(add_);
    return host;
}

QWidget* SnippetsTabView::makeEmptyState() {
    auto* empty = new QWidget(list_->canvas());
    empty->setObjectName(QStringLiteral("emptyState"));
    empty->setMinimumHeight(250);
    auto* column = new QVBoxLayout(empty);
    column->setSpacing(12);
    column->addStretch(1);
    auto* symbol = new QLabel(empty);
    symbol->setPixmap(
        SymbolIcon::icon("text.quote", KitColors::withAlpha(KitColors::primaryText(*this), 0.25), 32)
            .pixmap(32, 32));
    column->addWidget(symbol, 0, Qt::AlignHCenter);
    const bool noQuery = viewModel_->snippetSearchQuery().empty();
    auto* title =
        tinted(empty, noQuery ? QStringLiteral("No snippets yet") : QStringLiteral("No matching snippets"),
               KitColors::secondaryText(*this), 11);
    title->setObjectName(QStringLiteral("emptyTitle"));
    QFont headline = title->font();
    headline.setWeight(QFont::DemiBold);
    title->setFont(headline);
    column->addWidget(title, 0, Qt::AlignHCenter);
    if (noQuery) {
        auto* explanation =
            tinted(empty, QStringLiteral("Snippets let you expand short keys into text or open URLs."),
                   KitColors::tertiaryText(*this), 9.5);
        explanation->setAlignment(Qt::AlignCenter);
        column->addWidget(explanation, 0, Qt::AlignHCenter);
        auto* add = new QPushButton(SymbolIcon::icon("plus", QColor(Qt::white), 14),
                                    QStringLiteral("Add Snippet"), empty);
        add->setObjectName(QStringLiteral("addSnippetEmpty"));
        add->setAccessibleName(QStringLiteral("Add Snippet"));
        add->setAutoDefault(false);
        add->setMinimumHeight(32);
        // Filled by the sheet rather than the style, which would lighten the accent under the white
        // text; the accent is darkened as far as the text needs to read on it. The border, clear until
        // the button has the focus, then rings it in the text colour of the window.
        const QColor fill =
            KitColors::legibleFill(KitColors::accent(*this), palette().color(QPalette::Window), Qt::white);
        add->setStyleSheet(
            QStringLiteral("QPushButton { color: white; background: %1; "
                           "border: 2px solid transparent; border-radius: 6px; "
                           "padding: 4px 12px; } "
                           "QPushButton:focus { border-color: %3; } "
                           "QPushButton:pressed { background: %2; }")
                .arg(fill.name(), fill.darker(115).name(), KitColors::primaryText(*this).name()));
        connect(add, &QPushButton::clicked, this, [this] { addAction(); });
        column->addWidget(add, 0, Qt::AlignHCenter);
    }
    column->addStretch(1);
    return empty;
}

void SnippetsTabView::onField(ConfigurationViewModel::Field field) {
    using Field = ConfigurationViewModel::Field;
    switch (field) {
    case Field::selectedAppBundleId:
        // A change of scope closes any editor and its message, without animation.
        viewModel_->setExpandedSnippetKey(std::nullopt);
        viewModel_->setExpandedSnippetIndex(std::nullopt);
        viewModel_->setIsAddingNewSnippet(false);
        viewModel_->setSnippetError(std::nullopt);
        // Where the other scope's list stood means nothing here: this one shows from its first row.
        scrollBeforeSearch_ = 0;
        tabBar_->refresh();
        refreshPositionRow();
        rebuildList(0);
        break;
    case Field::draftConfig:
        tabBar_->refresh();
        refreshPositionRow();
        rebuildList();
        break;
    case Field::snippetSearchQuery:
        if (search_->text().toStdString() != viewModel_->snippetSearchQuery()) {
            search_->setText(QString::fromStdString(viewModel_->snippetSearchQuery()));
        }
        searchChanged();
        break;
    case Field::expandedSnippetKey:
    case Field::expandedSnippetIndex:
    case Field::isAddingNewSnippet:
        rebuildList();
        break;
    case Field::snippetError:
        if (editor_) {
            editor_->setError(viewModel_->snippetError());
        }
        break;
    case Field::showingAppCapture:
        tabBar_->syncCapture();
        break;
    default:
        break;
    }
}

void SnippetsTabView::refreshPositionRow() {
    const bool appSelected = viewModel_->selectedAppBundleId().has_value();
    positionRow_->setVisible(appSelected);
    if (!appSelected) {
        return;
    }
    const auto app = viewModel_->selectedApp();
    const std::optional<PopupPosition> stored = app ? app->popupPosition : std::nullopt;
    position_->setCurrentIndex(positionMenu().indexOf(stored));
}

void SnippetsTabView::searchChanged() {
    const bool searching = !viewModel_->snippetSearchQuery().empty();
    if (searching && !searching_) {
        scrollBeforeSearch_ = list_->scrollTop();
    }
    searching_ = searching;
    // A search shows its results from the first; without one the list is back where it was.
    rebuildList(searching ? 0 : scrollBeforeSearch_);
}

void SnippetsTabView::rebuildList(std::optional<int> scrollTop) {
    auto rows = viewModel_->filteredSnippetRows();
    const bool adding = viewModel_->isAddingNewSnippet();
    const auto expanded = viewModel_->expandedSnippetIndex();
    const auto expandedKey = viewModel_->expandedSnippetKey();
    const bool editorWanted = adding || (expanded && expandedKey);
    const std::optional<std::size_t> target = adding ? std::nullopt : expanded;
    // Where the editor stands: in place of the open row, or after the last row while adding.
    std::optional<std::size_t> editorAt;
    if (adding) {
        editorAt = rows.size();
    } else if (editorWanted) {
        const auto open = std::find_if(rows.begin(), rows.end(), [&](const SnippetList::Row& row) {
            return row.index == *expanded && row.snippet.key == *expandedKey;
        });
        if (open != rows.end()) {
            editorAt = static_cast<std::size_t>(open - rows.begin());
        }
    }
    // The open editor is kept, with what the user typed, while it still edits the same thing (also
    // while a search hides its row).
    if (editor_ && !(editorWanted && target == editorTarget_)) {
        discardEditor();
    }
    const bool opening = editorAt && !editor_;
    if (opening) {
        const std::optional<ManualSnippet> seed =
            adding ? std::nullopt : std::optional<ManualSnippet>(rows[*editorAt].snippet);
        makeEditor(seed, target, adding ? std::nullopt : expandedKey);
    }
    if (editor_ && !editorAt) {
        editor_->hide();
    }
    retire(emptyState_);
    emptyState_ = rows.empty() && !adding ? makeEmptyState() : nullptr;
    list_->setContent(std::move(rows), editorAt ? editor_.data() : nullptr, editorAt.value_or(0), emptyState_,
                      scrollTop);
    if (opening && animating_) {
        Animations::fadeIn(editor_);
    }
}

void SnippetsTabView::makeEditor(std::optional<ManualSnippet> snippet, std::optional<std::size_t> target,
                                 std::optional<std::string> previousKey) {
    editor_ = new SnippetRowExpanded(
        std::move(snippet), viewModel_->snippetError(),
        [this, previousKey, target](const ManualSnippet& edited) {
            const bool focused = editorHasFocus();
            viewModel_->saveSnippet(edited, previousKey, target);
            if (focused && !editor_) {
                // A new snippet stands last in its scope.
                giveFocusBack(target ? target
                                     : std::optional<std::size_t>(viewModel_->currentSnippets().size() - 1));
            }
        },
        [this] { cancelAction(); }, list_->canvas());
    editorTarget_ = target;
}

void SnippetsTabView::discardEditor() {
    // Hidden with the focus, the editor would hand it on to whatever widget follows in the window;
    // the list holds it instead, until the page gives it to a row or to "Add".
    if (editorHasFocus()) {
        list_->setFocus(Qt::OtherFocusReason);
    }
    if (animating_) {
        Animations::fadeOut(editor_, Animations::toggleMilliseconds, Animations::Edge::top);
    }
    retire(editor_);
    editor_ = nullptr;
}

void SnippetsTabView::addAction() {
    animating_ = true;
    viewModel_->setExpandedSnippetKey(std::nullopt);
    viewModel_->setExpandedSnippetIndex(std::nullopt);
    viewModel_->setIsAddingNewSnippet(true);
    viewModel_->setSnippetError(std::nullopt);
    animating_ = false;
    // The new snippet is typed at once: its editor, after the last row, comes into view with the
    // cursor in its key.
    if (editor_) {
        list_->scrollTo(editor_);
        editor_->focusKey();
    }
}

void SnippetsTabView::editAction(std::size_t index, const std::string& key) {
    animating_ = true;
    viewModel_->setIsAddingNewSnippet(false);
    viewModel_->setExpandedSnippetIndex(index);
    viewModel_->setExpandedSnippetKey(key);
    viewModel_->setSnippetError(std::nullopt);
    animating_ = false;
    // As after "Add": the editor stands where the row stood, and typing goes to its key.
    if (editor_) {
        editor_->focusKey();
    }
}

void SnippetsTabView::deleteAction(const ConfigurationViewModel::SnippetRow& row) {
    // Deleted from the keyboard, the row held the focus (the question gives it back to the window once
    // answered); the rows are shown anew, and the list would keep it where nothing is drawn.
    std::optional<std::size_t> place;
    if (rowHasFocus(row)) {
        const auto listed = viewModel_->filteredSnippetRows();
        place = static_cast<std::size_t>(std::find(listed.begin(), listed.end(), row) - listed.begin());
    }
    // The row has begun to fade; deleting is an animated change.
    viewModel_->deleteSnippet(row.snippet.key, row.index);
    if (!place) {
        return;
    }
    // The keyboard goes on from the row that takes the deleted one's place, or the last one.
    const auto left = viewModel_->filteredSnippetRows();
    giveFocusBack(left.empty() ? std::nullopt
                               : std::optional<std::size_t>(left[std::min(*place, left.size() - 1)].index));
}

bool SnippetsTabView::rowHasFocus(const ConfigurationViewModel::SnippetRow& row) const {
    for (QWidget* widget = window()->focusWidget(); widget && widget != list_;
         widget = widget->parentWidget()) {
        if (const auto* shown = qobject_cast<const SnippetRowCollapsed*>(widget)) {
            return shown->snippet() == row.snippet;
        }
    }
    return false;
}

void SnippetsTabView::cancelAction() {
    const bool focused = editorHasFocus();
    const std::optional<std::size_t> target = editorTarget_;
    animating_ = true;
    viewModel_->setExpandedSnippetKey(std::nullopt);
    viewModel_->setExpandedSnippetIndex(std::nullopt);
    viewModel_->setIsAddingNewSnippet(false);
    viewModel_->setSnippetError(std::nullopt);
    animating_ = false;
    if (focused) {
        giveFocusBack(target);
    }
}

bool SnippetsTabView::editorHasFocus() const {
    QWidget* focus = window()->focusWidget();
    return editor_ && focus && editor_->isAncestorOf(focus);
}

void SnippetsTabView::giveFocusBack(std::optional<std::size_t> index) {
    if (index && list_->focusRow(*index)) {
        return;
    }
    // The row is not listed (a search hides it) or there is none: the user goes on from "Add".
    add_->setFocus(Qt::OtherFocusReason);
}

} // namespace korvane
