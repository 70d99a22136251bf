#include "settings/views/snippetstabview.h"

#include "settings/views/popuppositionmenu.h"
#include "settings/views/snippetrowcollapsed.h"
#include "settings/views/snippetrowexpanded.h"
#include "settings/views/snippetscopetabbar.h"
#include "uikit/animations.h"
#include "uikit/kitcolors.h"
#include "uikit/symbolicon.h"
#include "uikit/wheelguard.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

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

// Takes every item out of `layout`; widgets other than `keep` are hidden and deleted once control
// returns to the event loop (a row may be running the click that caused this).
void clearLayout(QVBoxLayout* layout, QWidget* keep) {
    while (QLayoutItem* item = layout->takeAt(0)) {
        if (QWidget* widget = item->widget(); widget && widget != keep) {
            widget->hide();
            widget->deleteLater();
        }
        delete item;
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
    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(12);
    layout->setContentsMargins(16, 16, 16, 16);
    tabBar_ = new SnippetScopeTabBar(
        viewModel_, services_, [this](const std::string& bundleId) { viewModel_->removeApp(bundleId); },
        this);
    layout->addWidget(tabBar_);
    layout->addWidget(makePositionRow());
    layout->addWidget(makeSearchRow());
    scroll_ = new QScrollArea(this);
    scroll_->setObjectName(QStringLiteral("snippetList"));
    scroll_->setFrameShape(QFrame::NoFrame);
    scroll_->setWidgetResizable(true);
    scroll_->setMinimumHeight(300);
    scroll_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    listHost_ = new QWidget(scroll_);
    list_ = new QVBoxLayout(listHost_);
    list_->setContentsMargins(0, 0, 0, 0);
    list_->setSpacing(1);
    scroll_->setWidget(listHost_);
    layout->addWidget(scroll_, 1);
    observer_ = viewModel_->addObserver([this](ConfigurationViewModel::Field field) { onField(field); });
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
    auto* add = new QPushButton(SymbolIcon::icon("plus", KitColors::primaryText(*this), 12),
                                QStringLiteral("Add"), host);
    add->setObjectName(QStringLiteral("addSnippet"));
    add->setAccessibleName(QStringLiteral("Add"));
    add->setToolTip(QStringLiteral("Add snippet"));
    add->setAutoDefault(false);
    connect(add, &QPushButton::clicked, this, [this] { addAction(); });
    row->addWidget(add);
    return host;
}

QWidget* SnippetsTabView::makeEmptyState() {
    auto* empty = new QWidget(listHost_);
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
        QPalette prominent = add->palette();
        prominent.setColor(QPalette::Button, KitColors::accent(*this));
        prominent.setColor(QPalette::ButtonText, Qt::white);
        add->setPalette(prominent);
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
        tabBar_->refresh();
        refreshPositionRow();
        rebuildList();
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
        rebuildList();
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

void SnippetsTabView::rebuildList() {
    const auto rows = viewModel_->filteredSnippetRows();
    const bool adding = viewModel_->isAddingNewSnippet();
    const auto expanded = viewModel_->expandedSnippetIndex();
    const auto expandedKey = viewModel_->expandedSnippetKey();
    // The open editor is kept, with what the user typed, while it still edits the same thing.
    const std::optional<std::size_t> target = adding ? std::nullopt : expanded;
    const bool editorWanted = adding || (expanded && expandedKey);
    QWidget* keep = editor_ && editorWanted && target == editorTarget_ ? editor_.data() : nullptr;
    // Showing a row into a working layout lays the whole list out again at once, which made a
    // rebuild quadratic in the rows (seconds for a few thousand snippets, on every search key); the
    // layout sleeps while the rows are made and works once at the end.
    list_->setEnabled(false);
    listHost_->setUpdatesEnabled(false);
    clearLayout(list_, keep);
    if (!keep) {
        editor_ = nullptr;
    }
    auto makeEditor = [this](std::optional<ManualSnippet> snippet, std::optional<std::size_t> target,
                             std::optional<std::string> previousKey) {
        auto* editor = new SnippetRowExpanded(
            std::move(snippet), viewModel_->snippetError(),
            [this, previousKey, target](const ManualSnippet& edited) {
                viewModel_->saveSnippet(edited, previousKey, target);
            },
            [this] { cancelAction(); }, listHost_);
        editor_ = editor;
        editorTarget_ = target;
        if (editorAnimates_) {
            Animations::fadeIn(editor, Animations::toggleMilliseconds, Animations::Edge::top);
        }
        return editor;
    };
    if (rows.empty() && !adding) {
        list_->addWidget(makeEmptyState());
    }
    for (const auto& row : rows) {
        const bool open = !adding && expanded == row.index && expandedKey == row.snippet.key;
        if (open) {
            list_->addWidget(keep ? keep : makeEditor(row.snippet, row.index, row.snippet.key));
            continue;
        }
        const std::size_t index = row.index;
        const std::string key = row.snippet.key;
        list_->addWidget(new SnippetRowCollapsed(
            row.snippet, [this, index, key] { editAction(index, key); },
            [this, index, key] { viewModel_->deleteSnippet(key, index); }, listHost_));
    }
    if (adding) {
        list_->addWidget(keep ? keep : makeEditor(std::nullopt, std::nullopt, std::nullopt));
    }
    list_->addStretch(1);
    editorAnimates_ = false;
    // A layout shows new children only on the next turn of the event loop; they are shown now, so
    // the list is complete as soon as this returns.
    for (int i = 0; i < list_->count(); ++i) {
        if (QWidget* widget = list_->itemAt(i)->widget()) {
            widget->show();
        }
    }
    list_->setEnabled(true);
    list_->activate();
    listHost_->setUpdatesEnabled(true);
}

void SnippetsTabView::addAction() {
    editorAnimates_ = true;
    viewModel_->setExpandedSnippetKey(std::nullopt);
    viewModel_->setExpandedSnippetIndex(std::nullopt);
    viewModel_->setIsAddingNewSnippet(true);
    viewModel_->setSnippetError(std::nullopt);
    editorAnimates_ = false;
}

void SnippetsTabView::editAction(std::size_t index, const std::string& key) {
    editorAnimates_ = true;
    viewModel_->setIsAddingNewSnippet(false);
    viewModel_->setExpandedSnippetIndex(index);
    viewModel_->setExpandedSnippetKey(key);
    viewModel_->setSnippetError(std::nullopt);
    editorAnimates_ = false;
}

void SnippetsTabView::cancelAction() {
    viewModel_->setExpandedSnippetKey(std::nullopt);
    viewModel_->setExpandedSnippetIndex(std::nullopt);
    viewModel_->setIsAddingNewSnippet(false);
    viewModel_->setSnippetError(std::nullopt);
}

} // namespace korvane
