#pragma once

#include "config/manualsnippet.h"
#include "uikit/roundedcard.h"

#include <functional>
#include <optional>
#include <string>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QWidget;

namespace korvane {

// The inline editor of one snippet, new or existing: key, optional label, Text or URL, the expansion
// or the link, optional description, the last save's error, "Cancel" (Escape) and "Save" (Return in
// a one-line field). It only composes the snippet; the page's view model validates and closes it.
// Main thread.
class SnippetRowExpanded final : public RoundedCard {
    Q_OBJECT

public:
    SnippetRowExpanded(std::optional<ManualSnippet> snippet, std::optional<std::string> error,
                       std::function<void(const ManualSnippet&)> onSave, std::function<void()> onCancel,
                       QWidget* parent = nullptr);

    // Shows the view model's message above the fields, or hides the row when there is none.
    void setError(const std::optional<std::string>& error);
    bool isURL() const { return isURL_; }
    // The snippet the fields compose: the key as typed, only the chosen kind, empty texts absent.
    ManualSnippet composedSnippet() const;
    bool canSave() const;
    // Puts the keyboard focus, and so the cursor, in the key field.
    void focusKey();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    QWidget* makeTypePicker();
    void setIsURL(bool isURL);
    void refreshSave();
    void save();

    std::function<void(const ManualSnippet&)> onSave_;
    std::function<void()> onCancel_;
    bool isURL_ = false;
    QWidget* errorRow_ = nullptr;
    QLabel* errorText_ = nullptr;
    QLineEdit* key_ = nullptr;
    QLineEdit* label_ = nullptr;
    QPushButton* textChoice_ = nullptr;
    QPushButton* urlChoice_ = nullptr;
    QLineEdit* url_ = nullptr;
    QWidget* expandBox_ = nullptr;
    QPlainTextEdit* expand_ = nullptr;
    QLineEdit* description_ = nullptr;
    QPushButton* saveButton_ = nullptr;
};

} // namespace korvane
