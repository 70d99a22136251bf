#pragma once

#include "settings/configurationviewmodel.h"
#include "settings/views/configurationservices.h"
#include "settings/views/snippetrowexpanded.h"

#include <QPointer>
#include <QWidget>
#include <memory>
#include <optional>

class QComboBox;
class QLineEdit;
class QPushButton;

namespace korvane {

class PopupPositionMenu;
class SnippetList;
class SnippetScopeTabBar;

// The snippets page: the scope tabs, the selected application's popup position, the search field
// with "Add", and the list of the scope's snippets with the inline editor, or an empty state. Holds
// nothing of its own: it shows and edits the view model's state. Main thread.
class SnippetsTabView final : public QWidget {
    Q_OBJECT

public:
    SnippetsTabView(std::shared_ptr<ConfigurationViewModel> viewModel, const ConfigurationServices& services,
                    QWidget* parent = nullptr);
    ~SnippetsTabView() override;

    SnippetScopeTabBar& tabBar() const { return *tabBar_; }
    // The open editor (new or existing snippet), or none.
    SnippetRowExpanded* editor() const { return editor_.data(); }

private:
    static const PopupPositionMenu& positionMenu();

    QWidget* makePositionRow();
    QWidget* makeSearchRow();
    QWidget* makeEmptyState();
    void onField(ConfigurationViewModel::Field field);
    void rebuildList(std::optional<int> scrollTop = std::nullopt);
    void searchChanged();
    void makeEditor(std::optional<ManualSnippet> snippet, std::optional<std::size_t> target,
                    std::optional<std::string> previousKey);
    void discardEditor();
    void refreshPositionRow();
    void addAction();
    void editAction(std::size_t index, const std::string& key);
    void cancelAction();
    void deleteAction(const ConfigurationViewModel::SnippetRow& row);
    // Whether the keyboard focus is in the row that shows `row`.
    bool rowHasFocus(const ConfigurationViewModel::SnippetRow& row) const;
    // Whether the keyboard focus is in the open editor.
    bool editorHasFocus() const;
    // After an editor that held the keyboard focus has closed: the row of the snippet at `index` of
    // the scope takes it, or "Add" when the editor added nothing.
    void giveFocusBack(std::optional<std::size_t> index);

    std::shared_ptr<ConfigurationViewModel> viewModel_;
    const ConfigurationServices& services_;
    ConfigurationViewModel::ObserverID observer_ = 0;
    SnippetScopeTabBar* tabBar_ = nullptr;
    QWidget* positionRow_ = nullptr;
    QComboBox* position_ = nullptr;
    QLineEdit* search_ = nullptr;
    QPushButton* add_ = nullptr;
    SnippetList* list_ = nullptr;
    QPointer<QWidget> emptyState_;
    QPointer<SnippetRowExpanded> editor_;
    // What the open editor edits: the row's position, or none while adding.
    std::optional<std::size_t> editorTarget_;
    // The change under way opens, closes or deletes with an animation.
    bool animating_ = false;
    // Whether a search is typed, and how far the full list was scrolled when it began.
    bool searching_ = false;
    int scrollBeforeSearch_ = 0;
};

} // namespace korvane
